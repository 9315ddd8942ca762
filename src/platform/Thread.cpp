#include "platform/Thread.h"

#include <sched.h>

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
  if (freeOnTerminate_) {
    // A self-freeing thread may delete this object before std::thread's constructor returns:
    // its handle is never stored here, and nothing touches a member after the launch.
    std::thread(&Thread::Run, this).detach();
    return;
  }
  thread_ = std::thread([this] { Run(); });
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

int ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace platform
