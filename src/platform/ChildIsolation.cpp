#include "platform/ChildIsolation.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

const std::string& PrivateNetworkProblem() {
  static const std::string problem = [] {
    IdMaps maps = PrepareIdMaps();
    pid_t pid = fork();
    if (pid < 0) return std::string("no process could be started to try it: ") + strerror(errno);
    if (pid == 0) _exit(EnterPrivateNetwork(maps) & 0xff);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::string();
    int err = WIFEXITED(status) ? WEXITSTATUS(status) : EINVAL;
    return std::string("the system refused a network namespace (") + strerror(err) + ")";
  }();
  return problem;
}

}  // namespace platform::detail
