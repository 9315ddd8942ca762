// The enumeration thread of TcvBatch: the walk of the source folder into the job list.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "batch/cvBatch.h"
#include "core/FailureReason.h"
#include "core/Globals.h"
#include "core/cvProject.h"
#include "platform/Beneath.h"
#include "platform/DirectorySearch.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace batch {

namespace {

constexpr uint32_t kAttrsWithHidden = 0x1EF;
constexpr uint32_t kAttrsWithoutHidden = 0x1ED;
constexpr uint32_t kKnownAttrs = 0x1FF;

bool IsLockFileName(const std::string& name) { return name.compare(0, 2, "~$") == 0; }

struct Folder {
  std::string path;  // ends with "/"
  bool identified = false;
  uint64_t device = 0;
  uint64_t inode = 0;
};

}  // namespace

void TcvBatch::Execute() {
  std::string regExt;
  bool skipHidden = false;
  int shardIndex = 1, shardCount = 1;
  bool keepSubdirs = true;
  if (core::TcvProject* project = core::cvProject()) {
    regExt = project->Value("RegExt");
    skipHidden = project->Bool("SkipHidden", false);
    project->Shard(shardIndex, shardCount);
    keepSubdirs = project->KeepTargetSubdirs();
  }
  std::string root, mask;
  bool recursive = false, namedFile = false;
  {
    std::lock_guard<std::mutex> guard(fieldsLock_);
    regExt_ = regExt;
    skipHidden_ = skipHidden;
    shardIndex_ = shardIndex;
    shardCount_ = shardCount;
    shardKeepsSubdirs_ = keepSubdirs;
    root = sourceDir_;
    mask = mask_;
    recursive = recursive_;
    namedFile = namedFile_;
  }
  const uint32_t attrSet = skipHidden ? kAttrsWithoutHidden : kAttrsWithHidden;
  // The tree as it really is, once: what a followed link leads to must lie inside it.
  followLinks_ = core::cvProject() && core::cvProject()->FollowLinks();
  if (char* resolved = ::realpath(root.empty() ? "." : root.c_str(), nullptr)) {
    realRoot_ = platform::IncludeTrailingPathDelimiter(resolved);
    std::free(resolved);
  }
  try {
    if (only_.empty()) {
      if (namedFile)
        ScanNamedFile(root, mask, attrSet, true);
      else
        Scan(root, mask, recursive, attrSet);
    }
    for (const auto& path : only_) {
      if (Terminated()) break;
      if (platform::DirectoryExists(path)) {
        // A folder of a source that names one file holds nothing of the run.
        if (!namedFile) Scan(platform::IncludeTrailingPathDelimiter(path), mask, recursive, attrSet);
        continue;
      }
      std::string dir = platform::ExtractFilePath(path), name = platform::ExtractFileName(path);
      if (!namedFile || (dir == root && name == mask)) ScanNamedFile(dir, name, attrSet, namedFile);
    }
  } catch (...) {
    // Whatever stopped the walk, the list must complete, or workers would wait for ever.
  }
  done_.store(true);
}

bool TcvBatch::ScanFiles(const std::string& dir, const std::string& mask, uint32_t attrSet) {
  // A folder that can be listed but not entered gives names and nothing else: its documents
  // are unknown, so the folder stands for them.
  if (std::string why = platform::FolderEntryError(dir); !why.empty()) {
    AddFailedFile(dir, "The folder cannot be entered (" + why + ")", core::reason::kUnreadable);
    return false;
  }
  std::string failure;
  // In the order of their names, whatever order the file system keeps (ext4 hashes them,
  // tmpfs lists the newest first): the job list, and the texts of -o -, come in one order.
  std::vector<platform::DirEntry> entries;
  platform::FindFiles(
      dir, mask, attrSet | platform::faDirectory,
      [&](const platform::DirEntry& entry) {
        entries.push_back(entry);
        return !Terminated();
      },
      &failure);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& entry : entries) {
    if (Terminated()) break;
    uint32_t attrs = entry.attributes & kKnownAttrs;
    if (entry.statError) {
      AddFailedFile(dir + entry.name, std::string("The entry cannot be examined (") + std::strerror(entry.statError) + ")",
                    core::reason::kUnreadable);
    } else if ((attrs & platform::faDirectory) && !entry.link) {
      // Folders are the walk's.
    } else if ((attrs & ~platform::faDirectory & attrSet) == (attrs & ~platform::faDirectory) &&
               !(SkipLockFiles() && IsLockFileName(entry.name))) {
      if (!entry.link)
        AddFound(dir + entry.name);
      else if (!(attrs & platform::faDirectory))
        AddLinkFound(dir + entry.name);
    }
  }
  if (failure.empty()) return true;
  // The documents in it are unknown, so the folder itself stands for them.
  AddFailedFile(dir, "The folder could not be read (" + failure + ")", core::reason::kUnreadable);
  return false;
}

