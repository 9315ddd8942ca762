// The converter against scripted word-processor servers: creation fallbacks, settings applied
// once, every failure row, a vanished or hung server, the page-break pass and the text formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ScriptedWord.h"
#include "TestEnv.h"
#include "automation/ServerRegistry.h"
#include "batch/cvBatch.h"
#include "convert/PageBreaks.h"
#include "convert/cvQUILLEX.h"
#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/TextEncoding.h"

using automation::Variant;
using convert::TcvQUILLEX;
using convert::TcvWordOle;
using testsupport::TempDir;

namespace {

struct ConvertFixture : ::testing::Test {
  TempDir dir;
  std::shared_ptr<scripted::Script> script = std::make_shared<scripted::Script>();
  std::unique_ptr<core::TcvProject> project;
  std::unique_ptr<core::TcvInfo> info;
  batch::TcvBatch jobs;
  std::unique_ptr<TcvQUILLEX> worker;

  void SetUp() override {
    project = std::make_unique<core::TcvProject>(dir / "quillex");
    project->TargetExt = ".txt";
    project->ShortName = "quillex";
    core::SetCvProject(project.get());
    info = std::make_unique<core::TcvInfo>(dir / "quillex", "http://x.example", "m@x.example");
    core::SetCvInfo(info.get());
    Register("Word.Application");
    automation::UnregisterServer("WPS.Application");
    jobs.SetTargetDir(dir / "out/");
    worker = std::make_unique<TcvQUILLEX>(&jobs, 1, nullptr);
  }
  void TearDown() override {
    worker.reset();
    automation::UnregisterServer("Word.Application");
    automation::UnregisterServer("WPS.Application");
    core::SetCvInfo(nullptr);
    core::SetCvProject(nullptr);
  }
  void Register(const std::string& progId) {
    auto s = script;
    automation::RegisterServer(progId, [s] { return scripted::NewApplication(s); });
  }
  // Adds a source document and converts it; returns its entry.
  batch::TcvNode& Convert(const std::string& name) {
    std::string path = dir / ("in/" + name);
    if (!testsupport::Exists(path) && name.find("://") == std::string::npos) testsupport::WriteFile(path, "doc");
    jobs.AddFile(path.find("://") == std::string::npos ? path : name);
    batch::TcvNode* node = nullptr;
    for (auto& n : jobs.LockList()) node = n.get();
    jobs.UnlockList();
    worker->Convert(jobs, *node);
    return *node;
  }
};

}  // namespace

