#pragma once
// A per-worker guard that fires once when a conversion takes longer than its limit, or when its
// word processor grows past a memory limit. The worker arms it before it talks to its word
// processor and disarms it afterwards; when a limit passes first, the expiry action (killing
// the server) runs on the watchdog's own thread, which makes the worker's call in progress
// return with an error. Memory is looked at every 100 ms: a document that inflates to gigabytes
// grows by a few hundred megabytes in that time at most.
//
// Threads: Arm and Disarm on the owning worker thread; the probe and the action on the
// watchdog thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace convert {

class ConversionWatchdog {
 public:
  enum class Expiry { None, TimeLimit, MemoryLimit };

  ConversionWatchdog() = default;
  ~ConversionWatchdog();
  ConversionWatchdog(const ConversionWatchdog&) = delete;
  ConversionWatchdog& operator=(const ConversionWatchdog&) = delete;

  // Starts the clock; limitMs <= 0 means no time limit. overMemory, when given, is asked every
  // 100 ms whether the word processor holds more than it may; it must return at once.
  void Arm(int limitMs, std::function<void()> onExpire, std::function<bool()> overMemory = {});
  // Stops the guard. Which limit passed and made the action run (Disarm waits for a running
  // action to finish), or None.
  Expiry Disarm();

 private:
  void Loop();
  void Fire(std::unique_lock<std::mutex>& guard, Expiry why);

  std::mutex lock_;
  std::condition_variable wake_;
  std::thread thread_;
  bool quit_ = false;
  bool armed_ = false;
  bool timed_ = false;
  bool firing_ = false;
  Expiry expired_ = Expiry::None;
  std::chrono::steady_clock::time_point deadline_{};
  std::function<void()> onExpire_;
  std::function<bool()> overMemory_;
};

}  // namespace convert
