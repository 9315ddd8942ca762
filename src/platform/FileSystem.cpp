#include "platform/FileSystem.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/Beneath.h"
#include "platform/Paths.h"
#include "platform/StandardStreams.h"
#include "platform/TempNames.h"

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

// Where a write to a path lands. Links are followed one by one, so that a regular file is
// replaced where it lies and the link stays a link. A path through /proc/.../fd/ (as /dev/stdout
// and /dev/fd/N are) names a descriptor someone has open: it is written through, never truncated
// or replaced. One of this process's own is duplicated rather than opened again, which works for
// a pipe or socket that another user made and this one was merely handed.
struct Destination {
  enum Kind { File, Stream, Folder } kind = File;
  std::string path;
  bool exists = false;  // File: whether there is a file to replace
  bool socket = false;  // Stream: a Unix socket, reached by connecting
  int descriptor = -1;  // Stream: this process's own descriptor of that number
  struct stat st {};
};

bool IsDescriptorPath(const std::string& path) {
  return path.rfind("/proc/", 0) == 0 && path.find("/fd/") != std::string::npos;
}

int OwnDescriptor(const std::string& path) {
  for (std::string self : {std::string("self"), std::string("thread-self"), std::to_string(::getpid())}) {
    const std::string head = "/proc/" + self + "/fd/";
    if (path.rfind(head, 0) != 0) continue;
    std::string number = path.substr(head.size());
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
      return -1;
    return std::stoi(number);
  }
  return -1;
}

Destination Resolve(const std::string& path) {
  Destination d;
  d.path = path;
  for (int hop = 0; hop < 40; ++hop) {
    if (IsDescriptorPath(d.path)) {
      d.kind = Destination::Stream;
      d.descriptor = OwnDescriptor(d.path);
      return d;
    }
    if (::lstat(d.path.c_str(), &d.st) != 0) return d;  // missing: created where the links lead
    // Another user's link is not followed: it is replaced like a file (a rename never follows a
    // link), so that a folder others can write cannot send this program's writes elsewhere.
    if (S_ISLNK(d.st.st_mode) && d.st.st_uid != ::geteuid() && d.st.st_uid != 0) {
      d.st = {};
      return d;
    }
    if (S_ISLNK(d.st.st_mode)) {
      std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
      ssize_t n = ::readlink(d.path.c_str(), target.data(), target.size());
      if (n <= 0) return d;
      target.resize(static_cast<std::size_t>(n));
      d.path = target[0] == '/' ? target : ExtractFilePath(d.path) + target;
      continue;
    }
    d.exists = S_ISREG(d.st.st_mode);
    if (S_ISDIR(d.st.st_mode)) d.kind = Destination::Folder;
    if (!S_ISREG(d.st.st_mode) && !S_ISDIR(d.st.st_mode)) d.kind = Destination::Stream;
    d.socket = S_ISSOCK(d.st.st_mode);
    return d;
  }
  d.path = path;  // a link loop: the write fails with the system's reason
  return d;
}

// Replaces the trailing "XXXXXX" of a template with random letters and digits.
void FillRandom(std::string& name) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (std::size_t i = name.size() >= 6 ? name.size() - 6 : 0; i < name.size(); ++i)
    name[i] = kChars[random() % (sizeof kChars - 1)];
}

