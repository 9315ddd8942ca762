#include "platform/Account.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex g_lock;
std::optional<Account> g_office;

}  // namespace

std::optional<Account> LookUpAccount(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
  return Account{found->pw_name, found->pw_uid, found->pw_gid};
}

void SetOfficeAccount(std::optional<Account> account) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_office = std::move(account);
}

std::optional<Account> OfficeAccount() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_office;
}

bool HandToOfficeAccount(const std::string& path) {
  const auto account = OfficeAccount();
  if (!account) return true;
  bool all = ::lchown(path.c_str(), account->uid, account->gid) == 0;
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec))) return all;
  // The iterator does not descend into links to folders: a link is handed over, never its target.
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    all = ::lchown(it->path().c_str(), account->uid, account->gid) == 0 && all;
  return all && !ec;
}

bool HandToOfficeAccount(int fd) {
  const auto account = OfficeAccount();
  return !account || ::fchown(fd, account->uid, account->gid) == 0;
}

std::string FolderBarringOfficeAccount(const std::string& path) {
  const auto account = OfficeAccount();
  if (!account || path.empty() || path[0] != '/') return std::string();
  std::string folder;
  std::size_t at = 0;
  while (at != std::string::npos) {
    at = path.find('/', at + 1);
    folder = at == std::string::npos ? path : path.substr(0, at);
    if (folder.empty()) continue;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) break;
    const mode_t bit = st.st_uid == account->uid ? S_IXUSR : st.st_gid == account->gid ? S_IXGRP : S_IXOTH;
    if (!(st.st_mode & bit)) return folder;
  }
  return std::string();
}

}  // namespace platform
