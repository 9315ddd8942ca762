#include "platform/Shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "platform/Paths.h"
#include "platform/TextEncoding.h"

extern char** environ;

namespace platform {

void ShellOpen(const std::string& link) {
  // A local name is bytes that must be found on disk as they are; only a URL (http:, mailto:)
  // carries its characters outside ASCII percent-encoded. A single letter before ":" is no
  // scheme, and a ":" after a "/" belongs to a path.
  std::string arg = UrlSchemeLength(link) >= 2 ? PercentEncodeNonAscii(link) : link;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (::posix_spawn_file_actions_init(&actions) != 0) return;
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ::posix_spawnattr_init(&attr);
  // Its own session, so that the handler outlives us and never receives our terminal's signals.
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  char* argv[] = {const_cast<char*>("xdg-open"), arg.data(), nullptr};
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, "xdg-open", &actions, &attr, argv, environ);
  ::posix_spawnattr_destroy(&attr);
  ::posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return;
  // Reaped in the background: the caller never waits, and no zombie is left behind.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace platform