// Opens a device, FIFO, socket or open descriptor for writing; -1 with errno on failure. With
// wait a FIFO waits for its reader, as a shell's redirection does; without, a FIFO that nobody
// reads fails at once (ENXIO), so that no worker can hang on a text name that is a FIFO.
int OpenStream(const Destination& d, bool wait) {
  if (d.descriptor >= 0) return ::fcntl(d.descriptor, F_DUPFD_CLOEXEC, 0);
  if (!d.socket) {
    int fd = ::open(d.path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | (wait ? 0 : O_NONBLOCK));
    // Writes then block as usual, instead of failing on a full pipe.
    if (fd >= 0 && !wait) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
  }
  sockaddr_un addr{};
  if (d.path.size() >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, d.path.c_str(), d.path.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

// "NAME.tmp-<tag>-XXXXXX" beside path; a long NAME is shortened so that the temporary name still
// fits in a folder entry.
std::string TempFileTemplate(const std::string& path) {
  const std::string suffix = ".tmp-" + OwnerTag() + "-XXXXXX";
  std::string folder = ExtractFilePath(path), name = ExtractFileName(path);
  const std::size_t room = NAME_MAX > suffix.size() ? NAME_MAX - suffix.size() : 0;
  if (name.size() > room) name.resize(room);
  return folder + name + suffix;
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
  return MakeFoldersTrusted(path) == 0;
}

void ForceDirectoriesOrThrow(const std::string& path) {
  if (path.empty()) throw EFileError("Unable to create directory");
  if (MakeFoldersTrusted(path) == 0) return;
  // The reason is what the user can act on: a file in the way, a read-only disk, a permission.
  throw EFileError("Unable to create directory (" +
                   (errno == ELOOP ? std::string("a link on its way belongs to another user") : ErrnoText(errno)) + ")");
}

std::string FolderWriteError(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return ErrnoText(errno);
  if (!S_ISDIR(st.st_mode)) return "it is a file, not a folder";
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return ErrnoText(errno);
  return std::string();
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool DeleteSocket(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && ::unlink(path.c_str()) == 0;
}

bool SocketAnswers(const std::string& path, int waitMs) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (!connected && (errno == EINPROGRESS || errno == EAGAIN)) {
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    connected =
        ::poll(&p, 1, waitMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  ::close(fd);
  return connected;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ReadFileRange(const std::string& path, long long offset, std::size_t length, std::string& contents,
                   long long& size) {
  contents.clear();
  size = 0;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && offset >= 0;
  if (ok) {
    size = st.st_size;
    contents.resize(offset < size ? static_cast<std::size_t>(std::min<long long>(length, size - offset)) : 0);
    std::size_t got = 0;
    while (ok && got < contents.size()) {
      ssize_t n =
          ::pread(fd, contents.data() + got, contents.size() - got, offset + static_cast<long long>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false;
      got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
  }
  ::close(fd);
  if (!ok) contents.clear();
  return ok;
}

bool ReadFileBytes(const std::string& path, std::string& contents, std::size_t maxBytes, bool followLinks) {
  contents.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
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
  Destination dest = Resolve(path);
  if (dest.kind == Destination::Folder)
    throw EFileError("Cannot write file \"" + path + "\". " + ErrnoText(EISDIR));
  if (dest.kind == Destination::Stream) {
    int fd = OpenStream(dest, false);
    if (fd < 0) throw EFileError("Cannot open file \"" + path + "\". " + ErrnoText(errno));
    bool ok = WriteAll(fd, contents);
    int err = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok) throw EFileError("Cannot write file \"" + path + "\". " + ErrnoText(err));
    return;
  }
  // The folder is opened once, following only the links of this user or root, and the text is
  // made and renamed inside that very folder: another user's link on the way leads nowhere.
  const std::string folder = ExtractFilePath(dest.path);
  const int dirFd = OpenTrusted(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
  if (dirFd < 0)
    throw EFileError("Cannot create file \"" + path + "\". " +
                     (errno == ELOOP ? std::string("A link on its way belongs to another user") : ErrnoText(errno)));
  std::string tmpl = ExtractFileName(TempFileTemplate(dest.path));
  const std::string name = ExtractFileName(dest.path);
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::string candidate = tmpl;
    FillRandom(candidate);
    fd = ::openat(dirFd, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) tmpl = candidate;
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int err = errno;
    ::close(dirFd);
    throw EFileError("Cannot create file \"" + path + "\". " + ErrnoText(err));
  }
  // mkstemp creates 0600. A replaced file keeps its permission bits (and, where the system allows,
  // its owner); a new one follows the user's umask like any other new file.
  if (dest.exists) {
    if (dest.st.st_uid != ::geteuid() || dest.st.st_gid != ::getegid())
      (void)::fchown(fd, dest.st.st_uid, dest.st.st_gid);
    if (!ownerOnly) ::fchmod(fd, dest.st.st_mode & 0777);
  } else if (!ownerOnly) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  if (ownerOnly) ::fchmod(fd, 0600);
  bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
  int err = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::renameat(dirFd, tmpl.c_str(), dirFd, name.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) ::unlinkat(dirFd, tmpl.c_str(), 0);
  ::close(dirFd);
  if (!ok) throw EFileError("Cannot write file \"" + path + "\". " + ErrnoText(err));
}

OutputFile::OutputFile(const std::string& path, bool append) {
  const auto fail = [&](const std::string& why) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw EFileError("Cannot open file \"" + path + "\". " + why);
  };
  Destination dest = Resolve(path);
  if (dest.descriptor >= 0) {
    fd_ = OpenStream(dest, true);
    if (fd_ < 0) fail(ErrnoText(errno));
    return;
  }
  // Opened without waiting: a FIFO that nobody reads would otherwise hold the run before it
  // converted anything. A link is followed only when it belongs to this user or to root.
  fd_ = OpenTrusted(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | (append ? O_APPEND : 0), 0666);
  if (fd_ < 0 && errno == ENXIO) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && dest.socket) {
      fd_ = OpenStream(dest, true);
      if (fd_ < 0) fail(ErrnoText(errno));
      return;
    }
    fail("It is a FIFO that nobody reads");
  }
  if (fd_ < 0 && errno == ELOOP) fail("A link on its way belongs to another user (or the links form a loop)");
  if (fd_ < 0) fail(ErrnoText(errno));
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) fail(ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) fail(ErrnoText(EISDIR));
  // A device that refuses every write (/dev/full) refuses an empty one too.
  if (S_ISCHR(st.st_mode) && ::write(fd_, "", 0) < 0) fail(ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) return;
  if (!append && ::ftruncate(fd_, 0) != 0) fail(ErrnoText(errno));
  // A full file system takes the open and refuses every line: found now, before anything is
  // converted, deleted or renamed, rather than at the first line.
  const off_t size = append ? st.st_size : 0;
  const int err = ::posix_fallocate(fd_, size, 64 * 1024);
  if (err == ENOSPC || err == EDQUOT || err == EFBIG) fail(ErrnoText(err));
  if (::ftruncate(fd_, size) != 0) fail(ErrnoText(errno));
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::string OutputFile::Write(const std::string& data) {
  // A log FIFO whose reader stalls must not hold a stopping run.
  int err = 0;
  if (WriteUnlessStopped(fd_, data, err)) return std::string();
  return ErrnoText(err);
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

std::string MakeTempDirectory(const std::string& prefix) { return MakeTempDirectoryIn(TemporaryFolder(), prefix); }

std::string MakeTempDirectoryIn(const std::string& folder, const std::string& prefix) {
  std::string tmpl = folder + "/" + prefix + OwnerTag() + "-XXXXXX";
  if (!::mkdtemp(tmpl.data())) {
    // The folder is TMPDIR's when that is set: the user has to know which setting to mend.
    const char* set = std::getenv("TMPDIR");
    throw EFileError("Cannot create a temporary folder in " + folder + (set && *set ? " (TMPDIR)" : "") + ". " +
                     ErrnoText(errno));
  }
  return tmpl;
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(path), ec);
}

}  // namespace platform
