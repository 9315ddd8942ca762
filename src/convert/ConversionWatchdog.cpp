#include "convert/ConversionWatchdog.h"

namespace convert {

ConversionWatchdog::~ConversionWatchdog() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    quit_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ConversionWatchdog::Arm(int limitMs, std::function<void()> onExpire) {
  if (limitMs <= 0) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
  armed_ = true;
  expired_ = false;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  onExpire_ = std::move(onExpire);
  wake_.notify_all();
}

bool ConversionWatchdog::Disarm() {
  std::unique_lock<std::mutex> guard(lock_);
  armed_ = false;
  wake_.notify_all();
  // The action may be killing the server right now; the worker must not go on before it ends.
  wake_.wait(guard, [this] { return !firing_; });
  bool expired = expired_;
  expired_ = false;
  onExpire_ = nullptr;
  return expired;
}

void ConversionWatchdog::Loop() {
  std::unique_lock<std::mutex> guard(lock_);
  while (!quit_) {
    if (!armed_) {
      wake_.wait(guard);
      continue;
    }
    if (wake_.wait_until(guard, deadline_) == std::cv_status::timeout && armed_ &&
        std::chrono::steady_clock::now() >= deadline_) {
      armed_ = false;
      expired_ = true;
      firing_ = true;
      auto action = onExpire_;
      guard.unlock();
      if (action) action();
      guard.lock();
      firing_ = false;
      wake_.notify_all();
    }
  }
}

}  // namespace convert
