#include "automation/libreoffice/PeerConnection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <com/sun/star/io/IOException.hpp>
#include <cppuhelper/implbase1.hxx>

#include "automation/libreoffice/UnoSession.h"

namespace automation::lo {
namespace {

using css::uno::Sequence;

class SocketConnection : public cppu::WeakImplHelper1<css::connection::XConnection> {
 public:
  SocketConnection(int fd, std::string description) : fd_(fd), description_(std::move(description)) {}
  ~SocketConnection() override { ::close(fd_); }

  // The bridge reads whole messages: a short read is only the end of the connection.
  sal_Int32 SAL_CALL read(Sequence<sal_Int8>& data, sal_Int32 wanted) override {
    if (data.getLength() != wanted) data.realloc(wanted);
    sal_Int32 got = 0;
    while (got < wanted) {
      ssize_t n = ::recv(fd_, data.getArray() + got, static_cast<std::size_t>(wanted - got), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw css::io::IOException("LibreOffice's pipe: " + ToOU(std::strerror(errno)));
      if (n == 0) break;
      got += static_cast<sal_Int32>(n);
    }
    if (got < wanted) data.realloc(got);
    return got;
  }

  void SAL_CALL write(const Sequence<sal_Int8>& data) override {
    const sal_Int8* p = data.getConstArray();
    std::size_t left = static_cast<std::size_t>(data.getLength());
    while (left > 0) {
      ssize_t n = ::send(fd_, p, left, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw css::io::IOException("LibreOffice's pipe: " + ToOU(std::strerror(errno)));
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }

  void SAL_CALL flush() override {}

  // Ends a read in progress on the bridge's thread; the descriptor goes with the object.
  void SAL_CALL close() override {
    if (!closed_.exchange(true)) ::shutdown(fd_, SHUT_RDWR);
  }

  OUString SAL_CALL getDescription() override { return ToOU(description_); }

 private:
  const int fd_;
  const std::string description_;
  std::atomic<bool> closed_{false};
};

}  // namespace

PeerConnectResult ConnectToPeer(const std::string& path, int expectedPid, unsigned expectedUid) {
  PeerConnectResult result;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    result.why = "the pipe's name is too long";
    return result;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return result;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return result;
  }
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.pid != expectedPid ||
      peer.uid != expectedUid) {
    ::close(fd);
    result.kind = PeerConnectResult::WrongPeer;
    result.why = "another process holds LibreOffice's pipe " + path + " (pid " + std::to_string(peer.pid) +
                 ", uid " + std::to_string(peer.uid) + "; the office is pid " + std::to_string(expectedPid) + ")";
    return result;
  }
  result.kind = PeerConnectResult::Connected;
  result.connection = new SocketConnection(fd, "pipe:" + path);
  return result;
}

}  // namespace automation::lo
