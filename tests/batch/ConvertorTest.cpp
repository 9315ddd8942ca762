#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "BatchTestEnv.h"
#include "ScriptedConvertor.h"
#include "batch/cvConvertor.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"

namespace batchtest {
namespace {

using batch::TcvBatch;
using batch::TcvConvertor;
using batch::TcvNode;
using testsupport::ConvertAction;
using testsupport::ConverterScript;

// Stands in for the window's event loop: runs handed-over calls on a thread of its own, one
// at a time, and blocks the caller until its call has run.
class TestMainThread : public platform::MainThreadDispatcher {
 public:
  TestMainThread() : thread_([this] { Loop(); }) { platform::SetMainThreadDispatcher(this); }
  ~TestMainThread() override {
    platform::SetMainThreadDispatcher(nullptr);
    {
      std::lock_guard<std::mutex> guard(lock_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  void RunAndWait(const std::function<void()>& call) override {
    std::unique_lock<std::mutex> guard(lock_);
    bool done = false;
    calls_.push_back([&] {
      call();
      std::lock_guard<std::mutex> g(lock_);
      done = true;
      changed_.notify_all();
    });
    changed_.notify_all();
    changed_.wait(guard, [&] { return done; });
  }
  std::thread::id id() const { return thread_.get_id(); }

 private:
  void Loop() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
      changed_.wait(guard, [&] { return quit_ || !calls_.empty(); });
      if (calls_.empty()) return;
      auto call = std::move(calls_.front());
      calls_.pop_front();
      guard.unlock();
      call();
      guard.lock();
    }
  }
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> calls_;
  bool quit_ = false;
  std::thread thread_;
};

class Chain : public BatchTest {
 protected:
  void SetUp() override {
    BatchTest::SetUp();
    script = std::make_shared<ConverterScript>();
    converterClass = std::make_unique<testsupport::ScopedScriptedConverterClass>(script);
  }
  void TearDown() override {
    converterClass.reset();  // waits until every member has freed itself
    BatchTest::TearDown();
  }

  // Runs a chain over b as the headless runner does and waits for its end.
  TcvConvertor* Run(TcvBatch& b, const batch::TcvNodeEvent& onNode = nullptr) {
    TcvConvertor* head = batch::CreateConvertors(&b, dir / "out/", onNode);
    batch::SetRunningWorkers(head->Count());
    head->Start();
    return head;
  }
  bool WaitForEnd() {
    return testsupport::WaitUntil([] { return batch::RunningWorkers() == 0; }, std::chrono::seconds(20));
  }
  void AddEntries(TcvBatch& b, int n, bool last) {
    for (int i = 0; i < n; ++i) {
      std::string name = dir / ("in/e" + std::to_string(b.Count()) + ".doc");
      if (last && i + 1 == n)
        b.AddLastFile(name);
      else
        b.AddFile(name);
    }
  }

