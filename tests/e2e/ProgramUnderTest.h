#pragma once
// The built program as a user runs it: copied into a private folder (so that its project,
// store and recent list beside it are the test's own), started with one argument, bounded in
// time, with the recording xdg-open first on PATH. The program gets a private TMPDIR, which
// is what tells its offices from any other (Offices.h).
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "Offices.h"
#include "TestEnv.h"

namespace e2e {

class ProgramUnderTest {
 public:
  ProgramUnderTest();
  // Runs the program with firstParam (none when empty) and returns its exit status; -1 when
  // it had to be killed at the bound, -2 when it ended by a signal.
  int Run(const std::string& firstParam, std::chrono::seconds bound = std::chrono::seconds(300),
          const std::vector<std::string>& extraEnv = {});
  // The same with every argument given.
  int RunWith(const std::vector<std::string>& args, std::chrono::seconds bound = std::chrono::seconds(300),
              const std::vector<std::string>& extraEnv = {});
  // Runs a bash script in which "$QX" is the program (pipelines, standard input), with the
  // same bounds and environment as RunWith; its standard error is the program's.
  int RunScript(const std::string& script, std::chrono::seconds bound = std::chrono::seconds(300),
                const std::vector<std::string>& extraEnv = {});
  // What the last Run wrote to standard error (not a terminal).
  std::string Stderr() const;
  const std::string& exe() const { return exe_; }
  const testsupport::TempDir& dir() const { return dir_; }
  std::vector<std::string> Links() const { return opener_.Calls(); }
  // The store's value for a counter (empty when absent).
  std::string Counter(const std::string& key) const;
  // The program's temporary folder (its offices' profiles live there): a private one, unless
  // extraEnv of the last Run named another.
  const std::string& tmp() const { return tmp_; }
  // The offices of this program still running.
  std::vector<int> Offices() const;
  // A test failure for each office of this program still running once a killed one has had
  // its moment to vanish: every server a run started ends with it.
  void ExpectNoOfficesLeft() const;

 private:
  int RunArgv(const std::vector<std::string>& argv, std::chrono::seconds bound,
              const std::vector<std::string>& extraEnv);

  testsupport::TempDir dir_;
  testsupport::RecordingOpener opener_;
  std::string exe_;
  std::string tmp_;
};

// A test of the program over a private folder (in/ for documents, out/ for texts, run.log), which
// fails when an office of the program outlives it.
struct ProgramFixture : ::testing::Test {
  ProgramUnderTest program;
  testsupport::TempDir work;
  std::string in = work / "in";
  std::string out = work / "out";
  std::string log = work / "run.log";

  void TearDown() override { program.ExpectNoOfficesLeft(); }
};

// The lines of a CR LF text file (without their line ends).
std::vector<std::string> ReadLines(const std::string& path);
// One line of the text log: its status word ("Success", "Failure") and what follows the source.
struct Outcome {
  std::string status;
  std::string message;  // the text's path after a success, the reason after a failure
};
// The text log as source -> outcome; fails the test when a source has more than one line.
std::map<std::string, Outcome> Outcomes(const std::vector<std::string>& lines);
// What the installed office says of itself ("LibreOffice 7.4.7.2 40(Build:2)"): tests compare
// with it instead of naming a version.
std::string OfficeVersionLine();
// The files of a folder with this extension ("doc", no dot), as paths.
std::vector<std::string> FilesWithExtension(const std::string& folder, const std::string& ext);
// Copies a file, creating the target's folders.
void CopyFile(const std::string& from, const std::string& to);
// UTF-16LE bytes (BOM and all) as UTF-8 text, BOM dropped.
std::string Utf16File(const std::string& path);

// LibreOffice's own conversion of the documents (soffice --convert-to), in a private profile;
// false when the office had not ended by the bound (it is killed then). A document on which
// the office stalls for a minute is left without output, and the rest go on in a new process.
bool OfficeOwnConversion(const std::string& profile, const std::string& outDir,
                         const std::vector<std::string>& docs,
                         const std::string& convertTo = "txt:Text (encoded):UTF8",
                         std::chrono::seconds bound = std::chrono::seconds(120));

}  // namespace e2e
