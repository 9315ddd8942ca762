#pragma once
// A per-worker timer that fires once when a conversion takes longer than its limit. The worker
// arms it before it talks to its word processor and disarms it afterwards; when the limit
// passes first, the expiry action (killing the server) runs on the watchdog's own thread, which
// makes the worker's call in progress return with an error.
//
// Threads: Arm and Disarm on the owning worker thread; the action on the watchdog thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace convert {

class ConversionWatchdog {
 public:
  ConversionWatchdog() = default;
  ~ConversionWatchdog();
  ConversionWatchdog(const ConversionWatchdog&) = delete;
  ConversionWatchdog& operator=(const ConversionWatchdog&) = delete;

  // Starts the clock; limitMs <= 0 means no limit.
  void Arm(int limitMs, std::function<void()> onExpire);
  // Stops the clock. True when the limit had passed and the action ran (or is running: Disarm
  // waits for it to finish).
  bool Disarm();

 private:
  void Loop();

  std::mutex lock_;
  std::condition_variable wake_;
  std::thread thread_;
  bool quit_ = false;
  bool armed_ = false;
  bool expired_ = false;
  bool firing_ = false;
  std::chrono::steady_clock::time_point deadline_{};
  std::function<void()> onExpire_;
};

}  // namespace convert