  std::shared_ptr<ConverterScript> script;
  std::unique_ptr<testsupport::ScopedScriptedConverterClass> converterClass;
};

TEST_F(Chain, SizeFollowsThreadsCountAndEveryMemberIsOfTheProductsClass) {
  // A long chain must not need a stack frame per member.
  const std::pair<const char*, int> cases[] = {{"3", 3},    {"1", 1}, {"0", 1},          {"-2", 1},
                                               {"many", 1}, {"", 1},  {"100000", 100000}};
  for (const auto& [setting, expected] : cases) {
    SCOPED_TRACE(setting);
    project->SetValue("ThreadsCount", setting);
    TcvBatch b;
    std::unique_ptr<TcvConvertor> head(batch::CreateConvertors(&b, "file://" + dir.path() + "/t/", nullptr));
    EXPECT_EQ(b.TargetDir(), dir.path() + "/t/");
    EXPECT_EQ(head->Count(), expected);
    int members = 0;
    for (TcvConvertor* m = head.get(); m; m = m->Next(), ++members) {
      EXPECT_NE(dynamic_cast<testsupport::ScriptedConvertor*>(m), nullptr);
      EXPECT_EQ(m->Count(), expected - members);
    }
    EXPECT_EQ(members, expected);
  }
  // An unstarted chain is freed with its head.
  EXPECT_EQ(script->liveMembers.load(), 0);
}

TEST_F(Chain, ThreeWorkersConvertAGrowingListExactlyOnceAndReportTheirEnds) {
  project->SetValue("ThreadsCount", "3");
  TestMainThread mainThread;
  TcvBatch b;
  std::mutex lock;
  std::map<int, int> reported;
  std::vector<int> runningAtFinish, releasedAtFinish;
  std::vector<std::thread::id> finishThreads;

  TcvConvertor* head = batch::CreateConvertors(&b, dir / "out/", [&](TcvBatch&, TcvNode& node) {
    std::lock_guard<std::mutex> guard(lock);
    ++reported[node.Index];
  });
  batch::SetRunningWorkers(head->Count());
  head->SetOnFinish([&] {
    std::lock_guard<std::mutex> guard(lock);
    runningAtFinish.push_back(batch::RunningWorkers());
    releasedAtFinish.push_back(script->releasedResources.load());
    finishThreads.push_back(std::this_thread::get_id());
  });
  head->Start();
  AddEntries(b, 20, false);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  AddEntries(b, 20, true);
  ASSERT_TRUE(WaitForEnd());

  EXPECT_EQ(b.SuccessCount(), 40);
  EXPECT_EQ(b.FailedCount(), 0);
  auto converted = script->Converted();
  EXPECT_EQ(converted.size(), 40u);
  std::sort(converted.begin(), converted.end());
  EXPECT_EQ(std::unique(converted.begin(), converted.end()), converted.end());
  for (const auto& node : b.LockList()) {
    EXPECT_EQ(node->Status.load(), batch::NodeSuccess);
    EXPECT_EQ(node->Message, dir / ("out/e" + std::to_string(node->Index) + ".txt"));
  }
  b.UnlockList();
  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(reported.size(), 40u);
  for (const auto& [index, times] : reported) EXPECT_EQ(times, 1) << index;
  // Each worker released its resources before its OnFinish, which ran on the main thread
  // before that worker lowered the count.
  ASSERT_EQ(runningAtFinish.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_GE(runningAtFinish[k], 3 - static_cast<int>(k));
    EXPECT_GE(releasedAtFinish[k], static_cast<int>(k) + 1);
    EXPECT_EQ(finishThreads[k], mainThread.id());
  }
}

TEST_F(Chain, StopLosesNoEntryAndANewChainGoesOnFromTheFirstNotTaken) {
  project->SetValue("ThreadsCount", "2");
  script->On("e0.doc", ConvertAction::Block);
  script->On("e1.doc", ConvertAction::Block);
  TcvBatch b;
  AddEntries(b, 6, true);
  TcvConvertor* head = Run(b);
  ASSERT_TRUE(script->WaitBlocked(2));
  head->Stop();
  script->Release();
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(b.NextIndex(), 2);
  EXPECT_EQ(b.SuccessCount(), 2);
  EXPECT_FALSE(b.IsDrained());

  Run(b);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(b.SuccessCount(), 6);
  EXPECT_TRUE(b.IsDrained());
  auto converted = script->Converted();
  ASSERT_EQ(converted.size(), 6u);
  std::sort(converted.begin() + 2, converted.end());
  for (int i = 2; i < 6; ++i) EXPECT_EQ(converted[i], dir / ("in/e" + std::to_string(i) + ".doc"));
}

TEST_F(Chain, EveryEntryIsSettledWhateverItsConversionDoes) {
  // One worker, so the order in which messages are first seen is fixed.
  script->On("e1.doc", ConvertAction::Fail, "Cannot open");
  script->On("e2.doc", ConvertAction::Throw, "Server vanished");
  script->On("e3.doc", ConvertAction::Throw, "SERVER VANISHED");
  TcvBatch b;
  AddEntries(b, 5, true);
  std::mutex lock;
  std::vector<int> reported;
  Run(b, [&](TcvBatch&, TcvNode& node) {
    std::lock_guard<std::mutex> guard(lock);
    reported.push_back(node.Index);
  });
  ASSERT_TRUE(WaitForEnd());
  const int expected[] = {batch::NodeSuccess, batch::NodeFailure, batch::NodeFailure, batch::NodeFailure,
                          batch::NodeSuccess};
  const auto& list = b.LockList();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list[i]->Status.load(), expected[i]) << i;
  EXPECT_EQ(list[2]->Message, "Server vanished");
  b.UnlockList();
  EXPECT_EQ(b.SuccessCount(), 2);
  EXPECT_EQ(b.FailedCount(), 3);
  EXPECT_EQ(b.Errors(), (std::vector<std::string>{"Cannot open", "Server vanished"}));
  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(reported.size(), 5u);
}

TEST_F(Chain, EntriesOfOneRunNeverShareATargetWhateverTheWorkerCount) {
  // x.doc in four folders, flattened into one target folder, beside a text from an earlier
  // run that is newer than the second x.doc; the last one fails.
  project->SetValue("KeepTargetSubdirs", "False");
  script->On("s3/", ConvertAction::Fail);
  struct Case {
    const char* policy;
    std::vector<std::string> targets;  // per entry; empty: skipped or failed
  } cases[] = {
      {"True", {"x.txt", "-quillex-x.txt", "-quillex-2-x.txt", ""}},
      {"False", {"x.txt", "-quillex-2-x.txt", "-quillex-3-x.txt", ""}},
      {"Skip", {"x.txt", "", "", ""}},
      // The current text stays the second's: the third does not write over it.
      {"Newer", {"x.txt", "", "-quillex-2-x.txt", ""}},
  };
  testsupport::WriteFile(dir / "in/s1/x.doc", "older than any text");
  platform::FileTimes old;
  old.access = old.modification = {946684800, 0};
  ASSERT_TRUE(platform::SetFileTimes(dir / "in/s1/x.doc", old));
  for (const auto& c : cases)
    for (const char* threads : {"1", "3"}) {
      SCOPED_TRACE(std::string(c.policy) + " with " + threads + " workers");
      project->SetValue("IsOverwrite", c.policy);
      project->SetValue("ThreadsCount", threads);
      platform::RemoveTree(dir / "out");
      testsupport::WriteFile(dir / "out/-quillex-x.txt", "old");
      TcvBatch b;
      for (int i = 0; i < 4; ++i) b.AddFile(dir / ("in/s" + std::to_string(i) + "/x.doc"));
      b.AddLastFile(dir / "in/none.doc");  // a fifth entry, so a worker waits on the list
      Run(b);
      ASSERT_TRUE(WaitForEnd());
      std::set<std::string> written;
      const auto& list = b.LockList();
      for (int i = 0; i < 4; ++i) {
        std::string expected = c.targets[i].empty() ? "" : dir / ("out/" + c.targets[i]);
        EXPECT_EQ(list[i]->Status.load() == batch::NodeSuccess ? list[i]->Message : "", expected) << i;
        if (!expected.empty()) {
          EXPECT_EQ(testsupport::ReadFile(expected), "text of " + list[i]->FileName);
          written.insert(platform::ExtractFileName(expected));
        }
      }
      b.UnlockList();
      written.insert("none.txt");
      if (written.insert("-quillex-x.txt").second) {
        EXPECT_EQ(testsupport::ReadFile(dir / "out/-quillex-x.txt"), "old");
      }
      // No claim of the failed entry is left behind as an empty text.
      std::set<std::string> present;
      for (const auto& entry : std::filesystem::directory_iterator(dir / "out"))
        present.insert(entry.path().filename().string());
      EXPECT_EQ(present, written);
    }
}

TEST_F(Chain, SkippedEntryIsASuccessWithoutCountersAndStillReported) {
  project->SetValue("IsOverwrite", "skip");
  testsupport::WriteFile(dir / "out/e0.txt", "old");
  TcvBatch b;
  AddEntries(b, 1, true);
  int reported = 0;
  Run(b, [&](TcvBatch&, TcvNode&) { ++reported; });
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(b.SuccessCount() + b.FailedCount(), 0);
  EXPECT_EQ(testsupport::ReadFile(dir / "out/e0.txt"), "old");
}

}  // namespace
// DeleteSource acts only once the entry's record is written (its OnNode returned), and not at
// all once the run was stopped because a record could not be written.
TEST_F(Chain, ASourceIsDeletedOnlyAfterItsRecordAndNeverOnceTheRunStopped) {
  project->SetValue("DeleteSource", "True");
  TcvBatch b;
  for (int i = 0; i < 3; ++i) testsupport::WriteFile(dir / ("in/e" + std::to_string(i) + ".doc"), "doc");
  AddEntries(b, 3, true);
  std::vector<bool> sourceThereWhenReported;
  Run(b, [&](TcvBatch& batch, TcvNode& node) {
    sourceThereWhenReported.push_back(testsupport::Exists(node.FileName));
    if (node.Index == 1) batch.StopRun("the log file cannot be written");
  });
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(sourceThereWhenReported, (std::vector<bool>{true, true}));
  EXPECT_FALSE(testsupport::Exists(dir / "in/e0.doc"));
  EXPECT_TRUE(testsupport::Exists(dir / "in/e1.doc"));  // its record failed
  EXPECT_TRUE(testsupport::Exists(dir / "in/e2.doc"));  // never taken
  EXPECT_EQ(b.RunFault(), "the log file cannot be written");
}

}  // namespace batchtest
