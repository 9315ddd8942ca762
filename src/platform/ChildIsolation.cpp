#include "platform/ChildIsolation.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace platform::detail {
namespace {

int WriteWhole(const char* path, const char* text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  size_t length = strlen(text);
  ssize_t n = write(fd, text, length);
  int err = n == static_cast<ssize_t>(length) ? 0 : (n < 0 ? errno : EIO);
  close(fd);
  return err;
}

// Runs trial in a short-lived child and says what it found: empty when the child ended with 0,
// else the phrase with the errno the child ended with. A probe needs its own process, as the
// namespaces it enters cannot be left again.
template <class Trial>
std::string ProblemInChild(const char* refused, Trial trial) {
  pid_t pid = fork();
  if (pid < 0) return std::string("no process could be started to try it: ") + strerror(errno);
  if (pid == 0) _exit(trial() & 0xff);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::string();
  int err = WIFEXITED(status) ? WEXITSTATUS(status) : EINVAL;
  return std::string(refused) + " (" + strerror(err) + ")";
}

}  // namespace

IdMaps PrepareIdMaps() {
  IdMaps maps{};
  snprintf(maps.uidMap, sizeof maps.uidMap, "%u %u 1\n", static_cast<unsigned>(geteuid()),
           static_cast<unsigned>(geteuid()));
  snprintf(maps.gidMap, sizeof maps.gidMap, "%u %u 1\n", static_cast<unsigned>(getegid()),
           static_cast<unsigned>(getegid()));
  return maps;
}

int EnterPrivateNetwork(const IdMaps& maps) {
  // Root (or a process holding CAP_SYS_ADMIN) needs nothing more.
  if (unshare(CLONE_NEWNET) == 0) return 0;
  if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return errno;
  // Without these maps the child would run as the overflow user and could not open its own
  // files; the group map is only accepted once setgroups is denied.
  if (int err = WriteWhole("/proc/self/uid_map", maps.uidMap)) return err;
  if (int err = WriteWhole("/proc/self/setgroups", "deny")) return err;
  return WriteWhole("/proc/self/gid_map", maps.gidMap);
}

bool PrepareTempLock(const std::string& writable, TempLock& lock) {
  lock = TempLock{};
  if (writable.empty() || writable.size() >= sizeof lock.writable) return errno = ENAMETOOLONG, false;
  std::memcpy(lock.writable, writable.c_str(), writable.size() + 1);
  const char* shared[] = {"/tmp", "/var/tmp"};
  for (int i = 0; i < 2; ++i) {
    TempLock::Folder& folder = lock.folders[i];
    std::strcpy(folder.path, shared[i]);
    struct statvfs vfs {};
    if (statvfs(shared[i], &vfs) != 0) {
      if (errno == ENOENT) continue;
      return false;
    }
    folder.present = true;
    folder.flags = MS_REMOUNT | MS_BIND | MS_RDONLY;
    if (vfs.f_flag & ST_NOSUID) folder.flags |= MS_NOSUID;
    if (vfs.f_flag & ST_NODEV) folder.flags |= MS_NODEV;
    if (vfs.f_flag & ST_NOEXEC) folder.flags |= MS_NOEXEC;
    if (vfs.f_flag & ST_NOATIME) folder.flags |= MS_NOATIME;
    if (vfs.f_flag & ST_NODIRATIME) folder.flags |= MS_NODIRATIME;
    if (vfs.f_flag & ST_RELATIME) folder.flags |= MS_RELATIME;
  }
  return true;
}

int LockSharedTemp(const TempLock& lock) {
  if (unshare(CLONE_NEWNS) != 0) return errno;
  // Nothing done here may reach the mounts of the machine.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return errno;
  // The writable folder first: the recursive binds below carry it along, writable, into the
  // read-only copies of the folders it may lie in.
  if (mount(lock.writable, lock.writable, nullptr, MS_BIND | MS_REC, nullptr) != 0) return errno;
  for (const auto& folder : lock.folders) {
    if (!folder.present) continue;
    if (mount(folder.path, folder.path, nullptr, MS_BIND | MS_REC, nullptr) != 0) return errno;
    if (mount(nullptr, folder.path, nullptr, folder.flags, nullptr) != 0) return errno;
  }
  return 0;
}

const std::string& TempLockProblem() {
  static const std::string problem = [] {
    if (!PrivateNetworkProblem().empty()) return std::string("no private network for its namespace");
    std::error_code ec;
    std::string folder = (std::filesystem::temp_directory_path(ec) / "qx-lock-probe-XXXXXX").string();
    if (!mkdtemp(folder.data())) return std::string("no folder to try it: ") + strerror(errno);
    IdMaps maps = PrepareIdMaps();
    TempLock lock;
    if (!PrepareTempLock(folder, lock)) {
      int err = errno;
      rmdir(folder.c_str());
      return std::string("the shared temporary folders cannot be examined (") + strerror(err) + ")";
    }
    std::string problem = ProblemInChild("the system refused a mount namespace", [&] {
      int err = EnterPrivateNetwork(maps);
      if (err == 0) err = LockSharedTemp(lock);
      // What the office looks at: /tmp no longer writable, the folder still writable.
      if (err == 0 && (access("/tmp", W_OK) == 0 || access(folder.c_str(), W_OK) != 0)) err = EPERM;
      return err;
    });
    rmdir(folder.c_str());
    return problem;
  }();
  return problem;
}

const std::string& PrivateNetworkProblem() {
  static const std::string problem = [] {
    IdMaps maps = PrepareIdMaps();
    return ProblemInChild("the system refused a network namespace", [&] { return EnterPrivateNetwork(maps); });
  }();
  return problem;
}

}  // namespace platform::detail
