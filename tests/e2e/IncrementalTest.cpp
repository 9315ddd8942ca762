// Converting only what changed, through the built program: a Newer rerun converts the edited and
// the new documents alone and starts no office when nothing changed; a watch converts what is
// written, moved, made or touched in the source tree once it is complete, each once, a SIGTERM
// ends it with status 0 and nothing of it left, and a restart goes on with its log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "ProgramUnderTest.h"
#include "platform/Process.h"

using e2e::CopyFile;
using e2e::ProgramUnderTest;
using testsupport::ReadFile;
using testsupport::WaitUntil;

namespace {

const std::string kSamples = QX_SAMPLES_DIR;
const std::string kWelcome = kSamples + "/welcome.docx";

struct Incremental : e2e::ProgramFixture {
  // The program started with args, standard error into work/stderr; the caller waits for it.
  std::unique_ptr<platform::Process> Start(std::vector<std::string> args) {
    platform::ProcessOptions o;
    o.argv = {"/bin/sh", "-c", "exec 2>\"$0\"; exec \"$@\"", work / "stderr", program.exe()};
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.extraEnvironment = {"TMPDIR=" + program.tmp()};
    o.removeEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
    return platform::Process::Start(o);
  }
  // The log's lines for source (below in/): successes, or with any outcome.
  int Lines(const std::string& source, bool anyOutcome = false) const {
    auto lines = e2e::ReadLines(log);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
      const std::string named = in + "/" + source + " => ";
      return line.rfind("Success => " + named, 0) == 0 ||
             (anyOutcome && line.rfind("Failure => " + named, 0) == 0);
    }));
  }
  std::vector<std::string> SortedLog() const {
    auto lines = e2e::ReadLines(log);
    std::sort(lines.begin(), lines.end());
    return lines;
  }
  std::string Converted(const std::string& source, const std::string& text) const {
    return "Success => " + in + "/" + source + " => " + out + "/" + text;
  }
};

TEST_F(Incremental, NewerRerunConvertsOnlyTheEditedAndNewDocumentsAndNoChangeStartsNoOffice) {
  CopyFile(kWelcome, in + "/a.docx");
  CopyFile(kSamples + "/report.doc", in + "/b.doc");
  CopyFile(kWelcome, in + "/sub/c.docx");
  const std::vector<std::string> args{"--headless", "-r", "--overwrite", "newer", "--log",
                                      log,          "-o", out,           in};
  ASSERT_EQ(program.RunWith(args), 0) << program.Stderr();
  ASSERT_EQ(e2e::ReadLines(log).size(), 3u);

  // Nothing changed: every document is done as Skip does it, and no office ever runs.
  auto rerun = Start(args);
  bool officeSeen = false;
  std::optional<platform::ProcessExit> exit;
  ASSERT_TRUE(WaitUntil(
      [&] {
        officeSeen = officeSeen || !program.Offices().empty();
        return (exit = rerun->WaitFor(std::chrono::milliseconds(0))).has_value();
      },
      std::chrono::seconds(60)));
  EXPECT_FALSE(officeSeen);
  EXPECT_EQ(exit->code, 0);
  for (const char* source : {"a.docx", "b.doc", "sub/c.docx"}) EXPECT_EQ(Lines(source), 1);
  EXPECT_EQ(SortedLog(),
            (std::vector<std::string>{"Success => " + in + "/a.docx => ", "Success => " + in + "/b.doc => ",
                                      "Success => " + in + "/sub/c.docx => "}));

  // One edited, one new: exactly those two are written.
  CopyFile(kSamples + "/report.doc", in + "/a.docx");
  CopyFile(kWelcome, in + "/d.docx");
  ASSERT_EQ(program.RunWith(args), 0) << program.Stderr();
  EXPECT_EQ(SortedLog(),
            (std::vector<std::string>{Converted("a.docx", "a.txt"), "Success => " + in + "/b.doc => ",
                                      Converted("d.docx", "d.txt"), "Success => " + in + "/sub/c.docx => "}));
  EXPECT_EQ(e2e::Utf16File(out + "/a.txt"), e2e::Utf16File(out + "/b.txt"));
}

