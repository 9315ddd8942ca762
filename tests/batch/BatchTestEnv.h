#pragma once
// The setting every batch test starts from: a project with the product's constants, the
// regular-expression matcher, lock files skipped, all in a private temporary folder; removed
// again afterwards so no test sees another's globals.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "batch/cvBatch.h"
#include "batch/cvMatch.h"
#include "core/Globals.h"
#include "core/cvProject.h"

namespace batchtest {

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project = std::make_unique<core::TcvProject>(dir / "quillex");
    project->TargetExt = ".txt";
    project->ShortName = "quillex";
    core::SetCvProject(project.get());
    batch::SetCvMatch(&match);
    batch::SetSkipLockFiles(true);
  }
  void TearDown() override {
    batch::SetSkipLockFiles(false);
    batch::SetCvMatch(nullptr);
    core::SetCvProject(nullptr);
    project.reset();
  }

  // The file names of a batch's entries, in list order.
  static std::vector<std::string> Names(batch::TcvBatch& b) {
    std::vector<std::string> names;
    for (const auto& node : b.LockList()) names.push_back(node->FileName);
    b.UnlockList();
    return names;
  }

  testsupport::TempDir dir;
  std::unique_ptr<core::TcvProject> project;
  batch::TcvMatch match;
};

}  // namespace batchtest
