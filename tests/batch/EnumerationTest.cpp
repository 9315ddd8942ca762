#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "BatchTestEnv.h"

namespace batchtest {
namespace {

using batch::TcvBatch;

class Enumeration : public BatchTest {
 protected:
  void Make(const std::vector<std::string>& files) {
    for (const auto& f : files) testsupport::WriteFile(dir / ("in/" + f), "x");
  }
  // Runs a whole enumeration and returns the listed names relative to the source folder.
  std::vector<std::string> List(const std::string& mask, bool recursive) {
    TcvBatch b;
    b.Start(dir / ("in/" + mask), dir / "out", recursive);
    b.WaitFor();
    EXPECT_TRUE(b.Done());
    std::vector<std::string> names;
    for (auto& n : Names(b)) names.push_back(n.substr((dir / "in/").size()));
    return names;
  }
  static std::set<std::string> AsSet(const std::vector<std::string>& v) { return {v.begin(), v.end()}; }
};

TEST_F(Enumeration, HiddenFilesLockFilesAndAttributesFollowTheSettings) {
  Make({"a.doc", ".hidden.doc", "~$lock.doc", "a~$b.doc", "ro.doc", "skip.txt", ".hid/h.doc", "sub/s.doc"});
  ::chmod((dir / "in/ro.doc").c_str(), 0444);
  ASSERT_EQ(::mkfifo((dir / "in/pipe.doc").c_str(), 0600), 0);

  struct Case {
    const char* skipHidden;
    bool skipLockFiles;
    std::set<std::string> expected;
  } cases[] = {
      {"False", true, {"a.doc", ".hidden.doc", "a~$b.doc", "ro.doc", "sub/s.doc"}},
      {"True", true, {"a.doc", "a~$b.doc", "ro.doc", "sub/s.doc"}},
      {"1", false, {"a.doc", "~$lock.doc", "a~$b.doc", "ro.doc", "sub/s.doc"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.skipHidden);
    project->SetValue("SkipHidden", c.skipHidden);
    batch::SetSkipLockFiles(c.skipLockFiles);
    EXPECT_EQ(AsSet(List("*.doc?", true)), c.expected);
  }
}

TEST_F(Enumeration, FolderFilesComeBeforeItsSubFoldersDepthFirst) {
  Make({"r1.doc", "r2.doc", "A/a1.doc", "A/A1/x.doc", "A/A1/y.doc", "A/A2/z.doc", "B/b.doc", "B/B1/c.doc"});
  auto names = List("*.doc", true);
  ASSERT_EQ(names.size(), 8u);
  auto pos = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  // Root files first; each sub-tree is one contiguous run that starts with its own files.
  EXPECT_LT(std::max(pos("r1.doc"), pos("r2.doc")), 2);
  auto run = [&](const std::string& prefix) {
    std::vector<long> at;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i].rfind(prefix, 0) == 0) at.push_back(static_cast<long>(i));
    return at;
  };
  for (const char* tree : {"A/", "B/", "A/A1/", "A/A2/", "B/B1/"}) {
    auto at = run(tree);
    EXPECT_EQ(at.back() - at.front() + 1, static_cast<long>(at.size())) << tree;
  }
  EXPECT_LT(pos("A/a1.doc"), std::min(pos("A/A1/x.doc"), pos("A/A2/z.doc")));
  EXPECT_LT(pos("B/b.doc"), pos("B/B1/c.doc"));
  // Not recursive: the root's own files only.
  EXPECT_EQ(AsSet(List("*.doc", false)), (std::set<std::string>{"r1.doc", "r2.doc"}));
}

TEST_F(Enumeration, LinkLoopsEndAndEachFolderIsEnteredOnce) {
  Make({"a.doc", "sub/b.doc"});
  ASSERT_EQ(::symlink((dir / "in").c_str(), (dir / "in/sub/loop").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "in/sub").c_str(), (dir / "in/again").c_str()), 0);
  // Followed (they lead inside the tree), the loops end and each folder is entered once.
  project->SetValue("FollowLinks", "True");
  auto names = List("*.doc", true);
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(AsSet(names).size(), 2u);
  // Not followed, each link is an entry of its own.
  project->SetValue("FollowLinks", "False");
  EXPECT_EQ(AsSet(List("*.doc", true)), (std::set<std::string>{"a.doc", "sub/b.doc", "sub/loop", "again"}));
}

TEST_F(Enumeration, FolderSourceMeansItsDocumentsAndATargetInsideIsNeverSearched) {
  Make({"a.doc", "b.docx", "c.txt", "out/old.doc", "sub/d.doc"});
  project->SourceMask = "*.doc?";
  TcvBatch b;
  b.Start(dir / "in", dir / "in/out", true);
  b.WaitFor();
  std::set<std::string> names;
  for (auto& n : Names(b)) names.insert(n.substr((dir / "in/").size()));
  EXPECT_EQ(names, (std::set<std::string>{"a.doc", "b.docx", "sub/d.doc"}));
}

