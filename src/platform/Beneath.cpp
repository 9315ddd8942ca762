#include "platform/Beneath.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <vector>

namespace platform {
namespace {

// Learned at the first call: a kernel without openat2 answers ENOSYS every time.
std::atomic<bool> g_noOpenat2{false};

int Openat2(int dirFd, const char* path, int flags, unsigned mode) {
#ifdef SYS_openat2
  if (g_noOpenat2.load()) return errno = ENOSYS, -1;
  open_how how{};
  how.flags = static_cast<unsigned long long>(flags);
  how.mode = (flags & (O_CREAT | O_TMPFILE)) ? mode : 0;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  int fd;
  do {
    fd = static_cast<int>(syscall(SYS_openat2, dirFd, path, &how, sizeof how));
  } while (fd < 0 && errno == EAGAIN);
  if (fd < 0 && errno == ENOSYS) g_noOpenat2.store(true);
  return fd;
#else
  (void)dirFd, (void)path, (void)flags, (void)mode;
  return errno = ENOSYS, -1;
#endif
}

// The names of relative; false for an absolute path or a ".." step.
bool SplitNames(const std::string& relative, std::vector<std::string>& names) {
  if (!relative.empty() && relative[0] == '/') return false;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    std::string name = relative.substr(start, end - start);
    if (name == "..") return false;
    if (!name.empty() && name != ".") names.push_back(name);
    start = end + 1;
  }
  return true;
}

int CloseKeepingErrno(int fd) {
  int saved = errno;
  if (fd >= 0) close(fd);
  errno = saved;
  return -1;
}

// The walk for kernels without openat2: every step one openat with O_NOFOLLOW. A link as the
// last name with O_NOFOLLOW gives ELOOP, as openat2 does.
int WalkBeneath(int rootFd, const std::vector<std::string>& names, int flags, unsigned mode,
                bool createFolders, unsigned folderMode) {
  int dir = fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
  if (dir < 0) return -1;
  for (std::size_t i = 0; i + 1 < names.size() || (createFolders && i < names.size()); ++i) {
    if (createFolders && mkdirat(dir, names[i].c_str(), folderMode) != 0 && errno != EEXIST)
      return CloseKeepingErrno(dir);
    int next = openat(dir, names[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      // O_DIRECTORY|O_NOFOLLOW on a link answers ENOTDIR on some kernels: say what it is.
      struct stat st;
      if (fstatat(dir, names[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) errno = ELOOP;
      return CloseKeepingErrno(dir);
    }
    close(dir);
    dir = next;
    if (createFolders && i + 1 == names.size()) return dir;
  }
  if (names.empty()) {
    if (createFolders) return dir;
    int fd = openat(dir, ".", flags | O_CLOEXEC, mode);
    return fd < 0 ? CloseKeepingErrno(dir) : (close(dir), fd);
  }
  int fd = openat(dir, names.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return CloseKeepingErrno(dir);
  close(dir);
  return fd;
}

// Links in one path are limited as the kernel limits them.
constexpr int kMaxLinks = 40;

}  // namespace

bool TrustedLinkOwner(unsigned uid) { return uid == 0 || uid == geteuid(); }

int OpenTrusted(const std::string& path, int flags, unsigned mode) {
  if (path.empty()) return errno = ENOENT, -1;
  // The names still to resolve, front first; a link's text is put in front of what follows it.
  std::vector<std::string> pending;
  auto push = [&pending](const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('/', start);
      if (end == std::string::npos) end = text.size();
      std::string name = text.substr(start, end - start);
      if (!name.empty() && name != ".") names.push_back(name);
      start = end + 1;
    }
    pending.insert(pending.begin(), names.begin(), names.end());
  };
  push(path);
  int dir = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return -1;
  int links = 0;
  while (!pending.empty()) {
    std::string name = pending.front();
    pending.erase(pending.begin());
    const bool last = pending.empty();
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      if (!TrustedLinkOwner(st.st_uid) || ++links > kMaxLinks) {
        close(dir);
        return errno = ELOOP, -1;
      }
      std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
      ssize_t n = readlinkat(dir, name.c_str(), target.data(), target.size());
      if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
        if (n >= 0) errno = ENAMETOOLONG;
        return CloseKeepingErrno(dir);
      }
      target.resize(static_cast<std::size_t>(n));
      if (!target.empty() && target[0] == '/') {
        close(dir);
        dir = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return -1;
      }
      push(target);
      continue;
    }
    if (last) {
      // Between the look above and this open the name may have become a link: O_NOFOLLOW
      // refuses it then rather than follow it unchecked.
      int fd = openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
      if (fd < 0) return CloseKeepingErrno(dir);
      close(dir);
      return fd;
    }
    int next = openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return CloseKeepingErrno(dir);
    close(dir);
    dir = next;
  }
  // The path named a folder ("/", "a/.."): open it as asked.
  int fd = openat(dir, ".", flags | O_CLOEXEC, mode);
  if (fd < 0) return CloseKeepingErrno(dir);
  close(dir);
  return fd;
}

int OpenFolder(const std::string& folder) {
  return open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int OpenBeneath(int rootFd, const std::string& relative, int flags, unsigned mode) {
  std::vector<std::string> names;
  if (!SplitNames(relative, names)) return errno = EXDEV, -1;
  std::string joined;
  for (const auto& name : names) joined += (joined.empty() ? "" : "/") + name;
  int fd = Openat2(rootFd, joined.empty() ? "." : joined.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd >= 0 || errno != ENOSYS) return fd;
  return WalkBeneath(rootFd, names, flags, mode, false, 0);
}

int OpenFolderBeneath(int rootFd, const std::string& relative, bool create, unsigned mode) {
  std::vector<std::string> names;
  if (!SplitNames(relative, names)) return errno = EXDEV, -1;
  if (!create) return OpenBeneath(rootFd, relative, O_RDONLY | O_DIRECTORY);
  return WalkBeneath(rootFd, names, O_RDONLY | O_DIRECTORY, 0, true, mode);
}

std::optional<std::string> PathBelow(const std::string& folder, const std::string& path) {
  std::string base = folder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") base.clear();
  if (path.compare(0, base.size(), base) != 0) return std::nullopt;
  if (path.size() > base.size() && path[base.size()] != '/') return std::nullopt;
  std::string below = path.substr(std::min(path.size(), base.size() + 1));
  std::vector<std::string> names;
  if (!SplitNames(below, names)) return std::nullopt;
  return below;
}

int MakeFoldersTrusted(const std::string& path, unsigned mode) {
  if (path.empty()) return errno = ENOENT, -1;
  std::vector<std::string> names;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  std::string prefix = path[0] == '/' ? "/" : "";
  for (const auto& name : names) {
    const std::string parent = prefix.empty() ? "." : prefix;
    prefix += (prefix.empty() || prefix.back() == '/' ? "" : "/") + name;
    int fd = OpenTrusted(prefix, O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
      close(fd);
      continue;
    }
    if (errno != ENOENT) return -1;
    int parentFd = OpenTrusted(parent, O_RDONLY | O_DIRECTORY);
    if (parentFd < 0) return -1;
    const int made = mkdirat(parentFd, name.c_str(), mode);
    const int err = errno;
    close(parentFd);
    if (made != 0 && err != EEXIST) return errno = err, -1;
    fd = OpenTrusted(prefix, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -1;
    close(fd);
  }
  return 0;
}

int OpenParentTrusted(const std::string& path, std::string& name) {
  const std::size_t slash = path.rfind('/');
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return OpenTrusted(folder, O_RDONLY | O_DIRECTORY);
}

namespace {

bool IsRegularEntry(int dir, const std::string& name) {
  struct stat st;
  return fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool RemoveEntryTrusted(const std::string& path) {
  std::string name;
  const int dir = OpenParentTrusted(path, name);
  if (dir < 0) return false;
  const bool done = IsRegularEntry(dir, name) && unlinkat(dir, name.c_str(), 0) == 0;
  close(dir);
  return done;
}

bool RenameEntryTrusted(const std::string& path, const std::string& to) {
  std::string name, toName;
  const int dir = OpenParentTrusted(path, name);
  if (dir < 0) return false;
  const std::size_t slash = to.rfind('/');
  toName = slash == std::string::npos ? to : to.substr(slash + 1);
  // RENAME_NOREPLACE: a name that appears meanwhile is kept, never replaced.
  const bool done = IsRegularEntry(dir, name) && renameat2(dir, name.c_str(), dir, toName.c_str(), RENAME_NOREPLACE) == 0;
  close(dir);
  return done;
}

}  // namespace platform

namespace platform::detail {
void SetOpenat2Allowed(bool allowed) { g_noOpenat2.store(!allowed); }
}  // namespace platform::detail