TEST_F(ConvertFixture, DefaultsGiveUnicodeTextAndRecordTheVersion) {
  auto& node = Convert("a.doc");
  EXPECT_EQ(node.Status, 1) << node.Message;
  EXPECT_EQ(node.Message, dir / "out/a.txt");
  EXPECT_EQ(testsupport::ReadFile(dir / "out/a.txt").substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(script->Count("Doc.SaveAs(" + dir / "out/a.txt" + ",7,missing"), 1);
  EXPECT_EQ(script->Count("App.DisplayAlerts(0)"), 1);
  EXPECT_EQ(script->Count("App.Visible"), 0);
  EXPECT_EQ(script->Count("Doc.Close(False)"), 1);
  EXPECT_EQ(info->StoreValue("W"), "16");
  EXPECT_EQ(jobs.SuccessCount(), 1);
  // A second entry is served by the same server, configured once.
  EXPECT_EQ(Convert("b.docx").Status, 1);
  EXPECT_EQ(script->created, 1);
  EXPECT_EQ(script->Count("App.DisplayAlerts"), 1);
  worker.reset();
  EXPECT_EQ(script->quits, 1);
}

TEST_F(ConvertFixture, CreationFallsBackToTheSecondServer) {
  automation::UnregisterServer("Word.Application");
  Register("WPS.Application");
  EXPECT_EQ(Convert("a.doc").Status, 1);
  EXPECT_EQ(script->created, 1);
}

TEST_F(ConvertFixture, AStartThatFailsBeforeAnySuccessGivesUpTheRun) {
  script->startFailures = 100;
  auto& first = Convert("a.doc");
  // No document is to blame: the entry keeps no outcome, and nothing counts as failed.
  EXPECT_EQ(first.Status, 0);
  EXPECT_EQ(jobs.FailedCount(), 0);
  EXPECT_EQ(jobs.RunFault(), "The office ended during start-up; the run was given up before converting anything");
  EXPECT_EQ(Convert("b.doc").Status, 0);
  EXPECT_EQ(script->starts, 2);  // tried once more, then never again in this run
}

TEST_F(ConvertFixture, AfterASuccessAFailedStartFailsOnlyItsEntryWithItsCauseFirst) {
  script->startFailures = 1;
  EXPECT_EQ(Convert("a.doc").Status, 1);
  EXPECT_EQ(script->starts, 2);
  worker = std::make_unique<TcvQUILLEX>(&jobs, 1, nullptr);
  script->startFailures = 100;
  auto& alone = Convert("b.doc");  // no fallback server: its "Invalid class string" says nothing
  EXPECT_EQ(alone.Status, 2);
  EXPECT_EQ(alone.Message, "The office ended during start-up");
  EXPECT_EQ(alone.Reason, "office");
  Register("WPS.Application");
  auto& both = Convert("c.doc");
  EXPECT_EQ(both.Message, "The office ended during start-up; The office ended during start-up");
  EXPECT_EQ(script->starts, 2 + 2 + 3);
  EXPECT_TRUE(jobs.RunFault().empty());
}

TEST_F(ConvertFixture, FailureRows) {
  struct Case {
    const char* name;
    std::function<void(scripted::Script&, core::TcvProject&)> arrange;
    std::string message;
  } cases[] = {
      {"open", [](auto& s, auto&) { s.openError = "Cannot open."; }, "Cannot open"},
      {"save", [](auto& s, auto&) { s.saveError = "Disk full. "; }, "Disk full"},
      {"visible", [](auto& s, auto& p) { s.visibleFails = true; p.SetValue("AppVisible", "True"); }, "Visible refused"},
  };
  for (auto& c : cases) {
    script = std::make_shared<scripted::Script>();
    Register("Word.Application");
    project->SetSettingsText("");
    worker = std::make_unique<TcvQUILLEX>(&jobs, 1, nullptr);
    c.arrange(*script, *project);
    auto& node = Convert(std::string(c.name) + ".doc");
    EXPECT_EQ(node.Status, 2) << c.name;
    EXPECT_EQ(node.Message, c.message) << c.name;
    int opened = script->Count("Documents.Open") - (script->openError.empty() ? 0 : 1);
    EXPECT_EQ(script->Count("Doc.Close"), opened) << "no document left open: " << c.name;
  }
  // After a refused Visible the server stays: the next entry does not set it again.
  script->visibleFails = false;
  EXPECT_EQ(Convert("next.doc").Status, 1);
  EXPECT_EQ(script->created, 1);
  EXPECT_EQ(script->Count("App.Visible"), 1);
  EXPECT_EQ(jobs.Errors().size(), 3u);
}

TEST_F(ConvertFixture, VanishedServerIsReplacedAtTheNextEntry) {
  script->vanishAtSave = 0;
  auto& lost = Convert("a.doc");
  EXPECT_EQ(lost.Status, 2);
  EXPECT_EQ(Convert("b.doc").Status, 1);
  EXPECT_EQ(Convert("c.doc").Status, 1);
  EXPECT_EQ(script->created, 2);
}

TEST_F(ConvertFixture, TimeLimitKillsTheServerAndTheRunGoesOn) {
  project->SetValue("ConvertTimeout", "200");
  script->hangAtSave = true;
  auto start = std::chrono::steady_clock::now();
  auto& hung = Convert("slow.doc");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(hung.Status, 2);
  EXPECT_NE(hung.Message.find("time limit of 200 ms"), std::string::npos) << hung.Message;
  EXPECT_GE(script->aborts, 1);
  script->hangAtSave = false;
  EXPECT_EQ(Convert("fast.doc").Status, 1);
  EXPECT_EQ(script->created, 2);
}

TEST_F(ConvertFixture, TimeLimitCountsOnlyTheConversion) {
  project->SetValue("ConvertTimeout", "0");  // no limit at all
  script->saveDelayMs = 400;
  auto& slow = Convert("slow.doc");
  EXPECT_EQ(slow.Status, 1) << slow.Message;
  // A new office slower to start than the limit does not fail its first entry.
  project->SetValue("ConvertTimeout", "500");
  script->saveDelayMs = 0;
  script->startDelayMs = 800;
  worker = std::make_unique<TcvQUILLEX>(&jobs, 1, nullptr);
  auto& fresh = Convert("fresh.doc");
  EXPECT_EQ(fresh.Status, 1) << fresh.Message;
  EXPECT_EQ(script->aborts, 0);
  EXPECT_EQ(script->created, 2);
}

TEST_F(ConvertFixture, SourcesWithoutAFileFailUnlessTheyAreAddresses) {
  auto& missing = Convert("gone.doc");
  std::remove((dir / "in/gone.doc").c_str());
  jobs.AddFile(dir / "in/vanished.doc");  // listed, then gone before its conversion
  batch::TcvNode* node = nullptr;
  for (auto& n : jobs.LockList()) node = n.get();
  jobs.UnlockList();
  worker->Convert(jobs, *node);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(node->Status, 2);
  EXPECT_EQ(node->Message, "The source file does not exist");
  EXPECT_EQ(script->Count("Documents.Add"), 0);  // never a blank document saved as a success
  auto& web = Convert("http://srv/dir/a.doc");
  EXPECT_EQ(web.Status, 1) << web.Message;
  EXPECT_EQ(script->Count("Documents.Open(http://srv/dir/a.doc,missing,False)"), 1);
}

TEST_F(ConvertFixture, ReadOnlyAndDummyPassword) {
  project->SetValue("ReadOnly", "True");
  Convert("a.doc");
  project->SetValue("SkipPassword", "1");
  Convert("b.doc");
  EXPECT_EQ(script->openArgCounts, (std::vector<int>{3, 4}));
  // The server opens private copies under the documents' own names, never the sources, but as
  // the sources: their relative links lead beside them.
  auto opened = [&](const std::string& name, const std::string& rest) {
    const std::string tail = "/" + name + "," + (dir / "in/") + name + rest;
    return std::count_if(script->calls.begin(), script->calls.end(), [&](const std::string& c) {
      if (c.rfind("Documents.OpenCopy(", 0) != 0 || c.size() < tail.size() ||
          c.compare(c.size() - tail.size(), tail.size(), tail) != 0)
        return false;
      return c.substr(0, c.size() - tail.size()).find(dir / "in/") == std::string::npos;
    });
  };
  EXPECT_EQ(opened("a.doc", ",True)"), 1);
  EXPECT_EQ(opened("b.doc", ",True,12)"), 1);
}

TEST_F(ConvertFixture, PageBreaksTypeMarkersAndBecomeFormFeeds) {
  project->SetValue("PageBreaks", "True");
  script->pages = 3;
  auto& three = Convert("three.doc");
  ASSERT_EQ(three.Status, 1);
  EXPECT_EQ(script->Count("Selection.HomeKey(6)"), 1);
  EXPECT_EQ(script->Count("Selection.GotoNext(1)"), 2);
  EXPECT_EQ(script->typed, (std::vector<std::string>{"\x07\x07\x07", "\x07\x07\x07"}));
  std::string text = platform::Utf16ToUtf8(platform::LeBytesToUtf16(testsupport::ReadFile(dir / "out/three.txt").substr(2)));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2) << text;
  EXPECT_EQ(text.find("\r\r\r"), std::string::npos);

  script->pages = 1;
  project->SetValue("Ansi", "True");
  auto& one = Convert("one.doc");
  EXPECT_EQ(one.Status, 1);
  EXPECT_EQ(script->typed.size(), 2u);  // nothing typed on a single page
  EXPECT_EQ(testsupport::ReadFile(dir / "out/one.txt"), "Some text\r\n");
  EXPECT_EQ(script->Count("Doc.SaveAs(" + dir / "out/one.txt" + ",2,"), 1);
}

