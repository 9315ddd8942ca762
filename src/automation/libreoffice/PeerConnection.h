#pragma once
// The connection to an office's accept pipe, made by this program itself rather than by UNO's
// pipe connector, so that it can ask the system who listens there before a byte is sent: only
// the office process this program started, running as the account it was started as. Anyone
// else who bound the pipe's name first (the name can be read from the office's command line)
// gets nothing, and the start fails at once instead of hanging on a stranger's socket.
//
// Threads: the bridge reads on its own thread while calls write on others; close may come from
// any thread and ends a read in progress.
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include <string>

namespace automation::lo {

struct PeerConnectResult {
  enum Kind { Connected, NotListening, WrongPeer } kind = NotListening;
  css::uno::Reference<css::connection::XConnection> connection;
  std::string why;  // WrongPeer: who holds the pipe
};

// Connects to the stream socket at path and checks its peer's credentials (SO_PEERCRED).
PeerConnectResult ConnectToPeer(const std::string& path, int expectedPid, unsigned expectedUid);

}  // namespace automation::lo
