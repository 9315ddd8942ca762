// The windowed run through the built program on a virtual X display, with real LibreOffice
// conversions: an auto-run project converts, writes its log and closes its window, which ends
// the program by itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "ProgramUnderTest.h"
#include "platform/Process.h"

using e2e::CopyFile;
using e2e::ProgramUnderTest;
using e2e::ReadLines;
using testsupport::TempDir;

namespace {

const std::string kSamples = QX_SAMPLES_DIR;

// A private Xvfb on the first free display number; killed and reaped when the object goes.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    if (!std::filesystem::exists("/usr/bin/Xvfb")) return;
    for (int n = 150; n < 250 && !server_; ++n) {
      std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (std::filesystem::exists(lock) || std::filesystem::exists(socket)) continue;
      platform::ProcessOptions o;
      o.argv = {"/usr/bin/Xvfb", ":" + std::to_string(n), "-nolisten", "tcp", "-screen", "0", "1280x1024x24"};
      auto server = platform::Process::Start(o);
      // Another server may have taken the number meanwhile: then this one ends at once.
      testsupport::WaitUntil([&] { return std::filesystem::exists(socket) || !server->IsRunning(); },
                             std::chrono::seconds(10));
      if (server->IsRunning() && std::filesystem::exists(socket)) {
        server_ = std::move(server);
        display_ = ":" + std::to_string(n);
      }
    }
  }
  ~VirtualDisplay() {
    if (!server_) return;
    server_->KillAndReap();
    // A killed server leaves its lock and socket behind, which would hold the number forever.
    std::error_code ignored;
    std::filesystem::remove("/tmp/.X" + display_.substr(1) + "-lock", ignored);
    std::filesystem::remove("/tmp/.X11-unix/X" + display_.substr(1), ignored);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  bool Ready() const { return server_ != nullptr; }
  std::string Environment() const { return "DISPLAY=" + display_; }

 private:
  std::unique_ptr<platform::Process> server_;
  std::string display_;
};

std::string Settings(const std::vector<std::string>& pairs) {
  std::string arg = "-P:";
  for (std::size_t i = 0; i < pairs.size(); ++i) arg += (i ? ";" : "") + pairs[i];
  return arg;
}

// Running processes whose command line mentions text.
std::vector<int> ProcessesMentioning(const std::string& text) {
  std::vector<int> pids;
  for (auto& e : std::filesystem::directory_iterator("/proc")) {
    std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream file(e.path() / "cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (cmdline.find(text) != std::string::npos) pids.push_back(std::stoi(name));
  }
  return pids;
}

struct WindowedFixture : ::testing::Test {
  VirtualDisplay display;
  ProgramUnderTest program;
  TempDir work;
  std::string in = work / "in";
  std::string out = work / "out";
  std::string log = work / "out/run.log";
  // The program's offices keep their profiles here, which tells them from other tests' offices.
  std::string tmp = work / "tmp";

  void SetUp() override {
    if (!display.Ready()) GTEST_SKIP() << "no virtual X display";
    std::filesystem::create_directories(tmp);
  }
  void TearDown() override {
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ProcessesMentioning(tmp).empty(); }, std::chrono::seconds(10)))
        << "an office of the run is still running";
  }
  int Run(const std::vector<std::string>& settings) {
    return program.Run(Settings(settings), std::chrono::seconds(240), {display.Environment(), "TMPDIR=" + tmp});
  }
};

}  // namespace

TEST_F(WindowedFixture, RunAndCloseConvertsWritesTheLogAndEnds) {
  CopyFile(kSamples + "/welcome.docx", in + "/welcome.docx");
  CopyFile(kSamples + "/report.doc", in + "/report.doc");
  CopyFile(kSamples + "/damaged.docx", in + "/damaged.docx");
  // Its status is the headless run's: a document failed.
  ASSERT_EQ(Run({"Source=" + in + "/*.doc?", "Target=" + out, "RunAndClose=True", "ThreadsCount=2",
                 "LogFile=" + log}),
            1);
  auto lines = ReadLines(log);
  std::sort(lines.begin(), lines.end());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("[Failure] => " + in + "/damaged.docx => ", 0), 0u) << lines[0];
  EXPECT_GT(lines[0].size(), ("[Failure] => " + in + "/damaged.docx => ").size());
  EXPECT_EQ(lines[1], "[Success] => " + in + "/report.doc => " + out + "/report.txt");
  EXPECT_EQ(lines[2], "[Success] => " + in + "/welcome.docx => " + out + "/welcome.txt");
  EXPECT_GT(std::filesystem::file_size(out + "/report.txt"), 0u);
  EXPECT_GT(std::filesystem::file_size(out + "/welcome.txt"), 0u);
  EXPECT_FALSE(std::filesystem::exists(out + "/damaged.txt"));
  EXPECT_EQ(program.Counter("C"), "1");
  EXPECT_EQ(program.Counter("A"), "3");
  EXPECT_EQ(program.Counter("S"), "2");
  EXPECT_EQ(program.Counter("F"), "1");
  auto links = program.Links();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_NE(links[0].find("err&e="), std::string::npos) << links[0];
}

