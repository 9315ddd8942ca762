#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace platform {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

bool WriteAll(int fd, const std::string& data) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path), ec);
  return DirectoryExists(path);
}

void ForceDirectoriesOrThrow(const std::string& path) {
  if (!ForceDirectories(path)) throw EFileError("Unable to create directory");
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool DeleteSocket(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ReadFileBytes(const std::string& path, std::string& contents, std::size_t maxBytes) {
  contents.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  // FIFOs and devices would block or never end: only regular files are read.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return false;
  }
  contents.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (contents.size() + static_cast<std::size_t>(n) > maxBytes) {
      ok = false;
      break;
    }
    contents.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!ok) contents.clear();
  return ok;
}

void WriteFileAtomic(const std::string& path, const std::string& contents, bool ownerOnly) {
  std::string tmpl = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) throw EFileError("Cannot create file \"" + path + "\". " + ErrnoText(errno));
  // mkstemp creates 0600; ordinary files follow the user's umask like any other new file.
  if (!ownerOnly) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
  int err = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmpl.c_str());
    throw EFileError("Cannot write file \"" + path + "\". " + ErrnoText(err));
  }
}

ClaimResult ClaimNewFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? ClaimResult::Taken : ClaimResult::Failed;
  ::close(fd);
  return ClaimResult::Claimed;
}

bool DeleteEmptyFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) return false;
  return ::unlink(path.c_str()) == 0;
}

bool IsEmptyFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

void WriteFileInPlace(const std::string& path, const std::string& contents, bool append) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) throw EFileError("Cannot open file \"" + path + "\". " + ErrnoText(errno));
  bool ok = WriteAll(fd, contents);
  int err = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok) throw EFileError("Cannot write file \"" + path + "\". " + ErrnoText(err));
}

std::string MakeTempDirectory(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = IncludeTrailingPathDelimiter(base && *base ? base : "/tmp") + prefix + "XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw EFileError("Cannot create a temporary folder. " + ErrnoText(errno));
  return tmpl;
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(path), ec);
}

}  // namespace platform
