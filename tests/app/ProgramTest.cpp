// The command line, the run-mode decision and the program's start-up and release as a whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestEnv.h"
#include "app/CommandLine.h"
#include "app/ConventionalOptions.h"
#include "app/Program.h"
#include "app/RunChecks.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"

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

TEST(ConventionalOptions, MapOntoSettingsAndLeaveTheOlderFormsAlone) {
  using A = app::Invocation::Action;
  using K = CommandLine::Kind;
  struct Case {
    std::vector<std::string> args;
    A action;
    K kind;
    std::string text;  // settings lines (Run) or the start of the message (UsageError)
  } cases[] = {
      {{"--headless", "-r", "-j", "2", "-o", "~/out", "~/in"},
       A::Run,
       K::Settings,
       "PureConsole=True\r\nSubdir=True\r\nThreadsCount=2\r\nTarget=~/out\r\nSource=~/in"},
      {{"--overwrite=skip", "--log", "a;b.log", "--set", "KeepFileTime=yes", "--regex=x=y", "-j3", "-o", "a",
        "--target=b"},
       A::Run,
       K::Settings,
       "IsOverwrite=Skip\r\nLogFile=a;b.log\r\nKeepFileTime=yes\r\nRegExt=x=y\r\nThreadsCount=3\r\nTarget=b"},
      {{"--shard", "2/3", "--timeout", "0", "--locale-text", "--page-breaks", "--skip-hidden", "-q", "--",
        "-odd.doc"},
       A::Run,
       K::Settings,
       "Shard=2/3\r\nConvertTimeout=0\r\nAnsi=True\r\nPageBreaks=True\r\nSkipHidden=True\r\nQuiet=True\r\n"
       "Source=-odd.doc"},
      {{"--no-report", "-o", "a"}, A::Run, K::Settings, "FailureReport=False\r\nTarget=a"},
      {{"--encoding", "UTF-16", "--eol=lf", "--log-format", "json", "--utf8", "-o", "-", "-"},
       A::Run,
       K::Settings,
       "Encoding=UTF-8\r\nLineEnds=LF\r\nLogFormat=json\r\nTarget=-\r\nSource=-"},
      {{"--eol", "cr"}, A::UsageError, K::None, "option '--eol' takes crlf or lf, not 'cr'"},
      {{"--include", "notes,frames", "--changes", "ACCEPT", "--hidden=drop"},
       A::Run,
       K::Settings,
       "Include=notes,frames\r\nChanges=accept\r\nHiddenText=drop"},
      {{"--hidden", "hide"}, A::UsageError, K::None, "option '--hidden' takes keep or drop, not 'hide'"},
      {{"--max-size=512", "--follow-links", "--any-file", "--office-user=qx", "--max-size", "2g"},  // the last wins
       A::Run,
       K::Settings,
       "MaxDocumentSize=2147483648\r\nFollowLinks=True\r\nAnyFile=True\r\nOfficeUser=qx"},
      {{"--max-size", "9999999999999G"}, A::UsageError, K::None, "option '--max-size' needs a size"},
      {{"--no-report", "--watch", "--overwrite", "NEWER", "-o", "a"},
       A::Run,
       K::Settings,
       "FailureReport=False\r\nWatch=True\r\nIsOverwrite=Newer\r\nTarget=a"},
      {{"-P:Source=a;Target=b", "--ignored"}, A::Run, K::Settings, "Source=a\r\nTarget=b"},
      {{"-U", "x"}, A::Run, K::Uninstall, ""},
      {{"job.batch-quillex"}, A::Run, K::File, "job.batch-quillex"},
      {{}, A::Run, K::None, ""},
      {{"-o", "out", "--help"}, A::Help, K::None, ""},
      {{"-V"}, A::Version, K::None, ""},
      {{"--frobnicate"}, A::UsageError, K::None, "unknown option '--frobnicate'"},
      {{"-X"}, A::UsageError, K::None, "unknown option '-X'"},
      {{"-o"}, A::UsageError, K::None, "option '-o' needs a value"},
      {{"--overwrite", "maybe"}, A::UsageError, K::None, "option '--overwrite' takes yes, no, skip or newer"},
      {{"-j", "two"}, A::UsageError, K::None, "option '--jobs' needs a whole number"},
      {{"--set", "=1"}, A::UsageError, K::None, "option '--set' takes NAME=VALUE"},
      {{"--headless=no"}, A::UsageError, K::None, "option '--headless' takes no value"},
      {{"a", "b"}, A::UsageError, K::None, "only one SOURCE"},
      {{"-r", "job.batch-quillex"}, A::UsageError, K::None, "a project file is opened alone"},
      {{"-o", "a\nTarget=b"}, A::UsageError, K::None, "a line break cannot be part of a value"},
  };
  for (const auto& c : cases) {
    auto inv = app::ReadArguments(c.args);
    std::string args;
    for (const auto& a : c.args) args += a + " ";
    EXPECT_EQ(inv.action, c.action) << args;
    if (c.action == A::UsageError) {
      EXPECT_EQ(inv.message.rfind(c.text, 0), 0u) << args << "-> " << inv.message;
    } else {
      EXPECT_EQ(inv.commandLine.kind, c.kind) << args;
      EXPECT_EQ(inv.commandLine.text, c.text) << args;
    }
  }
}