void TcvBatch::ScanNamedFile(const std::string& dir, const std::string& name, uint32_t attrSet, bool named) {
  // The folder search gives the same attributes and leaves out what it leaves out for a mask;
  // only the exact name is taken, as the search folds letter case and reads wildcards.
  platform::FindFiles(dir, name, attrSet, [&](const platform::DirEntry& entry) {
    uint32_t attrs = entry.attributes & kKnownAttrs;
    if (entry.name == name && (attrs & attrSet) == attrs && !(attrs & platform::faDirectory) &&
        !(SkipLockFiles() && IsLockFileName(entry.name))) {
      // A path of a watch's round is an entry of the tree like any other.
      if (entry.link && !named) {
        AddLinkFound(dir + entry.name);
        return false;
      }
      // The document the user named may be a link of the user's own: it is resolved once, as
      // the user asked, and what it leads to is converted. Another user's is not followed.
      if (entry.link && !platform::TrustedLinkOwner(entry.linkOwner)) {
        if (Accepts(dir + entry.name))
          AddFailedFile(dir + entry.name, "a link of another user; it is not followed", core::reason::kLink);
        return false;
      }
      char* resolved = entry.link ? ::realpath((dir + entry.name).c_str(), nullptr) : nullptr;
      AddFound(resolved ? std::string(resolved) : dir + entry.name);
      std::free(resolved);
    }
    return entry.name != name;
  });
}

void TcvBatch::AddLinkFound(const std::string& path) {
  // A link is followed only when asked, and only to what lies inside the source tree: a link
  // that another user put in a tree must never turn this run into a reader of their choosing.
  if (LinkStaysInside(path)) {
    AddFound(path);
    return;
  }
  if (!only_.empty() && !foundOnce_.insert(path).second) return;
  if (listFilter_ && !listFilter_(path)) return;
  if (Accepts(path)) AddFailedFile(path, "a link; links are not followed", core::reason::kLink);
}

bool TcvBatch::LinkStaysInside(const std::string& path) const { return !FollowedLinkTarget(path).empty(); }

std::string TcvBatch::FollowedLinkTarget(const std::string& path) const {
  if (!followLinks_ || realRoot_.empty()) return {};
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  const std::string target = resolved;
  std::free(resolved);
  return platform::IncludeTrailingPathDelimiter(target).rfind(realRoot_, 0) == 0 ? target : std::string();
}

void TcvBatch::AddFound(const std::string& fileName) {
  if (!only_.empty() && !foundOnce_.insert(fileName).second) return;
  if (listFilter_ && !listFilter_(fileName)) return;
  AddFile(fileName);
}

// Depth first, a folder's own files before any of its sub-folders. The walk keeps its own
// stack rather than recursing with open directory handles, so a deep tree can neither
// exhaust the stack nor the process's file descriptors, and it enters each folder (by device
// and inode) once, so links that loop back end the walk instead of repeating it. The target
// folder counts as entered: a target inside the source tree would otherwise feed each run
// the texts of the one before.
void TcvBatch::Scan(const std::string& root, const std::string& mask, bool recursive, uint32_t attrSet) {
  std::set<std::pair<uint64_t, uint64_t>> entered;
  uint64_t targetDevice = 0, targetInode = 0;
  std::string target = TargetDir();
  if (!target.empty() && platform::FileIdentity(target, targetDevice, targetInode))
    entered.insert({targetDevice, targetInode});
  std::vector<Folder> pending;
  Folder first{root};
  first.identified = platform::FileIdentity(root.empty() ? "." : root, first.device, first.inode);
  pending.push_back(std::move(first));

  while (!pending.empty() && !Terminated()) {
    Folder folder = std::move(pending.back());
    pending.pop_back();
    if (folder.identified && !entered.insert({folder.device, folder.inode}).second && folder.path != root)
      continue;

    if (!ScanFiles(folder.path, mask, attrSet) || !recursive || Terminated()) continue;

    std::vector<Folder> children;
    platform::FindFiles(folder.path, "*.*", platform::faDirectory, [&](const platform::DirEntry& entry) {
      if (!(entry.attributes & platform::faDirectory)) return !Terminated();
      const std::string path = folder.path + entry.name;
      if (!entry.link || LinkStaysInside(path))
        children.push_back(Folder{path + "/", true, entry.device, entry.inode});
      else  // whatever its name: the documents behind it are unknown
        AddFailedFile(path, "a link; links are not followed", core::reason::kLink);
      return !Terminated();
    });
    std::sort(children.begin(), children.end(), [](const Folder& a, const Folder& b) { return a.path < b.path; });
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(std::move(*it));
  }
}

}  // namespace batch