TEST_F(WindowedFixture, PureConsoleWithAWebSourceRunsInTheWindowAndEnds) {
  // Nothing listens on the discard port: the address is the one job, and it fails.
  const std::string address = "http://127.0.0.1:9/letter.docx";
  ASSERT_EQ(Run({"Source=" + address, "Target=" + out, "PureConsole=True", "LogFile=" + log}), 1);
  auto lines = ReadLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[Failure] => " + address + " => ", 0), 0u) << lines[0];
  EXPECT_EQ(program.Counter("A"), "1");
}

// A run that cannot start ends with status 2. A stop signal closes the window as a user would:
// the documents in hand are abandoned, their offices end, what was converted is logged, and
// the program ends within seconds with 128 + the signal.
TEST_F(WindowedFixture, ImpossibleAndInterruptedAutoRunsSaySoInTheirStatus) {
  EXPECT_EQ(Run({"Target=" + out, "RunAndClose=True", "LogFile=" + log}), 2);  // no source
  EXPECT_NE(program.Stderr().find("could not be carried out"), std::string::npos);
  // A source folder that does not exist is named as the headless run names it; no target is made.
  EXPECT_EQ(Run({"Source=" + in + "/gone/*.doc?", "Target=" + work / "made", "RunAndClose=True"}), 2);
  EXPECT_NE(program.Stderr().find("quillex: the source folder " + in + "/gone/ does not exist"),
            std::string::npos)
      << program.Stderr();
  EXPECT_FALSE(std::filesystem::exists(work / "made"));

  for (int i = 0; i < 30; ++i)
    CopyFile(kSamples + "/welcome.docx", in + "/d" + std::to_string(100 + i) + ".docx");
  platform::ProcessOptions o;
  o.argv = {program.exe(), Settings({"Source=" + in + "/*.docx", "Target=" + out, "RunAndClose=True",
                                     "ThreadsCount=2", "LogFile=" + log})};
  o.extraEnvironment = {display.Environment(), "TMPDIR=" + tmp};
  auto running = platform::Process::Start(o);
  auto texts = [&] {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(out)) n += e.path().extension() == ".txt";
    return n;
  };
  ASSERT_TRUE(testsupport::WaitUntil([&] { return std::filesystem::exists(out) && texts() >= 2; },
                                     std::chrono::seconds(180)));
  // Offices that hang in the middle of a document must not hold up the end.
  for (int pid : testsupport::OfficesUnder(tmp)) ::kill(pid, SIGSTOP);
  ASSERT_EQ(::kill(running->Pid(), SIGTERM), 0);
  auto signalled = std::chrono::steady_clock::now();
  auto exit = running->WaitFor(std::chrono::seconds(60));
  if (!exit) running->KillAndReap();
  ASSERT_TRUE(exit);
  auto took = std::chrono::steady_clock::now() - signalled;
  std::cout << "ended " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
            << " ms after SIGTERM\n";
  EXPECT_LT(took, std::chrono::seconds(20));
  EXPECT_FALSE(exit->signaled);
  EXPECT_EQ(exit->code, 128 + SIGTERM);
  // Every row is exported: the converted ones as successes, the abandoned ones as not done.
  int successes = 0;
  for (const auto& line : ReadLines(log)) {
    successes += line.rfind("[Success] => ", 0) == 0;
    EXPECT_NE(line.rfind("[Failure]", 0), 0u) << line;
  }
  EXPECT_EQ(successes, texts());
  EXPECT_LT(successes, 30);
  EXPECT_TRUE(program.Links().empty());
}
