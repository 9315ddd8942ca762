#pragma once
// What a watch remembers of each document it handled: the state of the file it listed
// (device, inode, size, modification time), whether it failed and when to try it again. With
// it a watch converts each change once, however many reports the kernel sends of it and
// whether the first pass or a round took it first; it tries a failed document again at its
// next change, and, for failures that may pass on their own (a full disk, an office that
// died), after a backoff of one minute that doubles up to an hour; and it tells which
// outcomes say nothing new (a document left as it was, a retry failing as before), so that
// they write no line. It holds one record per document in the tree (ForgetGone lets go of those
// that left it), never one per conversion.
//
// Admit is called by a round's listing thread, Settle by its workers, the rest by the watch's
// thread: every member takes the one lock.
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace app {

class WatchMemory {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether a round should take path: it changed since it was last handled, was never
  // handled, or its retry is due. Remembers the state it saw for Settle.
  bool Admit(const std::string& path, Clock::time_point now);
  // Records the outcome of path (as listed by Admit). reason: a failure's kind, empty for a
  // success. Returns false when the outcome is worth no log line: a success that left the
  // text as it was (kept), or a failure that repeats the last one of an unchanged document.
  bool Settle(const std::string& path, bool failed, bool kept, const std::string& reason, const std::string& message,
              Clock::time_point now);
  // The failed documents whose retry is due, each once: Settle schedules the next.
  std::vector<std::string> DueRetries(Clock::time_point now);
  // Drops what it holds of documents no longer there (converted and deleted, moved away), so
  // that a watch that runs for months holds what its tree holds, not all it ever converted.
  void ForgetGone();
  std::size_t Remembered() const;

  static constexpr std::chrono::seconds kFirstRetry{60};
  static constexpr std::chrono::seconds kLongestRetry{3600};

 private:
  struct Stamp {
    uint64_t device = 0, inode = 0;
    int64_t size = -1, modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Record {
    Stamp stamp;
    bool failed = false;
    std::string failure;      // reason and message of the last failure
    int retries = 0;          // of the unchanged document since it first failed
    Clock::time_point retryAt = Clock::time_point::max();
    bool retrying = false;  // handed out by DueRetries, not settled since
  };
  static Stamp StampOf(const std::string& path);

  mutable std::mutex lock_;
  std::map<std::string, Stamp> listed_;    // by Admit, until Settle
  std::map<std::string, Record> handled_;
};

}  // namespace app
