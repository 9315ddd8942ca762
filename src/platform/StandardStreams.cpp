#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Signals.h"

namespace platform {

namespace {

// Waits until fd is ready for events, in short steps; false once a stop was requested. A write
// that can go at once still goes after a stop (a log line that a source action waits for); a
// read never starts after one.
bool WaitReady(int fd, short events) {
  for (;;) {
    const bool stopped = StopRequested();
    if (stopped && events == POLLIN) return false;
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, stopped ? 0 : 100);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // the read or write says what is wrong
    if (stopped) return false;
  }
}

}  // namespace

void CopyStandardInputTo(const std::string& path, long long maxBytes) {
  int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) throw EFileError(std::string(std::strerror(errno)));
  char buffer[1 << 16];
  std::string error;
  long long total = 0;
  for (;;) {
    // A stop must end a run whose input never ends.
    if (!WaitReady(STDIN_FILENO, POLLIN)) {
      error = "the run was stopped while it read standard input";
      break;
    }
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) {
      error = std::strerror(errno);
      break;
    }
    if (n == 0) break;
    total += n;
    // An endless input (/dev/zero) must not fill the disk: it is no document anyway.
    if (total > maxBytes) {
      error = "it is longer than " + std::to_string(maxBytes) + " bytes, the most a document may have (MaxDocumentSize)";
      break;
    }
    int err = 0;
    std::string chunk(buffer, static_cast<std::size_t>(n));
    if (!WriteUnlessStopped(out, chunk, err)) {
      error = std::strerror(err);
      break;
    }
  }
  if (::close(out) != 0 && error.empty()) error = std::strerror(errno);
  if (!error.empty()) {
    ::unlink(path.c_str());
    throw EFileError(error);
  }
}

bool WriteUnlessStopped(int fd, const std::string& data, int& err) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    if (!WaitReady(fd, POLLOUT)) {
      err = ECANCELED;
      return false;
    }
    // At most one pipe buffer at a time: room for it is what the wait promised.
    ssize_t n = ::write(fd, p, std::min<std::size_t>(left, PIPE_BUF));
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      err = errno;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

StreamWrite WriteStandardOutput(const std::string& data, std::string& error) {
  int err = 0;
  if (WriteUnlessStopped(STDOUT_FILENO, data, err)) return StreamWrite::Written;
  if (err == EPIPE) return StreamWrite::Closed;
  error = std::strerror(err);
  return StreamWrite::Failed;
}

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace platform
