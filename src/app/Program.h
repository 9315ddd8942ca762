#pragma once
// The program's spine: the global objects created in a fixed order and released in reverse,
// the product constants, the command line, the start-up project and the run-mode decision.
// Main thread.
#include <functional>
#include <optional>
#include <string>

#include "app/CommandLine.h"

namespace app {

enum class RunMode { Ended, Headless, Windowed };

struct ProgramOptions {
  std::string exeName;                 // the program file: its folder holds project, store, recent list
  std::string firstParam;              // the first command-line argument, empty when none
  // The command line read from every argument (the conventional options); when absent, it is
  // read from firstParam alone.
  std::optional<CommandLine> commandLine;
  // The windowed run (main window and message loop); its result is the exit status. Absent in
  // a build without windows.
  std::function<int()> runWindowed;
};

// True for a headless run: PureConsole set and a Source without "http".
bool IsHeadless(bool pureConsole, const std::string& source);

// Runs the program from start-up to release and returns its exit status.
int RunProgram(const ProgramOptions& options);

}  // namespace app