TEST_F(Enumeration, FolderThatCannotBeReadIsAFailedEntryOfItsOwn) {
  Make({"a.doc", "locked/b.doc", "listed/c.doc"});
  ASSERT_EQ(::mkdir((dir / "out").c_str(), 0777), 0);
  ::chmod(dir.path().c_str(), 0755);
  ::chmod((dir / "out").c_str(), 0777);
  ::chmod((dir / "in/locked").c_str(), 0);
  ::chmod((dir / "in/listed").c_str(), 0644);  // its names can be read, its files not examined
  // Root reads every folder: the walk runs in a child that has become an ordinary user.
  std::fflush(nullptr);  // or the child's exit writes the parent's buffered output again
  pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
    TcvBatch b;
    b.Start(dir / "in/*.doc", dir / "out", true);
    b.WaitFor();
    const auto& list = b.LockList();
    std::map<std::string, std::string> failed;
    for (const auto& n : list)
      if (n->Status.load() == batch::NodeFailure) failed[n->FileName] = n->Message;
    bool ok = list.size() == 3 && list[0]->FileName == dir / "in/a.doc" &&
              failed[dir / "in/locked/"].find("could not be read (Permission denied)") != std::string::npos &&
              failed[dir / "in/listed/"].find("cannot be entered (Permission denied)") != std::string::npos;
    b.UnlockList();
    ::_exit(ok ? 0 : 11);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod((dir / "in/locked").c_str(), 0755);
  ::chmod((dir / "in/listed").c_str(), 0755);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A link in the tree is an entry of its own that fails, whatever it leads to; FollowLinks follows
// only those that lead inside the tree. The source named by the user may itself be a link.
TEST_F(Enumeration, LinksAreFailedEntriesAndFollowedOnlyInsideTheTree) {
  Make({"a.doc", "sub/b.doc", "elsewhere/secret.doc"});
  namespace fs = std::filesystem;
  fs::create_symlink(dir / "in/elsewhere/secret.doc", dir / "in/sub/inside.doc");
  fs::create_symlink("/etc/hostname", dir / "in/outside.doc");
  fs::create_symlink(dir / "in/nowhere.doc", dir / "in/dangling.doc");
  fs::create_symlink("/", dir / "in/root");
  fs::create_symlink(dir / "in", dir / "linked-in");
  project->SourceMask = "*.doc?";
  for (bool follow : {false, true}) {
    project->SetValue("FollowLinks", follow ? "True" : "False");
    TcvBatch b;
    b.Start(dir / "linked-in", dir / "out", true);
    b.WaitFor();
    std::map<std::string, std::string> found;  // below the source: "" for a document, else the failure
    for (const auto& n : b.LockList()) found[n->FileName.substr((dir / "linked-in/").size())] = n->Message;
    b.UnlockList();
    const std::string link = "a link; links are not followed";
    std::map<std::string, std::string> expected = {{"a.doc", ""},         {"sub/b.doc", ""},
                                                   {"elsewhere/secret.doc", ""}, {"outside.doc", link},
                                                   {"dangling.doc", link}, {"root", link},
                                                   {"sub/inside.doc", follow ? "" : link}};
    EXPECT_EQ(found, expected) << "FollowLinks=" << follow;
  }
  // A document the user named through a link of the user's own is what the link leads to;
  // through another user's link it is nothing of the user's choosing.
  fs::create_symlink(dir / "in/a.doc", dir / "named.doc");
  auto named = [&] {
    TcvBatch b;
    b.Start(dir / "named.doc", dir / "out", false);
    b.WaitFor();
    std::pair<std::string, std::string> entry;
    for (const auto& n : b.LockList()) entry = {n->FileName, n->Message};
    b.UnlockList();
    return entry;
  };
  EXPECT_EQ(named(), std::make_pair(dir / "in/a.doc", std::string()));
  if (::geteuid() != 0) return;
  ASSERT_EQ(::lchown((dir / "named.doc").c_str(), 65534, 65534), 0);
  EXPECT_EQ(named(), std::make_pair(dir / "named.doc", std::string("a link of another user; it is not followed")));
}

TEST_F(Enumeration, FolderWrittenWithItsFinalSlashIsThatFolder) {
  Make({"a.doc", "sub/b.doc", "c.txt"});
  project->SourceMask = "*.doc?";
  EXPECT_EQ(AsSet(List("", true)), (std::set<std::string>{"a.doc", "sub/b.doc"}));
}

TEST_F(Enumeration, ExtraExpressionFiltersThePathsAndAnInvalidOneFiltersNothing) {
  Make({"a.doc", "Archive/b.doc", "x/archive/c.doc", "archived/d.doc"});
  project->SetValue("RegExt", "/archive/");
  EXPECT_EQ(AsSet(List("*.doc", true)), (std::set<std::string>{"Archive/b.doc", "x/archive/c.doc"}));
  project->SetValue("RegExt", "([unclosed");
  EXPECT_EQ(List("*.doc", true).size(), 4u);
}

TEST_F(Enumeration, TerminateEndsTheWalkButStillCompletesTheList) {
  std::vector<std::string> files;
  for (int i = 0; i < 200; ++i) files.push_back("d" + std::to_string(i % 20) + "/f" + std::to_string(i) + ".doc");
  Make(files);
  TcvBatch b;
  std::atomic<int> seen{0};
  b.SetOnNode([&](TcvBatch& self, batch::TcvNode&) {
    if (++seen == 5) self.Terminate();
  });
  b.Start(dir / "in/*.doc", dir / "out", true);
  b.WaitFor();
  EXPECT_TRUE(b.Done());
  EXPECT_EQ(b.Count(), 5);
  EXPECT_EQ(b.NextIndex(), 0);
}

}  // namespace
}  // namespace batchtest
