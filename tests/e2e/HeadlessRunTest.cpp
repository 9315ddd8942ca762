// The headless run through the built program, with real LibreOffice conversions.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "ProgramUnderTest.h"
#include "platform/FileTimes.h"

using e2e::CopyFile;
using e2e::ProgramUnderTest;
using e2e::ReadLines;
using testsupport::Exists;
using testsupport::TempDir;

namespace {

const std::string kSamples = QX_SAMPLES_DIR;
const std::string kData = QX_E2E_DATA_DIR;

std::string Settings(const std::vector<std::string>& pairs) {
  std::string arg = "-P:";
  for (std::size_t i = 0; i < pairs.size(); ++i) arg += (i ? ";" : "") + pairs[i];
  return arg;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

struct HeadlessFixture : ::testing::Test {
  ProgramUnderTest program;
  TempDir work;
  std::string in = work / "in";
  std::string out = work / "out";
  std::string log = work / "out/run.log";

  void TearDown() override { program.ExpectNoOfficesLeft(); }
  void Doc(const std::string& rel, const std::string& sample = "welcome.docx") {
    CopyFile(kSamples + "/" + sample, in + "/" + rel);
  }
};

}  // namespace

TEST_F(HeadlessFixture, TreeWithOddNamesHiddenAndLockFiles) {
  Doc("plain.docx");
  Doc("with blanks.doc", "report.doc");
  const std::string odd = "q\"uote & and=eq \xC3\xA9t\xC3\xA9.docx";
  Doc(odd);
  Doc("sub/deeper/nested.doc", "report.doc");
  Doc(".hidden.docx");
  Doc(".hiddendir/inside.docx");
  Doc("~$lock.docx");
  Doc("a~$b.docx");
  Doc("notes.txt");
  Doc("broken.docx", "damaged.docx");

  int status = program.Run(Settings({"Source=" + in + "/*.doc?", "Target=" + out, "Subdir=True",
                                     "PureConsole=True", "ThreadsCount=3", "LogFile=" + log}));
  EXPECT_EQ(status, 1);  // one document fails
  auto lines = ReadLines(log);
  EXPECT_EQ(lines.size(), 7u);
  for (auto rel : {"plain", "with blanks", "sub/deeper/nested", ".hidden", "a~$b"}) {
    std::string ext =
        std::string(rel) == "with blanks" || std::string(rel) == "sub/deeper/nested" ? ".doc" : ".docx";
    EXPECT_TRUE(Contains(lines, "Success => " + in + "/" + rel + ext + " => " + out + "/" + rel + ".txt"))
        << rel;
  }
  EXPECT_TRUE(Contains(
      lines, "Success => " + in + "/" + odd + " => " + out + "/q\"uote & and=eq \xC3\xA9t\xC3\xA9.txt"));
  EXPECT_EQ(CountPrefix(lines, "Failure => " + in + "/broken.docx => "), 1);
  EXPECT_FALSE(Exists(out + "/.hiddendir"));
  // The office leaves no lock files beside the documents it read.
  for (auto& e : std::filesystem::recursive_directory_iterator(in))
    EXPECT_EQ(e.path().filename().string().rfind(".~lock", 0), std::string::npos) << e.path();
  EXPECT_FALSE(Exists(out + "/~$lock.txt"));

  // Word's Unicode text: UTF-16LE with a byte-order mark and CR LF line ends.
  std::string bytes = testsupport::ReadFile(out + "/plain.txt");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::string text = e2e::Utf16File(out + "/plain.txt");
  EXPECT_NE(text.find("Welcome to Quillex Converter\r\n"), std::string::npos);
  EXPECT_NE(text.find("caf\xC3\xA9"), std::string::npos);

  auto links = program.Links();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_NE(links[0].find("/net/?a=err&e="), std::string::npos);
  EXPECT_EQ(program.Counter("A"), "7");
  EXPECT_EQ(program.Counter("S"), "6");
  EXPECT_EQ(program.Counter("F"), "1");
  EXPECT_EQ(program.Counter("C"), "1");
  // The office's major version, whichever office this is.
  const std::string office = e2e::OfficeVersionLine();  // "LibreOffice 7.4.7.2 40(Build:2)"
  EXPECT_EQ(office.rfind("LibreOffice " + program.Counter("W") + ".", 0), 0u) << office;
}

TEST_F(HeadlessFixture, FiltersSkipHiddenAndFlatTargets) {
  Doc("keep/a.docx");
  Doc("keep/.b.docx");
  Doc("drop/c.docx");
  int status = program.Run(
      Settings({"Source=" + in + "/*.doc?", "Target=" + out, "Subdir=1", "PureConsole=True", "ThreadsCount=0",
                "SkipHidden=True", "RegExt=/KEEP/", "KeepTargetSubdirs=False", "LogFile=" + log}));
  EXPECT_EQ(status, 0);
  auto lines = ReadLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Success => " + in + "/keep/a.docx => " + out + "/a.txt");
  EXPECT_TRUE(program.Links().empty());
}

TEST_F(HeadlessFixture, ExistingTargetsAreOverwrittenRenamedOrSkipped) {
  Doc("a.docx");
  testsupport::WriteFile(out + "/a.txt", "old");
  testsupport::WriteFile(out + "/-quillex-a.txt", "older");
  auto run = [&](const std::string& policy) {
    return program.Run(Settings({"Source=" + in + "/a.docx", "Target=" + out, "PureConsole=True",
                                 "IsOverwrite=" + policy, "LogFile=" + log}));
  };
  EXPECT_EQ(run("Skip"), 0);
  EXPECT_EQ(ReadLines(log), std::vector<std::string>{"Success => " + in + "/a.docx => "});
  EXPECT_EQ(testsupport::ReadFile(out + "/a.txt"), "old");

  EXPECT_EQ(run("False"), 0);
  auto lines = ReadLines(log);
  ASSERT_EQ(lines.size(), 1u);
  // Neither existing file is overwritten: a further free name is taken.
  EXPECT_EQ(testsupport::ReadFile(out + "/a.txt"), "old");
  EXPECT_EQ(testsupport::ReadFile(out + "/-quillex-a.txt"), "older");
  EXPECT_EQ(lines[0].rfind("Success => " + in + "/a.docx => " + out + "/-quillex-", 0), 0u) << lines[0];

  // "no" is False too (it once meant True and replaced the text).
  EXPECT_EQ(run("no"), 0);
  EXPECT_EQ(testsupport::ReadFile(out + "/a.txt"), "old");
  EXPECT_EQ(program.Stderr(), "");

  EXPECT_EQ(run("True"), 0);
  EXPECT_EQ(ReadLines(log), std::vector<std::string>{"Success => " + in + "/a.docx => " + out + "/a.txt"});
  EXPECT_NE(testsupport::ReadFile(out + "/a.txt"), "old");
}

TEST_F(HeadlessFixture, DocumentsSharingANameTargetInsideTheSourceAndFileAddresses) {
  // a.doc and a.docx want one text; the target lies inside the source tree and holds a
  // document; both folders are given as file: addresses.
  Doc("a.docx");
  Doc("a.doc", "report.doc");
  Doc("out/old.docx");
  const std::string target = in + "/out";
  const std::string stray = std::filesystem::current_path() / "file:";
  const bool strayBefore = Exists(stray);
  const std::string runLog = work / "run.log";
  EXPECT_EQ(program.Run(Settings({"Source=file://" + in + "/*.doc?", "Target=file://" + target, "Subdir=True",
                                  "PureConsole=True", "DeleteSource=True", "LogFile=" + runLog})),
            0);
  auto lines = ReadLines(runLog);
  std::sort(lines.begin(), lines.end());
  ASSERT_EQ(lines.size(), 2u);
  const std::string a = target + "/a.txt", b = target + "/-quillex-a.txt";
  EXPECT_EQ(lines[0].rfind("Success => " + in + "/a.doc => ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("Success => " + in + "/a.docx => ", 0), 0u) << lines[1];
  auto targetOf = [](const std::string& line) { return line.substr(line.rfind(" => ") + 4); };
  EXPECT_EQ((std::set<std::string>{targetOf(lines[0]), targetOf(lines[1])}), (std::set<std::string>{a, b}));
  EXPECT_NE(testsupport::ReadFile(a), testsupport::ReadFile(b));  // both texts kept
  EXPECT_FALSE(Exists(in + "/a.doc") || Exists(in + "/a.docx"));
  EXPECT_TRUE(Exists(target + "/old.docx"));
  EXPECT_FALSE(Exists(target + "/old.txt") || Exists(target + "/out"));
  EXPECT_EQ(Exists(stray), strayBefore);
}

TEST_F(HeadlessFixture, SourceTreatmentAfterSuccessOnly) {
  Doc("del.docx");
  Doc("ren.docx");
  Doc("bad.docx", "damaged.docx");
  platform::FileTimes t;
  ASSERT_TRUE(platform::GetFileTimes(in + "/ren.docx", t));
  t.modification.tv_sec = 1300000000;
  ASSERT_TRUE(platform::SetFileTimes(in + "/ren.docx", t));

  EXPECT_EQ(program.Run(Settings(
                {"Source=" + in + "/del.docx", "Target=" + out, "PureConsole=True", "DeleteSource=True"})),
            0);
  EXPECT_FALSE(Exists(in + "/del.docx"));
  EXPECT_TRUE(Exists(out + "/del.txt"));

  EXPECT_EQ(program.Run(Settings({"Source=" + in + "/r*.docx", "Target=" + out, "PureConsole=True",
                                  "RenameSource=.done", "KeepFileTime=True"})),
            0);
  EXPECT_TRUE(Exists(in + "/ren.docx.done"));
  platform::FileTimes got;
  ASSERT_TRUE(platform::GetFileTimes(out + "/ren.txt", got));
  // The conversion itself reads the source, so only its last-write time is a stable witness.
  EXPECT_EQ(got.modification.tv_sec, 1300000000);

  EXPECT_EQ(program.Run(Settings({"Source=" + in + "/bad.docx", "Target=" + out, "PureConsole=True",
                                  "RenameSource=.done", "DeleteSource=True"})),
            1);
  EXPECT_TRUE(Exists(in + "/bad.docx"));  // a failure leaves the source alone
}

TEST_F(HeadlessFixture, AnsiTextAndPageBreaks) {
  CopyFile(kData + "/three-pages.docx", in + "/three.docx");
  Doc("accents.docx");
  EXPECT_EQ(program.Run(Settings({"Source=" + in + "/*.docx", "Target=" + out, "PureConsole=True",
                                  "Ansi=True", "PageBreaks=True", "LogFile=" + log}),
                        std::chrono::seconds(300), {"LC_ALL=C.UTF-8"}),
            0);
  std::string three = testsupport::ReadFile(out + "/three.txt");
  EXPECT_NE(three.substr(0, 3), "\xEF\xBB\xBF");  // no byte-order mark
  EXPECT_EQ(std::count(three.begin(), three.end(), '\f'), 2) << three;
  EXPECT_EQ(three.find("\r\r\r"), std::string::npos);
  std::string accents = testsupport::ReadFile(out + "/accents.txt");
  EXPECT_NE(accents.find("caf\xC3\xA9"), std::string::npos);
  EXPECT_EQ(accents.find('\f'), std::string::npos);  // one page: nothing typed
}

TEST_F(HeadlessFixture, NamesOfAnyBytesConvertInEitherLocaleAndAnsiFollowsIt) {
  // Latin-1 bytes that are no UTF-8, and UTF-8 with the characters a URL treats apart.
  const std::string latin1 = "R\xE9sum\xE9", utf8 = "R\xC3\xA9sum\xC3\xA9 \xC3\xBC #1%20";
  Doc(latin1 + ".doc", "report.doc");
  Doc(utf8 + ".docx");
  for (std::string locale : {"C.UTF-8", "en_US.ISO-8859-1"}) {
    SCOPED_TRACE(locale);
    std::filesystem::remove_all(out);
    EXPECT_EQ(program.Run(Settings({"Source=" + in + "/*.doc?", "Target=" + out, "PureConsole=True",
                                    "Ansi=True", "LogFile=" + log}),
                          std::chrono::seconds(300), {"LC_ALL=" + locale}),
              0);
    // The log names every file as its bytes on disk, whatever the locale's charset.
    auto lines = ReadLines(log);
    EXPECT_TRUE(
        Contains(lines, "Success => " + in + "/" + latin1 + ".doc => " + out + "/" + latin1 + ".txt"));
    EXPECT_TRUE(Contains(lines, "Success => " + in + "/" + utf8 + ".docx => " + out + "/" + utf8 + ".txt"));
    EXPECT_NE(testsupport::ReadFile(out + "/" + latin1 + ".txt").find("Quarterly report"), std::string::npos);
  }
  // Ansi text in a single-byte locale is in that code page.
  EXPECT_NE(testsupport::ReadFile(out + "/" + utf8 + ".txt").find("caf\xE9"), std::string::npos)
      << "is en_US.ISO-8859-1 generated (scripts/setup)?";
}

TEST_F(HeadlessFixture, NoMatchGivesAnEmptyLogAndNoLink) {
  Doc("a.docx");
  EXPECT_EQ(program.Run(
                Settings({"Source=" + in + "/*.xyz", "Target=" + out, "PureConsole=True", "LogFile=" + log})),
            0);
  EXPECT_TRUE(Exists(log));
  EXPECT_EQ(testsupport::ReadFile(log), "");
  EXPECT_TRUE(program.Links().empty());
  EXPECT_EQ(program.Counter("A"), "0");
  EXPECT_EQ(program.Counter("F"), "0");
  // Said once on stderr, with the hint where sub-folders would have matched; quiet runs say nothing.
  EXPECT_EQ(program.Stderr(), "quillex: no document matches " + in + "/*.xyz; sub-folders are searched only with -r\n");
  Doc("sub/b.docx");
  EXPECT_EQ(program.RunWith({"--headless", "-r", "-o", out, in + "/*.xyz"}), 0);
  EXPECT_EQ(program.Stderr(), "quillex: no document matches " + in + "/*.xyz\n");
  EXPECT_EQ(program.RunWith({"--headless", "-q", "-o", out, in + "/*.xyz"}), 0);
  EXPECT_EQ(program.Stderr(), "");
}

TEST_F(HeadlessFixture, SameFailureTwiceIsReportedOnce) {
  Doc("x/one.docx", "damaged.docx");
  Doc("y/one.docx", "damaged.docx");
  EXPECT_EQ(program.Run(Settings({"Source=" + in + "/*.docx", "Target=" + out, "Subdir=True",
                                  "PureConsole=True", "KeepTargetSubdirs=False", "LogFile=" + log})),
            1);
  EXPECT_EQ(CountPrefix(ReadLines(log), "Failure => "), 2);
  EXPECT_EQ(program.Counter("F"), "2");
  auto links = program.Links();
  ASSERT_EQ(links.size(), 1u);
  auto e = links[0].find("a=err&e=");
  ASSERT_NE(e, std::string::npos);
  std::string messages = links[0].substr(e, links[0].find("&p=quillex") - e);
  EXPECT_EQ(messages.find(','), std::string::npos) << "one message only: " << messages;
}

TEST_F(HeadlessFixture, EmptyTargetIsNotCarriedOut) {
  Doc("a.docx");
  EXPECT_EQ(program.Run(Settings({"Source=a.docx", "PureConsole=True", "LogFile=" + log})), 2);
  EXPECT_FALSE(Exists(log));
  EXPECT_TRUE(program.Links().empty());
  EXPECT_EQ(program.Counter("C"), "");
}

TEST_F(HeadlessFixture, ProjectFileRunsLikeTheSwitch) {
  Doc("a.docx");
  std::string project = work / "job.batch-quillex";
  testsupport::WriteFile(project, "Source=" + in + "/*.doc?\r\nTarget=" + out +
                                      "\r\nPureConsole=True\r\nLogFile=" + log + "\r\n");
  EXPECT_EQ(program.Run(project), 0);
  EXPECT_EQ(ReadLines(log), std::vector<std::string>{"Success => " + in + "/a.docx => " + out + "/a.txt"});
}

TEST_F(HeadlessFixture, ConventionalOptionsConvertWhatTheSettingsSwitchConverts) {
  Doc("a.docx");
  Doc("sub/b.doc", "report.doc");
  Doc("broken.docx", "damaged.docx");
  // No shell between: the program itself reads "~/" as the home folder.
  int conventional = program.RunWith(
      {"--headless", "-r", "-j", "2", "-o", "~/out1", "--log", "~/out1/run.log", "~/in/*.doc?"},
      std::chrono::seconds(300), {"HOME=" + work.path()});
  int settings =
      program.Run(Settings({"Source=" + in + "/*.doc?", "Target=" + work / "out2", "Subdir=True",
                            "ThreadsCount=2", "PureConsole=True", "LogFile=" + work / "out2/run.log"}));
  EXPECT_EQ(conventional, 1);
  EXPECT_EQ(settings, 1);
  auto normalised = [&](const std::string& folder) {
    auto lines = ReadLines(work / folder + "/run.log");
    for (auto& line : lines) {
      auto at = line.find(work / folder);
      if (at != std::string::npos) line.replace(at, (work / folder).size(), "OUT");
      line = line.substr(0, line.find(" => ", line.find(" => ") + 4));  // failure messages may differ
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  EXPECT_EQ(normalised("out1").size(), 3u);
  EXPECT_EQ(normalised("out1"), normalised("out2"));
  EXPECT_TRUE(Exists(work / "out1/sub/b.txt"));
}

// Each run that cannot be carried out exits 2 with one line saying why, and touches nothing.
TEST_F(HeadlessFixture, RunsThatCannotBeCarriedOutSayWhy) {
  Doc("a.docx");
  std::string locked = work / "locked";
  std::filesystem::create_directories(locked);
  ::chmod(locked.c_str(), 0);
  const std::string fifo = work / "log.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Another user's link to a file of this one: as root, a link handed to the user nobody.
  const std::string foreignLink = work / "foreign.log", victim = work / "victim";
  std::filesystem::create_symlink(victim, foreignLink);
  const bool foreign = ::geteuid() == 0 && ::lchown(foreignLink.c_str(), 65534, 65534) == 0;
  struct Case {
    std::vector<std::string> settings;
    std::string why;
  } cases[] = {
      {{"Source=" + in + "/*.doc?", "Subdir=True", "RegExt=(/Archive/", "DeleteSource=True"},
       "RegExt pattern (/Archive/"},
      {{"Source=" + work / "missing/*.doc?"}, "source folder " + work / "missing/ does not exist"},
      {{"Source=" + in + "/a.docx/*.doc?"}, "is a file, not a folder"},
      {{"Source=" + in + "/b.docx"}, "source document " + in + "/b.docx does not exist"},
      {{"Source=" + locked + "/*.doc?"}, "cannot be read (Permission denied)"},
      {{"Source="}, "no source"},
      {{"Source=" + in + "/*.xyz", "LogFile=" + work / "no/such/run.log"},
       "log file " + work / "no/such/run.log"},
      // A log that could not take a single line, found before anything is converted or deleted.
      {{"Source=" + in + "/*.doc?", "DeleteSource=True", "LogFile=" + fifo}, "It is a FIFO that nobody reads"},
      {{"Source=" + in + "/*.doc?", "DeleteSource=True", "LogFile=/dev/full"}, "No space left on device"},
      {{"Source=" + in + "/*.doc?", "DeleteSource=True", "LogFile=" + foreignLink}, "belongs to another user"},
  };
  for (auto& c : cases) {
    if (c.why.find("Permission") != std::string::npos && ::geteuid() == 0) continue;  // root reads any folder
    if (c.why.find("another user") != std::string::npos && !foreign) continue;  // no link of another user here
    SCOPED_TRACE(c.why);
    c.settings.insert(c.settings.end(), {"Target=" + out, "PureConsole=True"});
    EXPECT_EQ(program.Run(Settings(c.settings)), 2);
    std::string said = program.Stderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(c.why), std::string::npos) << said;
    EXPECT_TRUE(Exists(in + "/a.docx"));
    EXPECT_TRUE(program.Links().empty());
    // The target folder is made before the log is opened (a log inside it is common).
    if (std::none_of(c.settings.begin(), c.settings.end(), [](const std::string& v) { return v.rfind("LogFile=", 0) == 0; })) {
      EXPECT_FALSE(Exists(out));
    }
    EXPECT_FALSE(Exists(out + "/a.txt"));
  }
  EXPECT_FALSE(Exists(victim));
  // The user's own link, and /dev/stdout, are followed.
  std::filesystem::create_symlink(work / "own.log", work / "mine.log");
  EXPECT_EQ(program.RunWith({"--headless", "--log", work / "mine.log", "-o", out, in + "/*.xyz"}), 0);
  EXPECT_TRUE(Exists(work / "own.log"));
}

TEST_F(HeadlessFixture, UnreadableSettingValuesAreNamedOnceWithTheirDefault) {
  std::filesystem::create_directories(in);
  EXPECT_EQ(program.Run(Settings({"Source=" + in + "/*.xyz", "Target=" + out, "PureConsole=True",
                                  "ThreadsCount=2x", "ConvertTimeout=4s", "Daemon=-1", "IsOverwrite=maybe",
                                  "Subdir=yes", "threadscount=3"})),
            0);
  EXPECT_EQ(program.Stderr(),
            "quillex: the setting IsOverwrite=maybe cannot be read; the default True is used\n"
            "quillex: the setting ThreadsCount=2x cannot be read; the default 1 is used\n"
            "quillex: the setting Daemon=-1 cannot be read; the default 0 is used\n"
            "quillex: the setting ConvertTimeout=4s cannot be read; the default 300000 is used\n"
            "quillex: no document matches " + in + "/*.xyz\n");
}

// An office that cannot start fails the run, not each document: one line naming the binary and
// what it did, status 2, no document counted. The office is replaced in a private mount
// namespace only: the installed one stays as it is.
TEST_F(HeadlessFixture, ABrokenOfficeEndsTheRunWithOneLine) {
  for (int i = 0; i < 12; ++i) Doc("d" + std::to_string(i) + (i % 2 ? ".docx" : ".doc"), i % 2 ? "welcome.docx" : "report.doc");
  const std::string unshare = ::geteuid() == 0 ? "unshare -m" : "unshare -rm";
  if (std::system((unshare + " true 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no private mount namespace here";
  struct Case {
    std::string office;  // the script standing in for soffice.bin
    std::string said;
    std::chrono::seconds bound;
  } cases[] = {
      {"exit 77", "soffice.bin ended during start-up (exit status 77)", std::chrono::seconds(60)},
      // Listens nowhere and never ends: the start limit, once per worker, not once per document.
      {"exec sleep 600", "soffice.bin did not accept a connection within", std::chrono::seconds(150)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.office);
    std::string fake = work / "soffice.bin";
    testsupport::WriteFile(fake, "#!/bin/sh\n" + c.office + "\n");
    ::chmod(fake.c_str(), 0755);
    std::filesystem::remove_all(out);
    int status = program.RunScript(unshare + " sh -c 'mount --bind " + fake +
                                       " /usr/lib/libreoffice/program/soffice.bin && exec \"$QX\" --headless -j2 "
                                       "--log " + log + " -o " + out + " " + in + "'",
                                   c.bound);
    EXPECT_EQ(status, 2);
    std::string said = program.Stderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.rfind("quillex: LibreOffice could not be started: /usr/lib/libreoffice/program/", 0), 0u) << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    EXPECT_EQ(said.find("ProgID"), std::string::npos) << said;
    EXPECT_TRUE(ReadLines(log).empty());
  }
}

// Bytes the office would only read as plain text (random data, an empty file, text named .doc)
// fail as what they are; RTF and HTML saved as .doc are documents. AnyFile keeps the office's
// own choice.
TEST_F(HeadlessFixture, FilesReadOnlyAsPlainTextAreNotDocumentsUnlessAnyFile) {
  std::string noise(20000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  testsupport::WriteFile(in + "/random.doc", noise);
  testsupport::WriteFile(in + "/empty.docx", "");
  testsupport::WriteFile(in + "/plain.doc", "hello\nworld\n");
  testsupport::WriteFile(in + "/rich.doc", "{\\rtf1 rich}");
  testsupport::WriteFile(in + "/page.doc", "<html><body><p>page</p></body></html>");
  Doc("real.docx");
  const std::string kRefusal =
      "\"message\":\"not a word-processor document (LibreOffice reads it as plain text)\",\"reason\":\"not-a-document\"";
  EXPECT_EQ(program.RunWith({"--headless", "--log-format", "json", "--log", log, "-o", out, in}), 1);
  std::set<std::string> refused;
  const std::string sourceKey = "\"source\":\"" + in + "/";
  for (const auto& line : ReadLines(log)) {
    if (line.find(kRefusal) == std::string::npos) continue;
    std::size_t at = line.find(sourceKey) + sourceKey.size();
    refused.insert(line.substr(at, line.find('"', at) - at));
  }
  EXPECT_EQ(refused, (std::set<std::string>{"random.doc", "empty.docx", "plain.doc"}));
  for (const char* text : {"rich.txt", "page.txt", "real.txt"}) EXPECT_TRUE(Exists(out + "/" + text)) << text;
  EXPECT_FALSE(Exists(out + "/random.txt"));
  EXPECT_EQ(program.RunWith({"--headless", "--any-file", "--overwrite", "yes", "-o", out, in}), 0);
  EXPECT_TRUE(Exists(out + "/random.txt"));
}

// The office's profile and pipe live in TMPDIR: a blank, "%" or "#" there must cost nothing.
TEST_F(HeadlessFixture, ATemporaryFolderWithBlanksPercentAndHashConverts) {
  Doc("a.docx");
  const std::string tmp = work / "t m%20p#1";
  std::filesystem::create_directories(tmp);
  EXPECT_EQ(program.RunWith({"--headless", "-o", out, in + "/a.docx"}, std::chrono::seconds(60), {"TMPDIR=" + tmp}), 0)
      << program.Stderr();
  EXPECT_TRUE(Exists(out + "/a.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "the run left files in " << tmp;
}

// An office that failed to start, or died with its program, leaves its accept pipe in /tmp; the
// next run removes such sockets of the program's own naming, but never one that is listened on.
TEST_F(HeadlessFixture, StalePipesOfEarlierRunsGoAndListenedOnesStay) {
  Doc("a.docx");
  auto bound = [](const std::string& path, bool listen) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    if (listen) {
      ::listen(fd, 1);
      return fd;
    }
    ::close(fd);
    return -1;
  };
  const std::string stem = "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_qx_lo_test" + std::to_string(::getpid());
  const std::string stale = stem + "_stale", live = stem + "_live";
  bound(stale, false);
  int listening = bound(live, true);
  EXPECT_EQ(program.RunWith({"--headless", "-o", out, in + "/a.docx"}), 0);
  EXPECT_FALSE(Exists(stale));
  EXPECT_TRUE(Exists(live));
  ::close(listening);
  std::filesystem::remove(live);
}

// A document named without -o: its text goes beside it, and the run says so once, since a text
// already there is replaced.
TEST_F(HeadlessFixture, ASourceWithoutATargetWritesBesideItAndSaysSo) {
  Doc("a.docx");
  EXPECT_EQ(program.RunWith({"--headless", in + "/a.docx"}), 0);
  EXPECT_TRUE(Exists(in + "/a.txt"));
  EXPECT_EQ(program.Stderr(), "quillex: no target folder was given (-o): the texts go beside their documents, in " +
                                  in + "/\n");
}

// Names are bytes: one holding CR LF must not forge a line of the text log, and an escape
// sequence must reach neither the log nor the terminal raw.
TEST_F(HeadlessFixture, ControlCharactersInNamesAreEscapedInTheTextLogAndOnStderr) {
  testsupport::WriteFile(in + "/x\r\nSuccess => ok.docx", "not a document");
  Doc("e\x1b[31m\xc2\x9b.docx");
  EXPECT_EQ(program.RunWith({"--headless", "--log", log, "-o", out, in + "/*"}), 1);
  auto lines = ReadLines(log);
  ASSERT_EQ(lines.size(), 2u);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines[0].rfind("Failure => " + in + "/x\\r\\nSuccess => ok.docx => ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "Success => " + in + "/e\\x1b[31m\\xc2\\x9b.docx => " + out + "/e\\x1b[31m\\xc2\\x9b.txt");
  const std::string said = program.Stderr();
  EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
  EXPECT_EQ(said.find('\r'), std::string::npos) << said;
  EXPECT_NE(said.find("x\\r\\nSuccess => ok.docx"), std::string::npos) << said;
}

// A root run over trees another user can write (here the user nobody owns the links): nothing
// outside the trees is read, written, deleted or renamed through them.
TEST_F(HeadlessFixture, ARootRunNeverActsThroughAnotherUsersLinks) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: it hands links to another user";
  namespace fs = std::filesystem;
  auto foreignLink = [](const std::string& target, const std::string& link) {
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0) << link;
  };
  const std::string secret = work / "secret.txt", behind = work / "behind", elsewhere = work / "elsewhere";
  testsupport::WriteFile(secret, "TOPSECRET");
  ::chmod(secret.c_str(), 0600);
  CopyFile(kSamples + "/report.doc", behind + "/kept.doc");
  fs::create_directories(elsewhere);
  testsupport::WriteFile(work / "victim.txt", "untouched");
  Doc("a.docx");
  Doc("sub/b.docx");
  foreignLink(secret, in + "/secret.doc");                 // a document that is a link to a root-only file
  foreignLink(behind, in + "/linked");                     // a linked folder, under -r and DeleteSource
  foreignLink(work / "victim.txt", out + "/a.txt");        // a text name that is a link
  foreignLink(elsewhere, out + "/sub");                    // a target sub-folder that is a link
  EXPECT_EQ(program.RunWith({"--headless", "-r", "--set", "DeleteSource=True", "--log-format", "json", "--log", log,
                             "-o", out, in}),
            1)
      << program.Stderr();
  EXPECT_EQ(testsupport::ReadFile(work / "victim.txt"), "untouched");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out + "/a.txt")));  // the link was replaced, not followed
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_TRUE(Exists(behind + "/kept.doc"));
  for (const auto& e : fs::recursive_directory_iterator(out))
    if (e.is_regular_file()) {
      EXPECT_EQ(testsupport::ReadFile(e.path()).find("TOPSECRET"), std::string::npos) << e.path();
    }
  const std::string log_ = testsupport::ReadFile(log);
  EXPECT_NE(log_.find("\"source\":\"" + in + "/secret.doc\",\"target\":null,\"message\":\"a link; links are not followed\",\"reason\":\"link\""),
            std::string::npos) << log_;
  EXPECT_NE(log_.find("\"source\":\"" + in + "/linked\""), std::string::npos) << log_;
  // sub/b.docx fails: its target folder is another user's link.
  EXPECT_NE(log_.find("\"source\":\"" + in + "/sub/b.docx\",\"target\":null"), std::string::npos) << log_;
  EXPECT_TRUE(Exists(in + "/sub/b.docx"));  // a failed document is never deleted
}

// A stop ends the run within seconds whatever it waits on: an input that never ends, a reader
// of the texts that never reads. An input longer than MaxDocumentSize fails instead of filling
// the disk.
TEST_F(HeadlessFixture, StopsEndTheRunWhateverItWaitsOnAndInputIsBounded) {
  // A text of about 600 KB: more than a pipe holds, so its writer waits for the reader.
  std::string rtf = "{\\rtf1\\ansi ";
  for (int i = 0; i < 12000; ++i) rtf += "Words that fill the pipe and then some more. \\par ";
  testsupport::WriteFile(in + "/long.doc", rtf + "}");
  struct Case {
    const char* name;
    std::string run;  // started in the background; $pid is then stopped
  } cases[] = {
      {"endless input", "sleep 600 | \"$QX\" -o - - >/dev/null & pid=$!; sleep 2"},
      {"stalled reader", "\"$QX\" --headless -o - " + in + "/long.doc | sleep 600 & pid=$(pgrep -n -f -- \"-o - " + in +
                             "/long.doc\"); sleep 8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string elapsed = work / "elapsed";
    const int status = program.RunScript(
        c.run + "; start=$(date +%s%N); kill -TERM $pid; while kill -0 $pid 2>/dev/null; do sleep 0.05; done; "
                "echo $(( ($(date +%s%N) - start) / 1000000 )) > " + elapsed + "; pkill -f 'sleep 600' -P $$; exit 0",
        std::chrono::seconds(90));
    EXPECT_EQ(status, 0);
    const long ms = std::stol("0" + testsupport::ReadFile(elapsed));
    EXPECT_LT(ms, 5000) << "the stop took " << ms << " ms";
  }
  program.ExpectNoOfficesLeft();
  // /dev/zero as a document: refused at MaxDocumentSize, status 2, nothing converted.
  EXPECT_EQ(program.RunScript("head -c 3000000 /dev/zero | \"$QX\" --max-size 1M -o - - > /dev/null"), 2);
  EXPECT_NE(program.Stderr().find("longer than 1048576 bytes"), std::string::npos) << program.Stderr();
}
