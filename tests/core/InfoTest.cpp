// The information store, the links built from it and the failure report.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "TestEnv.h"
#include "core/Globals.h"
#include "core/cvFileUtils.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"

using core::TcvInfo;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const char kSite[] = "http://www.quillex.example.org";

struct InfoFixture : ::testing::Test {
  TempDir dir;
  std::string exe = dir / "quillex";
  core::TcvProject project{exe};
  void SetUp() override {
    project.Title = "Quillex Converter";
    project.Version = "2020.12.1118.2014";
    project.ShortName = "quillex";
    core::SetCvProject(&project);
  }
  void TearDown() override { core::SetCvProject(nullptr); }
  std::unique_ptr<TcvInfo> Make() { return std::make_unique<TcvInfo>(exe, kSite, "help@quillex.example.org"); }
};

}  // namespace

TEST_F(InfoFixture, StartsAreCountedAndTheStoreSurvives) {
  Make();
  auto info = Make();
  EXPECT_EQ(info->StoreValue("R"), "2");
  EXPECT_EQ(info->StoreValue("v"), "2");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "quillex.ext").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // private to the program's user
}

TEST_F(InfoFixture, UndecodableStoresCountAsAbsent) {
  const std::string bad[] = {"", "R=5", std::string("\xFF\xFE", 2), std::string(1001, '\x01'),
                             TcvInfo::EncodeStore({"S=3"}) /* no R */};
  for (const auto& bytes : bad) {
    WriteFile(dir / "quillex.ext", bytes);
    auto info = Make();
    EXPECT_EQ(info->StoreValue("R"), "1");
    EXPECT_EQ(info->StoreValue("S"), "");
  }
}

TEST_F(InfoFixture, UpdateCounterAddsStepsOrSetsValues) {
  auto info = Make();
  info->UpdateCounter("S", 0, 5);
  info->UpdateCounter("S", 0, 2);
  EXPECT_EQ(info->StoreValue("S"), "7");
  info->UpdateCounter("W", 7, 1);
  EXPECT_EQ(info->StoreValue("W"), "7");
  // An unchanged value does not write the store.
  platform::DeleteFile(info->StoreFileName());
  info->UpdateCounter("S", 7, 1);
  EXPECT_FALSE(testsupport::Exists(info->StoreFileName()));
  info->UpdateCounter("S", 0, 0);
  EXPECT_FALSE(testsupport::Exists(info->StoreFileName()));
}

// Shards of one job share one store: every program's counts must add up, however they interleave.
// Each thread stands for a process, with a store object and lock file handle of its own.
TEST_F(InfoFixture, CountsOfProgramsSharingTheStoreAddUp) {
  constexpr int kPrograms = 4, kRuns = 25;
  std::vector<std::thread> programs;
  for (int p = 0; p < kPrograms; ++p)
    programs.emplace_back([this] {
      auto info = Make();
      for (int i = 0; i < kRuns; ++i) info->UpdateCounter("S", 0, 1);
    });
  for (auto& t : programs) t.join();
  auto info = Make();
  EXPECT_EQ(info->StoreValue("S"), std::to_string(kPrograms * kRuns));
  EXPECT_EQ(info->StoreValue("R"), std::to_string(kPrograms + 1));
}

TEST_F(InfoFixture, LinkForms) {
  WriteFile(dir / "quillex.ext", TcvInfo::EncodeStore({"R=2", "E=1", "v=2", "C=5"}));
  auto info = Make();  // R becomes 3
  std::string i = "&i=" + std::to_string(info->InstallNumber());
  std::string pv = "p=quillex&v=2020.12.1118.2014&c=r3e1c5";
  EXPECT_EQ(info->BuildLink("", "", ""), std::string(kSite) + "?" + pv + i);
  EXPECT_EQ(info->BuildLink("download", "", ""), std::string(kSite) + "/en/quillex/download.htm?" + pv + i);
  EXPECT_EQ(info->BuildLink("", "ins", "123"), std::string(kSite) + "/net/?a=ins&" + pv + i + "&123");
  EXPECT_EQ(info->BuildLink("", "err&e=say \"hi\"", ""), std::string(kSite) + "/net/?a=err&e=say hi&" + pv + i);
  EXPECT_EQ(info->BuildLink("supports", "", ""),
            "mailto:help@quillex.example.org?subject=Support required for Quillex Converter 2020.12.1118.2014 - " +
                std::to_string(info->InstallNumber()));
  project.Title = "Q & A & B";
  EXPECT_NE(info->BuildLink("supports", "", "").find("for Q And A & B "), std::string::npos);
  EXPECT_EQ(info->BuildLink("h", "", ""), exe + ".pdf");
  WriteFile(exe + ".chm", "");
  EXPECT_EQ(info->BuildLink("h", "", ""), exe + ".chm");
}

TEST_F(InfoFixture, FailureReportListsEachMessageOnceAndEscapesQuestionMarks) {
  EXPECT_EQ(TcvInfo::CommaText({"plain", "has blank", "a,b", "say \"x\""}),
            "plain,\"has blank\",\"a,b\",\"say \"\"x\"\"\"");
  EXPECT_EQ(TcvInfo::FailureReportAction({"what?", "No file"}), "err&e=what%3F,\"No file\"");
  testsupport::RecordingOpener opener;
  auto info = Make();
  info->ReportFailures({"Cannot open?", "x"});
  auto calls = opener.WaitForCalls(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].rfind("1\t" + std::string(kSite) + "/net/?a=err&e=Cannot open%3F,x&p=quillex", 0), 0u) << calls[0];
}

TEST_F(InfoFixture, HandleExceptionCountsAndReports) {
  testsupport::RecordingOpener opener;
  auto info = Make();
  info->HandleException("Access violation");
  EXPECT_EQ(info->StoreValue("E"), "1");
  auto calls = opener.WaitForCalls(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].find("/net/?a=err&e=Access violation&p=quillex"), std::string::npos);
}

TEST(FileUtils, TextIsUtf16LeWithoutByteOrderMark) {
  TempDir dir;
  std::string f = dir / "sub/t.bin";
  core::TcvFileUtils::WriteFileText(f, u"ab", false);
  core::TcvFileUtils::WriteFileText(f, u"c", true);
  EXPECT_EQ(testsupport::ReadFile(f), std::string("a\0b\0c\0", 6));
  EXPECT_EQ(core::TcvFileUtils::ReadFileText(f), u"abc");
  core::TcvFileUtils::WriteFileText(f, u"", false);
  EXPECT_EQ(testsupport::ReadFile(f), "");
  EXPECT_EQ(core::TcvFileUtils::ReadFileText(dir / "none"), u"");
}
