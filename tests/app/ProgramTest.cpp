// The command line, the run-mode decision and the program's start-up and release as a whole.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "app/CommandLine.h"
#include "app/Program.h"
#include "core/cvInfo.h"

using app::CommandLine;
using app::ParseCommandLine;
using testsupport::TempDir;

TEST(CommandLine, FirstArgumentTable) {
  using K = CommandLine::Kind;
  struct Case {
    std::string arg;
    K kind;
    std::string text;
  } cases[] = {
      {"", K::None, ""},
      {"x", K::None, ""},  // one character is ignored
      {"-I123", K::Install, "123"},
      {"-i", K::Install, ""},
      {"-U", K::Uninstall, ""},
      {"-uanything", K::Uninstall, ""},
      {"-p:Source=a;Target=b", K::Settings, "Source=a\r\nTarget=b"},
      {"-PSource=a,Target=b", K::Settings, "Source=a\r\nTarget=b"},
      {"-P: Source=a", K::Settings, " Source=a"},  // a blank stays part of the name
      {"-P::x=1", K::Settings, ":x=1"},            // only one ":" is dropped
      {"-X", K::None, ""},
      {"/PSource=a", K::File, "/PSource=a"},  // "/" starts a path here, never a switch
      {"/home/a/job.batch-quillex", K::File, "/home/a/job.batch-quillex"},
      {"-P:Source=\"a b\"\n;T=\xC3\xA9", K::Settings, "Source=\"a b\"\n\r\nT=\xC3\xA9"},
  };
  for (const auto& c : cases) {
    auto cl = ParseCommandLine(c.arg);
    EXPECT_EQ(cl.kind, c.kind) << c.arg;
    EXPECT_EQ(cl.text, c.text) << c.arg;
  }
  EXPECT_EQ(ParseCommandLine(std::string(1 << 20, 'a')).kind, K::File);
}

TEST(RunMode, HeadlessOnlyForPureConsoleWithoutWebSource) {
  EXPECT_TRUE(app::IsHeadless(true, "/in/*.doc?"));
  EXPECT_FALSE(app::IsHeadless(true, "http://srv/a.doc"));
  EXPECT_TRUE(app::IsHeadless(true, "HTTP://srv/a.doc"));  // the test is case-sensitive
  EXPECT_FALSE(app::IsHeadless(false, "/in/*.doc?"));
}

namespace {

struct ProgramFixture : ::testing::Test {
  TempDir dir;
  testsupport::RecordingOpener opener;
  int windowed = 0;

  int Run(const std::string& arg) {
    app::ProgramOptions o;
    o.exeName = dir / "quillex";
    o.firstParam = arg;
    o.runWindowed = [this] {
      ++windowed;
      return 0;
    };
    return app::RunProgram(o);
  }
  std::string Store() {
    std::vector<std::string> lines;
    core::TcvInfo::DecodeStore(testsupport::ReadFile(dir / "quillex.ext"), lines);
    std::string s;
    for (auto& l : lines) s += l + ";";
    return s;
  }
};

}  // namespace

TEST_F(ProgramFixture, InstallSwitchOpensOneReportLinkAndEnds) {
  EXPECT_EQ(Run("-I123"), 0);
  EXPECT_EQ(windowed, 0);
  EXPECT_EQ(Run("-U"), 0);
  auto calls = opener.WaitForCalls(2);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NE(calls[0].find("/net/?a=ins&p=quillex&v=2020.12.1118.2014&c=r1"), std::string::npos) << calls[0];
  EXPECT_EQ(calls[0].substr(calls[0].size() - 4), "&123");
  EXPECT_NE(calls[1].find("/net/?a=uni&p=quillex&v=2020.12.1118.2014&c=r2"), std::string::npos) << calls[1];
  // Released in reverse order: the store and the recent list were written at the end.
  EXPECT_NE(Store().find("R=2;"), std::string::npos);
  EXPECT_TRUE(testsupport::Exists(dir / "quillex.log"));
  EXPECT_FALSE(testsupport::Exists(dir / "quillex.batch-quillex"));  // settings are never saved at exit
}

TEST_F(ProgramFixture, WithoutPureConsoleTheWindowRuns) {
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Run("-P:Source=http://srv/a.doc;PureConsole=True"), 0);
  EXPECT_EQ(windowed, 2);
}

TEST_F(ProgramFixture, HeadlessRunWithoutTargetIsNotCarriedOut) {
  // A source without a folder leaves the target empty even after the default.
  EXPECT_EQ(Run("-P:Source=nothing.doc;PureConsole=True"), 2);
  EXPECT_EQ(windowed, 0);
}
