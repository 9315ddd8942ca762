#pragma once
// Hand-over of a call to the program's main thread, the caller blocked until it has run there.
// The windowed program installs a dispatcher that runs calls on its event loop; without one
// (the headless run, engine tests) the call runs directly on the calling thread.
#include <functional>

namespace platform {

class MainThreadDispatcher {
 public:
  virtual ~MainThreadDispatcher() = default;
  // Runs call on the main thread and returns when it has finished there.
  virtual void RunAndWait(const std::function<void()>& call) = 0;
};

// Installs the dispatcher (nullptr removes it). The dispatcher must outlive every worker.
void SetMainThreadDispatcher(MainThreadDispatcher* dispatcher);
void RunOnMainThread(const std::function<void()>& call);

}  // namespace platform
