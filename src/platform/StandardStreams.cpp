#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileSystem.h"

namespace platform {

void CopyStandardInputTo(const std::string& path) {
  int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) throw EFileError(std::string(std::strerror(errno)));
  char buffer[1 << 16];
  std::string error;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        error = std::strerror(errno);
        break;
      }
      done += w;
    }
    if (!error.empty()) break;
  }
  if (::close(out) != 0 && error.empty()) error = std::strerror(errno);
  if (!error.empty()) {
    ::unlink(path.c_str());
    throw EFileError(error);
  }
}

StreamWrite WriteStandardOutput(const std::string& data, std::string& error) {
  for (size_t done = 0; done < data.size();) {
    ssize_t w = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) {
      if (errno == EPIPE) return StreamWrite::Closed;
      error = std::strerror(errno);
      return StreamWrite::Failed;
    }
    done += static_cast<size_t>(w);
  }
  return StreamWrite::Written;
}

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace platform
