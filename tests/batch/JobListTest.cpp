#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "BatchTestEnv.h"
#include "platform/FileSystem.h"

namespace batchtest {
namespace {

using batch::TcvBatch;
using batch::TcvNode;

TEST(NormalizePath, TurnsFileUrlsIntoPaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"file:///home/a/x.doc", "/home/a/x.doc"},
      {"file:/home/a/x.doc", "/home/a/x.doc"},
      {"file://server/share/x.doc", "//server/share/x.doc"},
      {"file://192.168.0.5/share/a.doc", "//192.168.0.5/share/a.doc"},
      {"file://localhost/home/a/x.doc", "/home/a/x.doc"},
      {"FILE:///home/a/x.doc", "/home/a/x.doc"},
      {"file:///", ""},
      {"file:", ""},
      {"/home/a/*.doc?", "/home/a/*.doc?"},
      {"http://srv/dir/a.doc", "http://srv/dir/a.doc"},
      {"", ""},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(TcvBatch::NormalizePath(path), expected) << path;
}

class JobList : public BatchTest {};

TEST_F(JobList, StartWithoutTargetFailsBeforeAnythingIsSetUp) {
  TcvBatch b;
  try {
    b.Start(dir / "in/*.doc", "", true);
    FAIL() << "no error";
  } catch (const platform::EFileError& e) {
    EXPECT_STREQ(e.what(), "Unable to create directory");
  }
  EXPECT_EQ(b.Mask(), "");
  EXPECT_EQ(b.SourceDir(), "");
  EXPECT_FALSE(b.Recursive());
  EXPECT_FALSE(b.Started());
}

TEST_F(JobList, StartNormalisesSplitsAndCreatesTheTarget) {
  TcvBatch b;
  b.Start("file://" + dir.path() + "/in/*.doc", "file://" + dir.path() + "/out/sub/", false);
  b.WaitFor();
  EXPECT_EQ(b.SourceDir(), dir.path() + "/in/");
  EXPECT_EQ(b.Mask(), "*.doc");
  EXPECT_EQ(b.TargetDir(), dir.path() + "/out/sub/");
  EXPECT_TRUE(platform::DirectoryExists(dir / "out/sub"));
  // A source folder that does not exist completes an empty list.
  EXPECT_TRUE(b.Done());
  EXPECT_EQ(b.Count(), 0);
}

TEST_F(JobList, HandGivenFileIsTheWholeList) {
  TcvBatch b;
  int notified = 0;
  b.SetOnNode([&](TcvBatch&, TcvNode& node) {
    ++notified;
    EXPECT_EQ(node.Index, 0);
  });
  b.AddLastFile("http://srv/dir/a.doc");
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(notified, 1);
  TcvNode* first = b.NextNode();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->FileName, "http://srv/dir/a.doc");
  EXPECT_EQ(first->Status.load(), batch::NodeRunning);
  EXPECT_FALSE(b.IsDrained());
  EXPECT_EQ(b.NextNode(), nullptr);
  EXPECT_TRUE(b.IsDrained());
}

TEST_F(JobList, HandGivenListCompletesEvenWhenItsReceiverThrows) {
  TcvBatch b;
  b.SetOnNode([](TcvBatch&, TcvNode&) { throw std::runtime_error("receiver failed"); });
  EXPECT_THROW(b.AddLastFile("/in/a.doc"), std::runtime_error);
  EXPECT_TRUE(b.Done());
  EXPECT_NE(b.NextNode(), nullptr);
  EXPECT_EQ(b.NextNode(), nullptr);
}

TEST_F(JobList, FailuresCountEachTimeButRecordEachTextOnce) {
  TcvBatch b;
  b.AddFailure("Cannot open file");
  b.AddFailure("CANNOT open FILE");
  b.AddFailure("Disk full");
  b.AddSuccess();
  EXPECT_EQ(b.FailedCount(), 3);
  EXPECT_EQ(b.SuccessCount(), 1);
  EXPECT_EQ(b.Errors(), (std::vector<std::string>{"Cannot open file", "Disk full"}));
}

TEST_F(JobList, NextNodeWaitsForAGrowingListAndEndsWhenItCompletes) {
  TcvBatch b;
  std::atomic<bool> returned{false};
  TcvNode* got = nullptr;
  std::thread worker([&] {
    got = b.NextNode();
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(returned.load());
  b.AddFile("/in/a.doc");
  worker.join();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->FileName, "/in/a.doc");

  std::thread waiter([&] { got = b.NextNode(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  b.AddLastFile("/in/b.doc");
  waiter.join();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Index, 1);
}

TEST_F(JobList, EntryAppendedJustAfterAWorkerFoundTheListEmptyIsStillHandedOut) {
  // The producer appends its last entry and completes the list between the worker's look at
  // the list and its decision to end: a worker that trusted that look would lose the entry.
  struct LateProducer : TcvBatch {
    int looks = 0;
    void ListFoundEmpty() override {
      if (++looks == 1) AddLastFile("/in/last.doc");
    }
  } b;
  TcvNode* node = b.NextNode();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->FileName, "/in/last.doc");
  EXPECT_EQ(b.NextNode(), nullptr);
}

TEST_F(JobList, EveryEntryIsHandedOutExactlyOnceInListOrder) {
  constexpr int kEntries = 3000;
  for (int round = 0; round < 5; ++round) {
    TcvBatch b;
    std::vector<std::vector<int>> taken(3);
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
      workers.emplace_back([&, w] {
        while (TcvNode* node = b.NextNode()) taken[w].push_back(node->Index);
      });
    // The list completes right after its last append: no entry may be lost on the way.
    for (int i = 0; i + 1 < kEntries; ++i) b.AddFile("/in/f" + std::to_string(i) + ".doc");
    b.AddLastFile("/in/last.doc");
    for (auto& t : workers) t.join();

    std::vector<int> all;
    for (const auto& list : taken) {
      EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
      all.insert(all.end(), list.begin(), list.end());
    }
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), static_cast<std::size_t>(kEntries));
    for (int i = 0; i < kEntries; ++i) ASSERT_EQ(all[i], i);
    EXPECT_TRUE(b.IsDrained());
    EXPECT_EQ(b.NextIndex(), kEntries);
  }
}

}  // namespace
}  // namespace batchtest