TEST(RunChecks, WorkersBeyondTheCpusAreNamedWithTheirMemory) {
  struct Row {
    int workers, cpus;
    const char* said;
  } rows[] = {{1, 1, ""},
              {0, 1, ""},
              {2, 2, ""},
              {-5, 1, ""},
              {3, 2, "3 workers run on 2 CPUs; each is a LibreOffice of about 120 MiB (360 MiB in all)"},
              {64, 1, "64 workers run on 1 CPU; each is a LibreOffice of about 120 MiB (7680 MiB in all)"}};
  for (const auto& r : rows) EXPECT_EQ(app::WorkersBeyondCpus(r.workers, r.cpus), r.said) << r.workers;
}

TEST(RunChecks, MarkdownNamesEachSettingItIgnores) {
  TempDir dir;
  core::TcvProject project(dir / "p");
  project.SetSettingsText("PageBreaks=True\r\nEncoding=Locale");
  EXPECT_TRUE(app::IgnoredByMarkdown(project).empty());
  project.SetValue("Format", "Markdown");
  EXPECT_EQ(app::IgnoredByMarkdown(project),
            (std::vector<std::string>{"PageBreaks has no meaning in Markdown; it is ignored",
                                      "Markdown is always UTF-8; Encoding=Locale is ignored"}));
  project.SetSettingsText("Format=Markdown\r\nEncoding=utf8\r\nAnsi=True");
  EXPECT_TRUE(app::IgnoredByMarkdown(project).empty());
}

TEST(RunMode, HeadlessOnlyForPureConsoleWithoutWebSource) {
  EXPECT_TRUE(app::IsHeadless(true, "/in/*.doc?"));
  EXPECT_FALSE(app::IsHeadless(true, "http://srv/a.doc"));
  EXPECT_FALSE(app::IsHeadless(true, "HTTP://srv/a.doc"));
  EXPECT_FALSE(app::IsHeadless(false, "/in/*.doc?"));
  // Only a scheme makes an address: a local folder may be named for one.
  EXPECT_TRUE(app::IsHeadless(true, "/data/http-logs/*.doc?"));
  EXPECT_TRUE(app::IsHeadless(true, "file:///data/http/a.doc"));
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
  // A project given by name that cannot be read (here too large) runs neither way.
  std::string project = dir / "job.batch-quillex";
  testsupport::WriteFile(project, "PureConsole=True\r\n");
  std::filesystem::resize_file(project, 17u << 20);
  EXPECT_EQ(Run(project), 2);
  EXPECT_EQ(windowed, 0);
}

TEST_F(ProgramFixture, ABadShardStopsEitherRunModeWithOneLine) {
  for (const char* shard : {"0/3", "4/3", "x", "1/0", "2"}) {
    for (const char* mode : {"True", "False"}) {
      SCOPED_TRACE(std::string(shard) + " PureConsole=" + mode);
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(Run("-P:Source=" + (dir / "in/*.doc?") + ";Target=" + (dir / "out") + ";PureConsole=" + mode +
                    ";Shard=" + shard),
                2);
      std::string err = ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
      EXPECT_NE(err.find(std::string("Shard=") + shard), std::string::npos) << err;
    }
  }
  EXPECT_EQ(windowed, 0);
  EXPECT_FALSE(testsupport::Exists(dir / "out"));
}
