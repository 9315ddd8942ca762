#include "automation/libreoffice/UnoSession.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <rtl/bootstrap.hxx>

#include "automation/LibreOfficeWriter.h"
#include "automation/OleError.h"
#include "automation/libreoffice/OfficeProcess.h"
#include "automation/libreoffice/PeerConnection.h"

namespace automation::lo {
namespace {

using namespace css::uno;

// Only flags the session: the bridge's own thread delivers this, and nothing UNO may be
// called from here.
class BridgeListener : public cppu::WeakImplHelper1<css::lang::XEventListener> {
 public:
  explicit BridgeListener(std::shared_ptr<std::atomic<bool>> flag) : flag_(std::move(flag)) {}
  void SAL_CALL disposing(const css::lang::EventObject&) override { flag_->store(true); }

 private:
  std::shared_ptr<std::atomic<bool>> flag_;
};

// The local context is made once and kept for the program's life: tearing the UNO runtime
// down at exit, with bridges possibly still in flight, gains nothing.
Reference<XComponentContext> LocalContext() {
  static std::once_flag once;
  static Reference<XComponentContext>* context = nullptr;
  static std::string error;
  std::call_once(once, [] {
    // Without this only the base types load, and the first office call crashes in the bridge.
    rtl::Bootstrap::set("URE_BOOTSTRAP",
                        ToOU("vnd.sun.star.pathname:" + LibreOfficeProgramFolder() + "/fundamentalrc"));
    try {
      context = new Reference<XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
    } catch (const Exception& e) {
      error = FromOU(e.Message);
    }
  });
  if (!context || !context->is())
    throw EOleError("The UNO runtime of LibreOffice could not be started: " + error);
  return *context;
}

// Kills the office when the start has not finished by the deadline: whatever call of the start
// waits on it then ends. Disarm tells whether the start finished in time.
class StartLimit {
 public:
  StartLimit(OfficeProcess& office, std::chrono::steady_clock::time_point deadline)
      : thread_([this, &office, deadline] {
          std::unique_lock<std::mutex> guard(lock_);
          if (!changed_.wait_until(guard, deadline, [this] { return disarmed_; })) {
            expired_ = true;
            office.Kill();
          }
        }) {}
  ~StartLimit() { Disarm(); }
  // False when the limit had passed (and the office was killed).
  bool Disarm() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      disarmed_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    return !expired_;
  }
  bool Expired() {
    std::lock_guard<std::mutex> guard(lock_);
    return expired_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool disarmed_ = false;
  bool expired_ = false;
  std::thread thread_;
};

}  // namespace

OUString ToOU(const std::string& utf8) {
  return rtl::OUString(utf8.data(), static_cast<sal_Int32>(utf8.size()), RTL_TEXTENCODING_UTF8);
}

std::string FromOU(const OUString& text) {
  rtl::OString s = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
  return std::string(s.getStr(), s.getLength());
}

UnoSession::UnoSession(OfficeProcess& office, std::chrono::milliseconds bound)
    : disconnected_(std::make_shared<std::atomic<bool>>(false)) {
  // One limit from the first attempt on, handshake included: an office (or anything posing as
  // one) that takes the connection and then never answers ends the start too.
  const auto deadline = std::chrono::steady_clock::now() + bound;
  StartLimit limit(office, deadline);
  try {
    Reference<XComponentContext> local = LocalContext();
    int restarts = 0;
    Reference<css::connection::XConnection> connection;
    while (!connection.is()) {
      PeerConnectResult attempt = ConnectToPeer(office.AcceptPipePath(), office.Pid(), office.Uid());
      if (attempt.kind == PeerConnectResult::Connected) {
        connection = attempt.connection;
        break;
      }
      if (attempt.kind == PeerConnectResult::WrongPeer) throw EOleError(attempt.why);
      if (!office.IsRunning()) {
        auto exit = office.Exit();
        if (exit && !exit->signaled && exit->code == kRestartRequested && restarts++ < 3) {
          office.Restart();
          continue;
        }
        if (limit.Expired()) break;
        throw EOleError(office.ProgramPath() + " ended during start-up (" +
                        (exit ? platform::Describe(*exit) : std::string("exit status -1")) + ")");
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    if (connection.is()) {
      bridge_ = css::bridge::BridgeFactory::create(local)->createBridge(OUString(), "urp", connection, nullptr);
      Reference<css::lang::XComponent>(bridge_, UNO_QUERY_THROW)
          ->addEventListener(new BridgeListener(disconnected_));
      context_.set(bridge_->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
      desktop_ = css::frame::Desktop::create(context_);
    }
    if (!limit.Disarm() || !desktop_.is())
      throw EOleError(office.ProgramPath() + " did not accept a connection within " +
                      std::to_string(bound.count() / 1000) + " seconds");
  } catch (const EOleError&) {
    limit.Disarm();
    Dispose();
    throw;
  } catch (const Exception& e) {
    const bool expired = !limit.Disarm();
    Dispose();
    if (expired)
      throw EOleError(office.ProgramPath() + " did not accept a connection within " +
                      std::to_string(bound.count() / 1000) + " seconds");
    throw EOleError("Cannot connect to LibreOffice: " + FromOU(e.Message));
  }
}

UnoSession::~UnoSession() {
  // Remote references must go before the bridge that carries their release calls.
  desktop_.clear();
  context_.clear();
  Dispose();
}

void UnoSession::Dispose() {
  Reference<css::lang::XComponent> component(bridge_, UNO_QUERY);
  if (!component.is()) return;
  try {
    component->dispose();
  } catch (...) {
    // Disposing twice, or a bridge that is already going: nothing left to do.
  }
  disconnected_->store(true);
}

void RethrowAsOle(bool serverGone, const std::string& goneMessage) {
  try {
    throw;
  } catch (const EOleServerGone&) {
    throw;
  } catch (const EOleError& e) {
    if (serverGone) throw EOleServerGone(goneMessage);
    throw;
  } catch (const css::lang::DisposedException&) {
    throw EOleServerGone(goneMessage);
  } catch (const Exception& e) {
    if (serverGone) throw EOleServerGone(goneMessage);
    std::string message = FromOU(e.Message);
    // Office messages can carry a source location on a line of their own; the first line is
    // what a user can read.
    message = message.substr(0, message.find('\n'));
    throw EOleError(message.empty() ? "LibreOffice reported an error" : message);
  } catch (const std::exception& e) {
    if (serverGone) throw EOleServerGone(goneMessage);
    throw EOleError(e.what());
  } catch (...) {
    throw EOleError(serverGone ? goneMessage : "Unspecified error");
  }
}

}  // namespace automation::lo
