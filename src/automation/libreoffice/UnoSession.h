#pragma once
// The UNO side of one office: the process-wide local component context, and a connection
// (a bridge built by hand, so that we hear at once when the office goes away) with the remote
// context and desktop. Also the one place where UNO exceptions become EOleError and
// EOleServerGone. Internal to src/automation: the only header here that includes UNO.
//
// Threads: a session is used by its server's thread; Disconnected and Dispose may be called
// from any thread, but never from inside a UNO callback.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

namespace automation::lo {

namespace css = ::com::sun::star;
using css::uno::Reference;
using rtl::OUString;

class OfficeProcess;

// UTF-8 <-> the office's strings.
OUString ToOU(const std::string& utf8);
std::string FromOU(const OUString& text);

class UnoSession {
 public:
  // Connects to the office, retrying until it listens, within `bound`; restarts it when it ends
  // with the first-start status. Throws EOleError when it cannot connect.
  UnoSession(OfficeProcess& office, std::chrono::milliseconds bound);
  ~UnoSession();
  UnoSession(const UnoSession&) = delete;
  UnoSession& operator=(const UnoSession&) = delete;

  const Reference<css::uno::XComponentContext>& Context() const { return context_; }
  const Reference<css::frame::XDesktop2>& Desktop() const { return desktop_; }
  // True once the bridge has been disposed (office gone, connection lost, Dispose called).
  bool Disconnected() const { return disconnected_->load(); }
  // Disposes the bridge: calls in progress and later calls fail at once. Idempotent.
  void Dispose();

 private:
  std::shared_ptr<std::atomic<bool>> disconnected_;
  Reference<css::bridge::XBridge> bridge_;
  Reference<css::uno::XComponentContext> context_;
  Reference<css::frame::XDesktop2> desktop_;
};

// Call inside a catch block: rethrows the exception in flight as our own error. When
// serverGone is true (the caller knows the office has gone away), any failure becomes
// EOleServerGone(goneMessage); a bridge disposed under a call does too.
[[noreturn]] void RethrowAsOle(bool serverGone, const std::string& goneMessage);

}  // namespace automation::lo
