#include "platform/DirectorySearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {

namespace {

char Fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// A small NFA walk over the mask: states are mask positions. "*" matches any run, "?" one
// character or none, so the test is linear in name length times mask length whatever the mask.
bool MatchWildcards(const std::string& name, const std::string& mask) {
  const std::size_t m = mask.size();
  std::vector<char> cur(m + 1, 0), next(m + 1, 0);
  auto close = [&](std::vector<char>& set) {
    for (std::size_t i = 0; i < m; ++i)
      if (set[i] && (mask[i] == '*' || mask[i] == '?')) set[i + 1] = 1;
  };
  cur[0] = 1;
  close(cur);
  for (char c : name) {
    std::fill(next.begin(), next.end(), 0);
    bool any = false;
    for (std::size_t i = 0; i < m; ++i) {
      if (!cur[i]) continue;
      if (mask[i] == '*') {
        next[i] = 1;
        any = true;
      } else if (mask[i] == '?' || Fold(mask[i]) == Fold(c)) {
        next[i + 1] = 1;
        any = true;
      }
    }
    if (!any) return false;
    close(next);
    cur.swap(next);
  }
  return cur[m] != 0;
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask.empty()) return false;
  if (mask == "*" || mask == "*.*") return true;
  return MatchWildcards(name, mask);
}

void FindFiles(const std::string& dir, const std::string& mask, uint32_t attrSet,
               const std::function<bool(const DirEntry&)>& visit, std::string* failure) {
  if (mask.empty()) return;
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
  if (!d) {
    if (failure && errno != ENOENT) *failure = std::strerror(errno);
    return;
  }
  int dirFd = ::dirfd(d.get());
  while (dirent* e = ::readdir(d.get())) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!MatchesMask(name, mask)) continue;
    // Skip the stat of plain files when only folders are wanted: the common sub-folder walk.
    if (attrSet == faDirectory && e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
    struct stat st {};
    DirEntry entry;
    if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      entry.statError = errno;
      if (entry.statError == ENOENT) continue;  // gone since it was listed
      entry.name = std::move(name);
      if (!visit(entry)) return;
      continue;
    }
    entry.link = S_ISLNK(st.st_mode);
    entry.linkOwner = st.st_uid;
    // What a link leads to, for the caller's decision; a dangling one leads nowhere.
    if (entry.link && ::fstatat(dirFd, e->d_name, &st, 0) != 0) st.st_mode = 0;
    entry.name = std::move(name);
    if (S_ISDIR(st.st_mode))
      entry.attributes |= faDirectory;
    else if (S_ISREG(st.st_mode))
      entry.attributes |= faArchive;
    else if (!entry.link)
      continue;
    if (entry.name[0] == '.') entry.attributes |= faHidden;
    if ((st.st_mode & S_IWUSR) == 0) entry.attributes |= faReadOnly;
    const uint32_t guarded = faHidden | faSysFile | faDirectory;
    if ((entry.attributes & guarded & ~attrSet) != 0) continue;
    entry.device = st.st_dev;
    entry.inode = st.st_ino;
    if (!visit(entry)) return;
  }
}

std::string FolderListError(const std::string& dir) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return std::strerror(errno);
  // Listing needs the first read to work too: a folder may open and still refuse it.
  errno = 0;
  ::readdir(d);
  int err = errno;
  ::closedir(d);
  return err ? std::strerror(err) : std::string();
}

std::string FolderEntryError(const std::string& dir) {
  const char* path = dir.empty() ? "." : dir.c_str();
  if (::faccessat(AT_FDCWD, path, X_OK, AT_EACCESS) == 0 || errno == ENOENT) return std::string();
  const int err = errno;
  // One that cannot even be listed says so when it is listed.
  if (::faccessat(AT_FDCWD, path, R_OK, AT_EACCESS) != 0) return std::string();
  return std::strerror(err);
}

bool FileIdentity(const std::string& path, uint64_t& device, uint64_t& inode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  device = st.st_dev;
  inode = st.st_ino;
  return true;
}

}  // namespace platform
