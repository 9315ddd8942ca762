#include "platform/Thread.h"

#include <chrono>

namespace platform {

Thread::Thread(bool freeOnTerminate) : freeOnTerminate_(freeOnTerminate) {}

Thread::~Thread() {
  if (thread_.joinable()) {
    Terminate();
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();
    else
      thread_.join();
  }
}

void Thread::Start() {
  bool expected = false;
  if (!started_.compare_exchange_strong(expected, true)) return;
  thread_ = std::thread([this] { Run(); });
  // A self-freeing thread deletes itself, so nobody may join it.
  if (freeOnTerminate_) thread_.detach();
}

void Thread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Thread::Run() {
  try {
    Execute();
  } catch (...) {
  }
  finished_.store(true);
  if (freeOnTerminate_) delete this;
}

void Sleep(unsigned milliseconds) {
  if (milliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
