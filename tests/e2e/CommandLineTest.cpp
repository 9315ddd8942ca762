// What a user without a display gets from the built program: help, version, a wrong option and
// a windowed start all answer with a status and a line instead of the toolkit's abort.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "ProgramUnderTest.h"

namespace {

struct Answer {
  int status = -1;
  std::string out;
};

// Runs the program through the shell with no display of any kind but what environment names;
// stream 1 or 2 is kept.
Answer Ask(const e2e::ProgramUnderTest& program, const std::string& args, int stream,
           const std::string& environment = "") {
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + environment + " timeout 60 " +
                        program.exe() +
                        " " + args + (stream == 1 ? " 2>/dev/null" : " 2>&1 >/dev/null");
  Answer answer;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return answer;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) answer.out.append(buffer, n);
  int status = pclose(pipe);
  answer.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return answer;
}

}  // namespace

TEST(CommandLine, HelpAndVersionNeedNoDisplayAndTouchNothing) {
  e2e::ProgramUnderTest program;
  for (const char* help : {"--help", "-h", "-o out --help"}) {
    Answer a = Ask(program, help, 1);
    EXPECT_EQ(a.status, 0) << help;
    EXPECT_EQ(a.out.rfind("Usage: quillex [OPTIONS] [SOURCE]\n", 0), 0u) << help;
    EXPECT_NE(a.out.find("130, 143"), std::string::npos);
    EXPECT_NE(a.out.find("man quillex"), std::string::npos);
  }
  const std::string officeSays = e2e::OfficeVersionLine();
  for (const char* version : {"--version", "-V"}) {
    Answer a = Ask(program, version, 1);
    EXPECT_EQ(a.status, 0);
    // The office's release as the office itself states it.
    EXPECT_EQ(a.out.rfind("quillex 2020.12.1118.2014\nLibreOffice ", 0), 0u) << a.out;
    std::string office = a.out.substr(a.out.find('\n') + 1);
    EXPECT_EQ((officeSays + " ").rfind(office.substr(0, office.size() - 1) + " ", 0), 0u) << officeSays << " / " << office;
  }
  EXPECT_FALSE(testsupport::Exists(program.dir() / "bin/quillex.ext"));  // not even a start was counted
}

TEST(CommandLine, WithoutADisplayAWindowedStartAndAWrongOptionEndWithStatusTwoAndOneLine) {
  e2e::ProgramUnderTest program;
  for (const char* args : {"", "-r", "--jobs=x", "--no-such-option"}) {
    Answer a = Ask(program, args, 2);
    EXPECT_EQ(a.status, 2) << args;
    EXPECT_EQ(std::count(a.out.begin(), a.out.end(), '\n'), 1) << args << ": " << a.out;
    EXPECT_EQ(a.out.rfind("quillex: ", 0), 0u) << a.out;
  }
  EXPECT_NE(Ask(program, "", 2).out.find("--headless"), std::string::npos);
  // A display that is named but does not answer: X11 (no server on :97 here) and Wayland.
  for (const char* display : {"DISPLAY=:97", "WAYLAND_DISPLAY=qx-none XDG_RUNTIME_DIR=/nonexistent"}) {
    Answer a = Ask(program, "", 2, display);
    EXPECT_EQ(a.status, 2) << display;
    EXPECT_EQ(std::count(a.out.begin(), a.out.end(), '\n'), 1) << display << ": " << a.out;
    EXPECT_NE(a.out.find("cannot be reached; use --headless"), std::string::npos) << a.out;
  }
}
