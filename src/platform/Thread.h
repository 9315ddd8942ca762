#pragma once
// The thread base of the engine: created suspended, started once, a terminate request that
// the running code polls, WaitFor, and optionally freeing itself when its run ends.
//
// Ownership: a thread with freeOnTerminate deletes itself on its own thread after Execute
// returns; nobody else may delete it or touch it after that. A thread without it belongs to
// its creator, who must end it (Terminate, WaitFor) in the most derived destructor, before the
// members Execute uses are destroyed.
#include <atomic>
#include <thread>

namespace platform {

class Thread {
 public:
  explicit Thread(bool freeOnTerminate);
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts Execute on a new thread; a second call does nothing. Any thread.
  void Start();
  // Asks Execute to end at its next check. Any thread.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Started() const { return started_.load(); }
  bool Finished() const { return finished_.load(); }
  // Waits until Execute has returned (only for threads that do not free themselves).
  void WaitFor();

 protected:
  // The thread's work. Anything it throws is swallowed: nothing escapes a thread.
  virtual void Execute() = 0;

 private:
  void Run();

  const bool freeOnTerminate_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// Sleeps the calling thread; 0 yields the processor.
void Sleep(unsigned milliseconds);

// The processors this process may run on (its CPU affinity, so a taskset or container limit
// counts); at least 1. Any thread.
int ProcessorCount();

}  // namespace platform