TEST_F(Incremental, WatchConvertsEachCompleteDocumentOnceAndSigtermLeavesNothing) {
  CopyFile(kWelcome, in + "/x.docx");
  auto watch = Start({"--headless", "-r", "--watch", "--log", log, "-o", out, in});
  const auto bound = std::chrono::seconds(180);
  ASSERT_TRUE(WaitUntil([&] { return Lines("x.docx") == 1; }, bound)) << ReadFile(work / "stderr");

  // Copied slowly: half of it, a pause well past the quiet second, then the rest.
  const std::string whole = ReadFile(kWelcome);
  int fd = ::open((in + "/slow.docx").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, whole.data(), whole.size() / 2), static_cast<ssize_t>(whole.size() / 2));
  WaitUntil([] { return false; }, std::chrono::milliseconds(2500));
  EXPECT_EQ(Lines("slow.docx", true), 0) << "converted while it was being copied";
  const std::size_t rest = whole.size() - whole.size() / 2;
  ASSERT_EQ(::write(fd, whole.data() + whole.size() / 2, rest), static_cast<ssize_t>(rest));
  ::close(fd);

  CopyFile(kWelcome, work / "elsewhere.docx");
  std::filesystem::rename(work / "elsewhere.docx", in + "/moved.docx");
  CopyFile(kWelcome, in + "/new/deeper/c.docx");
  CopyFile(kSamples + "/report.doc", in + "/x.docx");  // edited in place
  ASSERT_TRUE(WaitUntil(
      [&] {
        return Lines("slow.docx") == 1 && Lines("moved.docx") == 1 && Lines("new/deeper/c.docx") == 1 &&
               Lines("x.docx") == 2;
      },
      bound))
      << ReadFile(log);
  // A document that comes after all of them: once its line is there, a second conversion of
  // any earlier one would have been too.
  CopyFile(kWelcome, in + "/last.docx");
  ASSERT_TRUE(WaitUntil([&] { return Lines("last.docx") == 1; }, bound));
  EXPECT_EQ(Lines("slow.docx", true), 1);
  EXPECT_EQ(Lines("x.docx", true), 2);
  EXPECT_EQ(Lines("moved.docx", true) + Lines("new/deeper/c.docx", true), 2);
  EXPECT_EQ(e2e::Utf16File(out + "/slow.txt"), e2e::Utf16File(out + "/last.txt"));
  EXPECT_NE(e2e::Utf16File(out + "/x.txt"), e2e::Utf16File(out + "/last.txt")) << "the edit is in the text";
  EXPECT_TRUE(testsupport::Exists(out + "/new/deeper/c.txt"));
  // A touch is a change, as under --overwrite newer.
  ASSERT_EQ(::utimensat(AT_FDCWD, (in + "/x.docx").c_str(), nullptr, 0), 0);
  EXPECT_TRUE(WaitUntil([&] { return Lines("x.docx") == 3; }, bound)) << ReadFile(log);

  ::kill(watch->Pid(), SIGTERM);
  auto exit = watch->WaitFor(std::chrono::seconds(10));
  ASSERT_TRUE(exit.has_value()) << "still running after SIGTERM";
  EXPECT_FALSE(exit->signaled);
  EXPECT_EQ(exit->code, 0) << ReadFile(work / "stderr");
  EXPECT_EQ(ReadFile(work / "stderr"), "");
  // No profile, socket or claim: the private TMPDIR is empty, and every text holds text.
  EXPECT_TRUE(std::filesystem::is_empty(program.tmp()));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
    if (entry.is_regular_file()) {
      EXPECT_GT(entry.file_size(), 0u) << entry.path();
    }

  // Restarted as a supervisor restarts it, under newer: the log goes on, and only the document
  // that came meanwhile writes a line, and the link moved in after it.
  const auto before = e2e::ReadLines(log);
  CopyFile(kWelcome, in + "/meanwhile.docx");
  watch = Start({"--headless", "-r", "--watch", "--overwrite", "newer", "--log", log, "-o", out, in});
  ASSERT_TRUE(WaitUntil([&] { return Lines("meanwhile.docx") == 1; }, bound)) << ReadFile(work / "stderr");
  // A link moved into the tree is an entry of its own, never a way out of it.
  CopyFile(kWelcome, work / "outside/secret.docx");
  std::filesystem::create_symlink(work / "outside/secret.docx", work / "link.docx");
  std::filesystem::rename(work / "link.docx", in + "/link.docx");
  EXPECT_TRUE(WaitUntil([&] { return Lines("link.docx", true) == 1; }, bound)) << ReadFile(log);
  EXPECT_EQ(Lines("link.docx"), 0) << ReadFile(log);
  EXPECT_FALSE(testsupport::Exists(out + "/link.txt"));
  ::kill(watch->Pid(), SIGTERM);
  ASSERT_TRUE(watch->WaitFor(std::chrono::seconds(10)).has_value());
  auto after = e2e::ReadLines(log);
  ASSERT_EQ(after.size(), before.size() + 2) << ReadFile(log);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
}

}  // namespace
