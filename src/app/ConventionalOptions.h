#pragma once
// The conventional command line, quillex [OPTIONS] [SOURCE], beside the older forms. Each option
// stands for one project setting and adds no behaviour of its own: the options become the same
// settings lines a -P switch gives, so both forms take one path from there. The older forms (-P,
// -I, -U, a project file or a document alone) go to ParseCommandLine exactly as before.
// Pure functions apart from AnswerWithoutRunning's output; any thread.
#include <iosfwd>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace app {

struct Invocation {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  CommandLine commandLine;  // Run: what the program starts with
  std::string message;      // UsageError: what was wrong, in one line
};

// arguments: every argument after the program's name.
Invocation ReadArguments(const std::vector<std::string>& arguments);

// Help, Version and UsageError need no window, no project and no counters: the answer is
// printed (help and version on out, an error with its hint on err) and the exit status returned.
// officeVersion is the release of the LibreOffice the program drives, for the version answer
// (empty: none found).
int AnswerWithoutRunning(const Invocation& invocation, const std::string& version, const std::string& officeVersion,
                         std::ostream& out, std::ostream& err);

}  // namespace app
