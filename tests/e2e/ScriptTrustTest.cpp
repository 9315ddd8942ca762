// What a script or cron job relies on, through the built program: the log goes wherever it is
// pointed without replacing what is not a regular file, is checked before anything converts and
// keeps its lines when the program is killed, a killed run's leftovers go with the next run, and
// failures reach a standard error that is no terminal.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "ProgramUnderTest.h"
#include "platform/Process.h"
#include "platform/TempNames.h"

using e2e::CopyFile;
using e2e::ProgramUnderTest;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const std::string kSamples = QX_SAMPLES_DIR;

mode_t LinkMode(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

struct ScriptTrust : ::testing::Test {
  ProgramUnderTest program;
  TempDir work;
  std::string in = work / "in";
  std::string out = work / "out";

  void TearDown() override { program.ExpectNoOfficesLeft(); }
  void Doc(const std::string& name, const std::string& sample = "welcome.docx") {
    CopyFile(kSamples + "/" + sample, in + "/" + name);
  }
  std::vector<std::string> Run(const std::string& log, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--headless", "--log", log, "-o", out};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(in);
    return args;
  }
};

}  // namespace

// A FIFO and a link are logs like a file; what they are stays as it was. Without a terminal
// each failure and a closing summary reach standard error, unless --quiet.
TEST_F(ScriptTrust, FifoAndLinkLogsAndFailuresWithoutATerminal) {
  Doc("good.docx");
  Doc("broken.docx", "damaged.docx");
  const std::string good = "Success => " + in + "/good.docx => " + out + "/good.txt";
  const std::string broken = "Failure => " + in + "/broken.docx => ";

  const std::string fifo = work / "log.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Open first, so that the program's open does not wait; the two lines fit the pipe's buffer.
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(program.RunWith(Run(fifo)), 1);
  char buf[4096];
  ssize_t n = ::read(reader, buf, sizeof buf);
  ::close(reader);
  auto lines = Lines(std::string(buf, n > 0 ? n : 0));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(S_ISFIFO(LinkMode(fifo)));
  EXPECT_TRUE(lines[0] == good || lines[1] == good);
  EXPECT_TRUE(lines[0].rfind(broken, 0) == 0 || lines[1].rfind(broken, 0) == 0);
  std::string said = program.Stderr();
  EXPECT_NE(said.find("failed: " + in + "/broken.docx: "), std::string::npos) << said;
  EXPECT_NE(said.find("\nquillex: 1 of 2 documents failed; the log is " + fifo + "\n"), std::string::npos)
      << said;
  EXPECT_EQ(said.substr(said.rfind('\n', said.size() - 2) + 1),
            "quillex: 1 of 2 documents failed; the log is " + fifo + "\n");

  const std::string file = work / "kept/run.log", link = work / "run.log";
  testsupport::WriteFile(file, "an older run's log, longer than this run's\r\n");
  ::chmod(file.c_str(), 0640);
  ASSERT_EQ(::symlink("kept/run.log", link.c_str()), 0);
  EXPECT_EQ(program.RunWith(Run(link, {"--quiet"})), 1);
  EXPECT_EQ(program.Stderr(), "");
  EXPECT_TRUE(S_ISLNK(LinkMode(link)));
  EXPECT_EQ(LinkMode(file) & 0777, 0640u);
  // What the end-of-run write always gave: the lines in the order documents finished, CR LF each.
  std::string text = ReadFile(file);
  lines = Lines(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(text, lines[0] + "\r\n" + lines[1] + "\r\n");
  EXPECT_TRUE(lines[0] == good || lines[1] == good);
}

// An ordinary user's /dev/stdout (root could replace the link, an ordinary user got status 2).
TEST_F(ScriptTrust, DevStdoutIsTheLogOfAnOrdinaryUser) {
  TempDir user;
  ::chmod(user.path().c_str(), 0755);
  for (auto folder : {"home", "tmp", "out"}) {
    std::filesystem::create_directories(user / folder);
    ::chmod((user / folder).c_str(), 0777);
  }
  CopyFile(QX_PROGRAM_PATH, user / "quillex");
  CopyFile(kSamples + "/welcome.docx", user / "in/a.docx");
  ::chmod((user / "quillex").c_str(), 0755);
  ::chmod((user / "in").c_str(), 0755);
  ::chmod((user / "in/a.docx").c_str(), 0644);
  const std::string home = user / "home", exe = user / "quillex", target = user / "out", source = user / "in";
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(120);
    // Standard output is a file of the user's own, as a shell's redirection makes it.
    int fd = ::open((home + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open((home + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || err < 0 || ::dup2(fd, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(121);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("TMPDIR", (user / "tmp").c_str(), 1);
    ::unsetenv("DISPLAY");
    ::execl(exe.c_str(), exe.c_str(), "--headless", "--log", "/dev/stdout", "-o", target.c_str(),
            source.c_str(), static_cast<char*>(nullptr));
    ::_exit(122);
  }
  ASSERT_GT(child, 0);
  int status = -1;
  bool ended = testsupport::WaitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; },
                                      std::chrono::seconds(300));
  if (!ended) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  ASSERT_TRUE(ended);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(home + "/stderr");
  EXPECT_EQ(ReadFile(home + "/stdout"), "Success => " + source + "/a.docx => " + target + "/a.txt\r\n");
  EXPECT_TRUE(S_ISLNK(LinkMode("/dev/stdout")));
  EXPECT_TRUE(testsupport::OfficesUnder(user / "tmp").empty());
}

// A log that cannot be written ends the run before the first conversion, with one line.
TEST_F(ScriptTrust, AnUnwritableLogStopsTheRunBeforeAnyConversion) {
  Doc("a.docx");
  EXPECT_EQ(program.RunWith(Run(work / "no/such/dir/run.log")), 2);
  std::string said = program.Stderr();
  EXPECT_EQ(said.rfind("quillex: the log file " + work / "no/such/dir/run.log cannot be written", 0), 0u)
      << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_FALSE(Exists(out + "/a.txt"));
  EXPECT_EQ(program.Counter("C"), "");  // no run was counted: none started
}

// kill -9 leaves the lines of the documents that finished; the next run removes the killed
// program's leftovers, and never those of a program that still runs.
TEST_F(ScriptTrust, KillLeavesFinishedLinesAndTheNextRunCleansUp) {
  for (int i = 0; i < 20; ++i) Doc("d" + std::to_string(i) + ".docx");
  const std::string log = out + "/run.log";
  platform::ProcessOptions o;
  o.argv = {program.exe(), "--headless", "-j", "1", "--log", log, "-o", out, in};
  o.extraEnvironment = {"TMPDIR=" + program.tmp()};
  o.removeEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
  auto run = platform::Process::Start(o);
  const int killed = run->Pid();
  ASSERT_TRUE(
      testsupport::WaitUntil([&] { return Lines(ReadFile(log)).size() >= 2; }, std::chrono::seconds(240)));
  run->KillAndReap();
  std::string text = ReadFile(log);
  auto lines = Lines(text);
  EXPECT_EQ(text.size(), [&] {
    std::size_t size = 0;
    for (auto& l : lines) size += l.size() + 2;
    return size;
  }()) << "only whole lines";
  ASSERT_GE(lines.size(), 2u);
  EXPECT_LT(lines.size(), 20u) << "killed before the end";
  for (auto& line : lines) {
    ASSERT_EQ(line.rfind("Success => ", 0), 0u) << line;
    EXPECT_TRUE(Exists(line.substr(line.rfind(" => ") + 4))) << line;
  }

  // A half-written text of the killed program, and one of a program that still runs (this test).
  const std::string host = platform::OwnerTag().substr(platform::OwnerTag().find('.'));
  const std::string left = out + "/d19.txt.tmp-" + std::to_string(killed) + host + "-Ab12Cd";
  const std::string alive = out + "/d18.txt.tmp-" + platform::OwnerTag() + "-Ab12Cd";
  testsupport::WriteFile(left, "half");
  testsupport::WriteFile(alive, "half");
  auto killedOwns = [&] {
    std::vector<std::string> found;
    for (auto& e : std::filesystem::directory_iterator(program.tmp()))
      if (e.path().filename().string().find(std::to_string(killed) + host + "-") != std::string::npos)
        found.push_back(e.path());
    return found;
  };
  EXPECT_FALSE(killedOwns().empty()) << "the killed program's office profile stays until a new run";
  EXPECT_EQ(program.RunWith({"--headless", "-o", out, in + "/*.none"}), 0);
  EXPECT_TRUE(killedOwns().empty());
  EXPECT_FALSE(Exists(left));
  EXPECT_TRUE(Exists(alive));
}