TEST_F(ConvertFixture, SkippedTargetTouchesNoServer) {
  project->SetValue("IsOverwrite", "skip");
  testsupport::WriteFile(dir / "out/a.txt", "kept");
  auto& node = Convert("a.doc");
  EXPECT_EQ(node.Status, 1);
  EXPECT_EQ(node.Message, "");
  EXPECT_EQ(script->created, 0);
}

TEST_F(ConvertFixture, MacrosAndProgramFileOfTheServer) {
  Convert("a.doc");
  EXPECT_EQ(worker->GetAppFileName(), "/opt/word/WINWORD.EXE");
}

TEST(ParseVersion, Table) {
  struct Case {
    Variant value;
    int want;
  } cases[] = {{Variant("16.0"), 16}, {Variant(16.0), 16}, {Variant("160"), 16}, {Variant("11.1.0.1"), 0},
               {Variant(int32_t(70)), 70}, {Variant("7.4"), 7}, {Variant("abc"), 0}, {Variant(int32_t(78)), 7}};
  for (const auto& c : cases) EXPECT_EQ(TcvWordOle::ParseVersion(c.value), c.want) << c.value.AsString();
}

TEST(PageMarks, RewriteWorksOnWholeUnitsWithoutOverlap) {
  auto u16 = [](const std::u16string& s) { return platform::Utf16ToLeBytes(s); };
  EXPECT_EQ(convert::ReplacePageMarksUtf16(u16(u"\xFEFF" u"a\r\r\rb\r\r\r\r\r\rc")), u16(u"\xFEFF" u"a\fb\f\fc"));
  EXPECT_EQ(convert::ReplacePageMarksUtf16(u16(u"a\r\r\nb")), u16(u"a\r\r\nb"));
  // CR bytes that straddle two code units are not a mark.
  std::string odd = std::string("\x0d\x0d\x0d\x0d\x0d\x0d\x00", 7);
  EXPECT_EQ(convert::ReplacePageMarksUtf16(odd), odd);
  EXPECT_EQ(convert::ReplacePageMarksBytes("x\r\r\r\r\r\r\r\ny"), "x\f\f\r\ny");
  EXPECT_EQ(convert::ReplacePageMarksBytes(""), "");
  // A mark that ends the text (an empty last page) is a page break too.
  EXPECT_EQ(convert::ReplacePageMarksUtf16(u16(u"\xFEFF" u"a\r\r\r")), u16(u"\xFEFF" u"a\f"));
  EXPECT_EQ(convert::ReplacePageMarksUtf16(u16(u"\r\r\r")), u16(u"\f"));
  EXPECT_EQ(convert::ReplacePageMarksBytes("a\r\r\r"), "a\f");
}
