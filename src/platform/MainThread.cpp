#include "platform/MainThread.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<MainThreadDispatcher*> g_dispatcher{nullptr};
}

void SetMainThreadDispatcher(MainThreadDispatcher* dispatcher) { g_dispatcher.store(dispatcher); }

void RunOnMainThread(const std::function<void()>& call) {
  if (auto* d = g_dispatcher.load())
    d->RunAndWait(call);
  else
    call();
}

}  // namespace platform
