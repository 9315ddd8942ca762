// A watch's memory: each change once, no line for what says nothing new, and retries of the
// failures that may pass, with a backoff, on a clock of the test's own.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestEnv.h"
#include "app/WatchMemory.h"
#include "core/FailureReason.h"

using app::WatchMemory;
using std::chrono::seconds;

TEST(WatchMemory, EachChangeOnceAndRetriesOnlyWhatMayPass) {
  testsupport::TempDir dir;
  const std::string a = dir / "a.doc", b = dir / "b.doc";
  testsupport::WriteFile(a, "one");
  testsupport::WriteFile(b, "one");
  WatchMemory memory;
  const auto t0 = WatchMemory::Clock::now();

  ASSERT_TRUE(memory.Admit(a, t0));
  EXPECT_TRUE(memory.Settle(a, false, false, "", "", t0));
  EXPECT_FALSE(memory.Admit(a, t0)) << "a second report of the same change";
  testsupport::WriteFile(a, "two!");
  ASSERT_TRUE(memory.Admit(a, t0));
  EXPECT_FALSE(memory.Settle(a, false, true, "", "", t0)) << "left as it was: no line";

  // A full disk: tried again after a minute, then after two; a retry failing alike says nothing.
  ASSERT_TRUE(memory.Admit(b, t0));
  EXPECT_TRUE(memory.Settle(b, true, false, core::reason::kWrite, "No space left", t0));
  EXPECT_FALSE(memory.Admit(b, t0 + seconds(30)));
  EXPECT_TRUE(memory.DueRetries(t0 + seconds(59)).empty());
  const auto t1 = t0 + seconds(60);
  EXPECT_EQ(memory.DueRetries(t1), std::vector<std::string>{b});
  EXPECT_TRUE(memory.DueRetries(t1).empty()) << "handed out once";
  ASSERT_TRUE(memory.Admit(b, t1));
  EXPECT_FALSE(memory.Settle(b, true, false, core::reason::kWrite, "No space left", t1));
  EXPECT_TRUE(memory.DueRetries(t1 + seconds(119)).empty());
  EXPECT_EQ(memory.DueRetries(t1 + seconds(120)), std::vector<std::string>{b});
  ASSERT_TRUE(memory.Admit(b, t1 + seconds(120)));
  EXPECT_TRUE(memory.Settle(b, false, false, "", "", t1 + seconds(120))) << "the retry that worked is said";

  // A damaged document waits for its next change.
  testsupport::WriteFile(b, "damaged");
  ASSERT_TRUE(memory.Admit(b, t0));
  EXPECT_TRUE(memory.Settle(b, true, false, core::reason::kDamaged, "cannot be read", t0));
  EXPECT_TRUE(memory.DueRetries(t0 + seconds(7200)).empty());
  EXPECT_FALSE(memory.Admit(b, t0 + seconds(7200)));

  // What is gone is let go of: the memory holds the tree, not the history.
  ASSERT_EQ(memory.Remembered(), 2u);
  std::filesystem::remove(a);
  memory.ForgetGone();
  EXPECT_EQ(memory.Remembered(), 1u);
}
