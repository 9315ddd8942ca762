#include "convert/ConversionWatchdog.h"

namespace convert {

namespace {

constexpr std::chrono::milliseconds kMemoryInterval(100);

}  // namespace

ConversionWatchdog::~ConversionWatchdog() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    quit_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ConversionWatchdog::Arm(int limitMs, std::function<void()> onExpire, std::function<bool()> overMemory) {
  if (limitMs <= 0 && !overMemory) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
  armed_ = true;
  timed_ = limitMs > 0;
  expired_ = Expiry::None;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timed_ ? limitMs : 0);
  onExpire_ = std::move(onExpire);
  overMemory_ = std::move(overMemory);
  wake_.notify_all();
}

ConversionWatchdog::Expiry ConversionWatchdog::Disarm() {
  std::unique_lock<std::mutex> guard(lock_);
  armed_ = false;
  wake_.notify_all();
  // The action may be killing the server right now; the worker must not go on before it ends.
  wake_.wait(guard, [this] { return !firing_; });
  Expiry expired = expired_;
  expired_ = Expiry::None;
  onExpire_ = nullptr;
  overMemory_ = nullptr;
  return expired;
}

void ConversionWatchdog::Fire(std::unique_lock<std::mutex>& guard, Expiry why) {
  armed_ = false;
  expired_ = why;
  firing_ = true;
  auto action = onExpire_;
  guard.unlock();
  if (action) action();
  guard.lock();
  firing_ = false;
  wake_.notify_all();
}

void ConversionWatchdog::Loop() {
  std::unique_lock<std::mutex> guard(lock_);
  while (!quit_) {
    if (!armed_) {
      wake_.wait(guard);
      continue;
    }
    auto now = std::chrono::steady_clock::now();
    auto until = overMemory_ ? now + kMemoryInterval : deadline_;
    if (timed_ && deadline_ < until) until = deadline_;
    wake_.wait_until(guard, until);
    if (!armed_ || quit_) continue;
    if (timed_ && std::chrono::steady_clock::now() >= deadline_) {
      Fire(guard, Expiry::TimeLimit);
      continue;
    }
    if (overMemory_) {
      // Asked without the lock: reading /proc must not hold up a Disarm.
      auto probe = overMemory_;
      guard.unlock();
      bool over = probe();
      guard.lock();
      if (over && armed_) Fire(guard, Expiry::MemoryLimit);
    }
  }
}

}  // namespace convert
