#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/Thread.h"

namespace platform {

FileLock::FileLock(const std::string& path, unsigned timeoutMs) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  // Polled rather than blocking, so that a holder that never lets go (a stopped process, a
  // lost network lock) costs a bounded wait instead of a hung program.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
      held_ = true;
      return;
    }
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) return;
    Sleep(2);
  }
}

FileLock::~FileLock() {
  // Closing the file releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
