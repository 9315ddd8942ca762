// Shard=K/N: which documents a run lists, and that N runs share a tree out exactly and evenly.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>

#include "BatchTestEnv.h"

namespace batchtest {
namespace {

class Shards : public BatchTest {
 protected:
  // The names a recursive run over folder lists under the Shard value, relative to folder.
  std::vector<std::string> List(const std::string& folder, const std::string& shard) {
    project->SetValue("Shard", shard);
    batch::TcvBatch b;
    b.Start(folder + "/*.doc?", dir / "out", true);
    b.WaitFor();
    std::vector<std::string> names;
    for (auto& n : Names(b)) names.push_back(n.substr(folder.size() + 1));
    return names;
  }

  // Runs shards 1..n over folder; every document must come exactly once, and each shard within
  // 30% of the mean. Returns the shards' sizes.
  std::vector<std::size_t> Partition(const std::string& folder, int n, const std::string& otherMount = "") {
    auto all = List(folder, "");
    std::map<std::string, int> seen;
    std::vector<std::size_t> sizes;
    for (int k = 1; k <= n; ++k) {
      std::string shard = std::to_string(k) + "/" + std::to_string(n);
      auto names = List(folder, shard);
      if (!otherMount.empty()) {
        EXPECT_EQ(List(otherMount, shard), names) << "mounted elsewhere, " << shard;
      }
      for (auto& name : names) ++seen[name];
      sizes.push_back(names.size());
    }
    EXPECT_EQ(seen.size(), all.size());
    for (auto& [name, times] : seen) EXPECT_EQ(times, 1) << name;
    double mean = static_cast<double>(all.size()) / n;
    for (std::size_t size : sizes) EXPECT_NEAR(static_cast<double>(size), mean, 0.3 * mean) << n << " shards";
    return sizes;
  }
};

// Shards computed by different versions of the program must agree, so the hash is pinned.
TEST(ShardOf, IsFnv1a64WithMurmurFinalisingOfTheKeyBytes) {
  EXPECT_EQ(batch::ShardOf("a", 4), 4);
  EXPECT_EQ(batch::ShardOf("a", 7), 2);
  EXPECT_EQ(batch::ShardOf("sub/report", 4), 2);
  EXPECT_EQ(batch::ShardOf("", 3), 3);
  EXPECT_EQ(batch::ShardOf("anything", 1), 1);
}

TEST_F(Shards, ShardsPartitionATreeEvenlyWhereverItIsMounted) {
  for (int i = 0; i < 400; ++i) {
    std::string name = "in/d" + std::to_string(i % 7) + "/report-" + std::to_string(i);
    testsupport::WriteFile(dir / (name + ".docx"), "x");
    if (i % 10 == 0) testsupport::WriteFile(dir / (name + ".doc"), "x");
  }
  ASSERT_EQ(::symlink((dir / "in").c_str(), (dir / "mnt").c_str()), 0);
  Partition(dir / "in", 3, dir / "mnt");
  // Documents whose texts would take one name come in one shard, so that one run settles it.
  for (int k = 1; k <= 4; ++k) {
    auto names = List(dir / "in", std::to_string(k) + "/4");
    for (auto& name : names)
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".doc") == 0) {
        EXPECT_NE(std::find(names.begin(), names.end(), name + "x"), names.end()) << name;
      }
  }
  Partition(dir / "in", 4);
  project->SetValue("KeepTargetSubdirs", "False");
  testsupport::WriteFile(dir / "flat/a/same.doc", "x");
  testsupport::WriteFile(dir / "flat/b/same.docx", "x");
  testsupport::WriteFile(dir / "flat/c/d/same.docm", "x");
  for (int k = 1; k <= 4; ++k) {
    auto size = List(dir / "flat", std::to_string(k) + "/4").size();
    EXPECT_TRUE(size == 0 || size == 3) << k;
  }
  project->SetValue("KeepTargetSubdirs", "");
  // The program refuses these before any run; a run that meets one anyway lists nothing.
  for (const char* bad : {"4/3", "0/3", "x", "1/0", "2", "1/2 "})
    EXPECT_TRUE(List(dir / "in", bad).empty()) << bad;
  EXPECT_EQ(List(dir / "in", "1/1").size(), 440u);
}

TEST_F(Shards, TheSharedCorpusSplitsEvenly) {
  const std::string corpus = QX_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  Partition(corpus, 3);
  std::string sizes;
  for (auto size : Partition(corpus, 4)) sizes += " " + std::to_string(size);
  std::cout << "corpus shards of 4:" << sizes << "\n";
}

}  // namespace
}  // namespace batchtest
