#include "platform/PrivateCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Account.h"
#include "platform/Beneath.h"

namespace platform {

namespace {

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

bool WriteAllTo(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

CopyOutcome CopyPrivately(const std::string& source, const std::string& folder, const std::string& name,
                          long long maxBytes) {
  CopyOutcome outcome;
  Descriptor in;
  // Through the links of this user or root only; O_NONBLOCK: a FIFO put in the document's
  // place must not hold the open.
  in.fd = OpenTrusted(source, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (in.fd < 0) {
    outcome.kind = errno == ELOOP ? CopyOutcome::Link : CopyOutcome::Unreadable;
    outcome.error = errno;
    return outcome;
  }
  struct stat st {};
  if (::fstat(in.fd, &st) != 0) {
    outcome.kind = CopyOutcome::Unreadable;
    outcome.error = errno;
    return outcome;
  }
  if (!S_ISREG(st.st_mode)) {
    outcome.kind = CopyOutcome::NotAFile;
    return outcome;
  }
  outcome.size = st.st_size;
  // The size on record decides before a byte is read: a sparse file of terabytes costs nothing.
  if (st.st_size > maxBytes) {
    outcome.kind = CopyOutcome::TooLarge;
    return outcome;
  }
  const std::string target = folder + "/" + name;
  Descriptor out;
  out.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out.fd < 0) {
    outcome.kind = CopyOutcome::Unwritable;
    outcome.error = errno;
    return outcome;
  }
  auto fail = [&](CopyOutcome::Kind kind, int error) {
    ::unlink(target.c_str());
    outcome.kind = kind;
    outcome.error = error;
    return outcome;
  };
  if (!HandToOfficeAccount(out.fd)) return fail(CopyOutcome::Unwritable, errno);
  char buffer[1 << 16];
  long long copied = 0;
  for (;;) {
    ssize_t n = ::read(in.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(CopyOutcome::Unreadable, errno);
    if (n == 0) break;
    copied += n;
    // A file that grows while it is read is held to the same bound.
    if (copied > maxBytes) {
      outcome.size = copied;
      return fail(CopyOutcome::TooLarge, 0);
    }
    if (!WriteAllTo(out.fd, buffer, static_cast<std::size_t>(n))) return fail(CopyOutcome::Unwritable, errno);
  }
  outcome.size = copied;
  return outcome;
}

}  // namespace platform
