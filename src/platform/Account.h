#pragma once
// The account the word processor runs as when this program runs as root. A root run reads
// documents that other users wrote; the office that parses them must not hold root's powers, so
// each office runs under an unprivileged account, and the folders it works in are handed to that
// account. Chosen once at start-up (main thread); read from any thread afterwards.
#include <sys/types.h>

#include <optional>
#include <string>

namespace platform {

struct Account {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
};

// The system's account of that name; nullopt when there is none.
std::optional<Account> LookUpAccount(const std::string& name);

// Sets the account offices run as (nullopt: they run as this program does).
void SetOfficeAccount(std::optional<Account> account);
std::optional<Account> OfficeAccount();

// Gives path, and everything below it when it is a folder, to the office account, without
// following any link; nothing when no account is set. False when some entry could not be given.
bool HandToOfficeAccount(const std::string& path);
// As HandToOfficeAccount for one open file or folder.
bool HandToOfficeAccount(int fd);
// The first folder on the way to path (path included) that the office account may not pass
// through, by its permission bits; empty when it may pass them all, or when no account is set.
std::string FolderBarringOfficeAccount(const std::string& path);

}  // namespace platform
