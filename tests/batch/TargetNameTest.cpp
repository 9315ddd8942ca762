#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "BatchTestEnv.h"
#include "batch/cvConvertor.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"

namespace batchtest {
namespace {

using batch::TcvBatch;
using batch::TcvConvertor;
using batch::TcvNode;

class TargetName : public BatchTest {
 protected:
  // A batch as the front ends leave it: source folder in/, target folder out/.
  TcvNode& Entry(TcvBatch& b, const std::string& fileName) {
    b.AddFile(fileName);
    const auto& list = b.LockList();
    if (list.empty()) {
      b.UnlockList();
      throw std::logic_error("the filter refused " + fileName);
    }
    TcvNode& node = *list.back();
    b.UnlockList();
    return node;
  }
  std::string in() const { return dir.path() + "/in/"; }
  std::string out() const { return dir.path() + "/out/"; }
};

TEST_F(TargetName, NamesFollowTheSettingsAndTheExistingFiles) {
  struct Case {
    const char* what;
    std::string source;
    bool started;  // false: a file given by hand to a batch that never searched
    const char* keepSubdirs;
    const char* isOverwrite;
    std::vector<std::string> existing;  // below out/
    std::string expected;               // below out/; empty: skipped
  } cases[] = {
      {"sub-folders kept", in() + "Sub/a.doc", true, "True", "", {}, "Sub/a.txt"},
      {"sub-folders dropped", in() + "Sub/a.doc", true, "False", "", {}, "a.txt"},
      {"web address", "http://srv/dir/a.doc", false, "", "", {}, "__srv_dir_a.txt"},
      {"web address in a searched batch", "http://srv/dir/a.doc", true, "", "", {}, "__srv_dir_a.txt"},
      {"new name beside", in() + "a.doc", true, "", "False", {"a.txt"}, "-quillex-a.txt"},
      {"new name taken too",
       in() + "a.doc",
       true,
       "",
       "False",
       {"a.txt", "-quillex-a.txt"},
       "-quillex-2-a.txt"},
      {"second new name taken too",
       in() + "a.doc",
       true,
       "",
       "False",
       {"a.txt", "-quillex-a.txt", "-quillex-2-a.txt"},
       "-quillex-3-a.txt"},
      {"skip", in() + "a.doc", true, "", "Skip", {"a.txt"}, ""},
      {"overwrite by default", in() + "a.doc", true, "", "", {"a.txt"}, "a.txt"},
      {"last dot only", in() + "a.b.doc", true, "", "", {}, "a.b.txt"},
      {"no extension", in() + "README", true, "", "", {}, "README.txt"},
      {"colon", in() + "10:30.doc", true, "", "", {}, "10_30.txt"},
      {"dot-dot cannot climb out", in() + "../../etc/x.doc", true, "", "", {}, "x.txt"},
      {"outside the source folder", "/elsewhere/y.doc", true, "", "", {}, "y.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    project->SetValue("KeepTargetSubdirs", c.keepSubdirs);
    project->SetValue("IsOverwrite", c.isOverwrite);
    TcvBatch b;
    if (c.started) b.Start(in() + "*", out(), false);
    b.WaitFor();
    b.SetTargetDir(out().substr(0, out().size() - 1));  // a missing final "/" is supplied
    platform::RemoveTree(out());
    for (const auto& e : c.existing) testsupport::WriteFile(out() + e, "old");
    TcvNode& node = Entry(b, c.source);
    TcvConvertor conv(&b, 1, nullptr);
    std::string target = conv.GetTargetFileName(b, node);
    if (c.expected.empty()) {
      EXPECT_EQ(target, "");
      EXPECT_EQ(node.Status.load(), batch::NodeSuccess);
      EXPECT_EQ(node.Message, "");
    } else {
      EXPECT_EQ(target, out() + c.expected);
      EXPECT_TRUE(platform::DirectoryExists(platform::ExtractFilePath(target)));
      // A claimed name is no text until something is written to it.
      if (std::find(c.existing.begin(), c.existing.end(), c.expected) == c.existing.end()) {
        EXPECT_FALSE(conv.TargetWritten(target));
      }
      testsupport::WriteFile(target, "text");
      EXPECT_TRUE(conv.TargetWritten(target));
      EXPECT_EQ(node.Status.load(), batch::NodeRunning);
    }
    EXPECT_EQ(b.SuccessCount() + b.FailedCount(), 0);
  }
}

TEST_F(TargetName, FolderThatCannotBeCreatedFailsTheEntry) {
  testsupport::WriteFile(out() + "blocker", "a file where a folder should be");
  TcvBatch b;
  b.SetTargetDir(out() + "blocker/");
  TcvNode& node = Entry(b, "/in/a.doc");
  TcvConvertor conv(&b, 1, nullptr);
  EXPECT_EQ(conv.GetTargetFileName(b, node), "");
  EXPECT_EQ(node.Status.load(), batch::NodeFailure);
  EXPECT_EQ(node.Message, "CreateDir Failed: " + out() + "blocker/");
  EXPECT_EQ(b.FailedCount(), 1);
  EXPECT_EQ(b.Errors(), std::vector<std::string>{"CreateDir Failed: " + out() + "blocker/"});
}

TEST_F(TargetName, SourceThatWouldBeItsOwnTargetFailsAndIsLeftAlone) {
  // A mask such as "*.*" over a folder that is also the target.
  testsupport::WriteFile(out() + "a.txt", "the source");
  project->SetValue("DeleteSource", "True");
  for (const char* policy : {"True", "False", "Skip"}) {
    SCOPED_TRACE(policy);
    project->SetValue("IsOverwrite", policy);
    TcvBatch b;
    b.SetTargetDir(out());
    TcvNode& node = Entry(b, out() + "a.txt");
    TcvConvertor conv(&b, 1, nullptr);
    EXPECT_EQ(conv.GetTargetFileName(b, node), "");
    EXPECT_EQ(node.Status.load(), batch::NodeFailure);
    EXPECT_NE(node.Message.find("source file itself"), std::string::npos);
    EXPECT_EQ(b.FailedCount(), 1);
    conv.FinishSource(b, node, out() + "a.txt");
    EXPECT_EQ(testsupport::ReadFile(out() + "a.txt"), "the source");
  }
}

TEST_F(TargetName, NoFreeNameLeftFailsTheEntryAndOverwritesNothing) {
  project->SetValue("IsOverwrite", "False");
  testsupport::WriteFile(out() + "a.txt", "old");
  testsupport::WriteFile(out() + "-quillex-a.txt", "older");
  TcvBatch b;
  b.SetTargetDir(out());
  TcvNode& node = Entry(b, in() + "a.doc");
  // Every further new name as settled by earlier entries of the run: no disk needed.
  b.LockList();
  for (int n = 2; n <= 10000; ++n) b.SettleTargetLocked(out() + "-quillex-" + std::to_string(n) + "-a.txt");
  b.UnlockList();
  TcvConvertor conv(&b, 1, nullptr);
  EXPECT_EQ(conv.GetTargetFileName(b, node), "");
  EXPECT_EQ(node.Status.load(), batch::NodeFailure);
  EXPECT_NE(node.Message.find("No free name"), std::string::npos);
  EXPECT_EQ(b.FailedCount(), 1);
  EXPECT_EQ(testsupport::ReadFile(out() + "-quillex-a.txt"), "older");
}

TEST_F(TargetName, FinishSourceAppliesTheSourceSettingsOnlyAfterASuccess) {
  struct Case {
    const char* keepFileTime;
    const char* deleteSource;
    const char* renameSource;
    bool targetWritten;
    bool succeeded;  // false: the conversion failed beside an older text of the same name
    bool sourceLeft, renamedLeft, timesCopied;
  } cases[] = {
      {"False", "False", "", true, true, true, false, false},
      {"True", "False", "", true, true, true, false, true},
      {"False", "True", "", true, true, false, false, false},
      {"False", "False", ".done", true, true, false, true, false},
      {"False", "True", ".done", true, true, false, false, false},
      {"True", "True", ".done", false, true, true, false, false},
      {"True", "True", "", true, false, true, false, false},
      {"False", "False", ".done", true, false, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.keepFileTime) + c.deleteSource + c.renameSource);
    platform::RemoveTree(in());
    platform::RemoveTree(out());
    const std::string source = in() + "a.doc", target = out() + "a.txt";
    testsupport::WriteFile(source, "doc");
    platform::FileTimes old{};
    old.access = {1000000000, 0};
    old.modification = {1100000000, 500};
    ASSERT_TRUE(platform::SetFileTimes(source, old));
    if (c.targetWritten) testsupport::WriteFile(target, "text");
    project->SetValue("KeepFileTime", c.keepFileTime);
    project->SetValue("DeleteSource", c.deleteSource);
    project->SetValue("RenameSource", c.renameSource);

    TcvBatch b;
    TcvNode& node = Entry(b, source);
    node.Status = c.succeeded ? batch::NodeSuccess : batch::NodeFailure;
    TcvConvertor conv(&b, 1, nullptr);
    conv.FinishSource(b, node, target);
    EXPECT_EQ(platform::FileExists(source), c.sourceLeft);
    EXPECT_EQ(platform::FileExists(source + ".done"), c.renamedLeft);
    platform::FileTimes now{};
    if (c.targetWritten) {
      ASSERT_TRUE(platform::GetFileTimes(target, now));
      EXPECT_EQ(now.modification.tv_sec == old.modification.tv_sec, c.timesCopied);
    }
  }
}

TEST_F(TargetName, RenameNeverReplacesAnExistingFile) {
  testsupport::WriteFile(in() + "a.doc", "doc");
  testsupport::WriteFile(in() + "a.doc.done", "older");
  testsupport::WriteFile(out() + "a.txt", "text");
  project->SetValue("RenameSource", ".done");
  TcvBatch b;
  TcvNode& node = Entry(b, in() + "a.doc");
  node.Status = batch::NodeSuccess;
  TcvConvertor(&b, 1, nullptr).FinishSource(b, node, out() + "a.txt");
  EXPECT_EQ(testsupport::ReadFile(in() + "a.doc.done"), "older");
  EXPECT_TRUE(platform::FileExists(in() + "a.doc"));
}

TEST_F(TargetName, CopyFileTimeGivesTheTargetTheSourceTimes) {
  testsupport::WriteFile(in() + "a.doc", "doc");
  testsupport::WriteFile(out() + "a.txt", "text");
  platform::FileTimes set{};
  set.access = {1234567890, 123456789};
  set.modification = {1300000000, 987654321};
  ASSERT_TRUE(platform::SetFileTimes(in() + "a.doc", set));
  EXPECT_TRUE(TcvConvertor::CopyFileTime(in() + "a.doc", out() + "a.txt"));
  platform::FileTimes got{};
  ASSERT_TRUE(platform::GetFileTimes(out() + "a.txt", got));
  EXPECT_EQ(got.access.tv_sec, set.access.tv_sec);
  EXPECT_EQ(got.access.tv_nsec, set.access.tv_nsec);
  EXPECT_EQ(got.modification.tv_sec, set.modification.tv_sec);
  EXPECT_EQ(got.modification.tv_nsec, set.modification.tv_nsec);
  EXPECT_FALSE(TcvConvertor::CopyFileTime(in() + "missing.doc", out() + "a.txt"));
}

}  // namespace
}  // namespace batchtest
