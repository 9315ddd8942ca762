#include "platform/FileWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/DirectorySearch.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

namespace {

// Modifications are reported so that a file still being written never looks quiet; creations
// only for folders, as a file's own close or move follows.
constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY | IN_CREATE | IN_ATTRIB | IN_ONLYDIR;

}  // namespace

FileWatch::FileWatch(bool tree, std::function<bool(const std::string&)> skip)
    : tree_(tree), skip_(std::move(skip)) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) throw EFileError(std::string("The source cannot be watched: ") + std::strerror(errno));
}

FileWatch::~FileWatch() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileWatch::Add(const std::string& folder) {
  refusal_.clear();
  AddTree(folder);
  return refusal_.empty();
}

bool FileWatch::AddOne(const std::string& folder) {
  // IN_DONT_FOLLOW: a folder swapped for a link meanwhile is not watched through it.
  int wd = ::inotify_add_watch(fd_, folder.c_str(), kEvents | IN_DONT_FOLLOW | IN_ONLYDIR);
  if (wd < 0) {
    if (errno == ENOSPC || errno == ENOMEM)
      refusal_ = std::string("the system's limit of watched folders was reached (") + std::strerror(errno) +
                 "; see fs.inotify.max_user_watches)";
    return false;
  }
  auto known = folders_.find(wd);
  if (known == folders_.end()) {
    folders_[wd] = folder;
    return true;
  }
  // The same folder under a new name (moved within the tree): its sub-folders moved with it.
  const std::string old = known->second;
  if (old != folder)
    for (auto& [descriptor, path] : folders_)
      if (path.compare(0, old.size(), old) == 0) path = folder + path.substr(old.size());
  return false;
}

void FileWatch::AddTree(const std::string& top) {
  // Its own stack, as the batch's walk keeps one: a deep tree cannot exhaust the call stack.
  std::vector<std::string> pending{IncludeTrailingPathDelimiter(top)};
  while (!pending.empty()) {
    std::string folder = std::move(pending.back());
    pending.pop_back();
    if (!AddOne(folder) || !tree_) continue;
    FindFiles(folder, "*.*", faDirectory, [&](const DirEntry& entry) {
      std::string child = folder + entry.name + "/";
      // A link to a folder is never watched through: it may lead anywhere on the machine.
      if ((entry.attributes & faDirectory) && !entry.link && !(skip_ && skip_(child)))
        pending.push_back(std::move(child));
      return true;
    });
  }
}

std::vector<FileWatch::Change> FileWatch::Wait(int timeoutMs) {
  std::vector<Change> changes;
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN)) Read(changes);
  return changes;
}

void FileWatch::Read(std::vector<Change>& changes) {
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) return;
    for (char* at = buffer; at < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      at += sizeof(inotify_event) + event->len;
      if (event->mask & IN_Q_OVERFLOW) {
        changes.push_back({ChangeKind::Overflow, std::string()});
        continue;
      }
      if (event->mask & IN_IGNORED) {
        folders_.erase(event->wd);
        continue;
      }
      auto folder = folders_.find(event->wd);
      if (folder == folders_.end() || event->len == 0) continue;
      std::string path = folder->second + event->name;
      if (event->mask & IN_ISDIR) {
        // Hidden folders are never searched, so they are not watched either.
        if (!tree_ || event->name[0] == '.' || !(event->mask & (IN_CREATE | IN_MOVED_TO))) continue;
        std::string child = path + "/";
        if (skip_ && skip_(child)) continue;
        AddTree(child);
        changes.push_back({ChangeKind::Folder, child});
      } else if (event->mask & IN_CLOSE_WRITE) {
        changes.push_back({ChangeKind::Closed, path});
      } else if (event->mask & IN_MOVED_TO) {
        changes.push_back({ChangeKind::MovedIn, path});
      } else if (event->mask & IN_MODIFY) {
        changes.push_back({ChangeKind::Writing, path});
      } else if (event->mask & IN_ATTRIB) {
        changes.push_back({ChangeKind::Touched, path});
      }
    }
  }
}

}  // namespace platform
