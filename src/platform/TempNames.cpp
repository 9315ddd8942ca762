#include "platform/TempNames.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace platform {

namespace fs = std::filesystem;

namespace {

const std::string& HostName() {
  static const std::string host = [] {
    char buf[HOST_NAME_MAX + 1] = {};
    std::string name = ::gethostname(buf, sizeof buf - 1) == 0 ? buf : "";
    // The tag must stay one file-name piece that the parser can split at the "." after the pid and at its
    // last "-".
    for (char& c : name)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
    return name.empty() ? std::string("localhost") : name;
  }();
  return host;
}

bool Alive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

bool IsTempFile(const std::string& name) {
  std::size_t at = name.rfind(".tmp-");
  return at != std::string::npos && MadeByEndedProgram(name.substr(at + 5));
}

}  // namespace

// Joined by ".", which no file URL escapes: an office profile is named this way, and the name of
// the office's single-instance pipe follows from the profile's URL as the office writes it.
std::string OwnerTag() { return std::to_string(::getpid()) + "." + HostName(); }

std::string TemporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = base && *base ? base : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool MadeByEndedProgram(const std::string& name) {
  const std::string tail = "." + HostName() + "-";
  if (name.size() < tail.size() + 7) return false;
  std::size_t random = name.size() - 6;
  for (std::size_t i = random; i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  std::size_t at = random - tail.size();
  if (name.compare(at, tail.size(), tail) != 0) return false;
  std::size_t digits = at;
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  if (digits == at || at - digits > 9) return false;
  pid_t pid = static_cast<pid_t>(std::stol(name.substr(digits, at - digits)));
  return pid > 0 && pid != ::getpid() && !Alive(pid);
}

void RemoveLeftoversOfEndedPrograms(const std::string& tempPrefix, const std::string& folder,
                                    bool recursive) {
  std::error_code ec;
  for (fs::directory_iterator it(TemporaryFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.rfind(tempPrefix, 0) == 0 && it->is_directory(ec) && !it->is_symlink(ec) &&
        MadeByEndedProgram(name.substr(tempPrefix.size())))
      fs::remove_all(it->path(), ec);
    ec.clear();
  }
  if (folder.empty()) return;
  auto removeIfLeftover = [](const fs::directory_entry& e) {
    std::error_code ec;
    if (e.is_regular_file(ec) && !e.is_symlink(ec) && IsTempFile(e.path().filename().string()))
      fs::remove(e.path(), ec);
  };
  const auto options = fs::directory_options::skip_permission_denied;
  if (recursive) {
    for (fs::recursive_directory_iterator it(folder, options, ec), end; !ec && it != end; it.increment(ec))
      removeIfLeftover(*it);
  } else {
    for (fs::directory_iterator it(folder, options, ec), end; !ec && it != end; it.increment(ec))
      removeIfLeftover(*it);
  }
}

}  // namespace platform
