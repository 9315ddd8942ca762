#include "app/WatchMemory.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/FailureReason.h"

namespace app {

namespace {

namespace cr = core::reason;

// Failures a retry of the same bytes may cure: the disk, the office, the machine's load.
bool FailureMayPass(const std::string& reason) {
  for (const char* kind : {cr::kWrite, cr::kOffice, cr::kTimeout, cr::kMemory, cr::kUnreadable, cr::kOther})
    if (reason == kind) return true;
  return false;
}

}  // namespace

WatchMemory::Stamp WatchMemory::StampOf(const std::string& path) {
  Stamp stamp;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return stamp;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

bool WatchMemory::Admit(const std::string& path, Clock::time_point now) {
  const Stamp stamp = StampOf(path);
  std::lock_guard<std::mutex> guard(lock_);
  auto known = handled_.find(path);
  // A file gone since its report is listed all the same: the round says what became of it.
  if (known != handled_.end() && stamp.size >= 0 && known->second.stamp == stamp && now < known->second.retryAt &&
      !known->second.retrying)
    return false;
  listed_[path] = stamp;
  return true;
}

bool WatchMemory::Settle(const std::string& path, bool failed, bool kept, const std::string& reason,
                         const std::string& message, Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  auto listed = listed_.find(path);
  const Stamp stamp = listed != listed_.end() ? listed->second : StampOf(path);
  if (listed != listed_.end()) listed_.erase(listed);
  Record& record = handled_[path];
  const bool unchanged = record.stamp == stamp;
  const std::string failure = reason + "\n" + message;
  const bool repeated = failed && record.failed && unchanged && record.failure == failure;
  record.retries = failed && record.failed && unchanged ? record.retries + 1 : 0;
  record.stamp = stamp;
  record.failed = failed;
  record.failure = failed ? failure : std::string();
  record.retryAt = Clock::time_point::max();
  record.retrying = false;
  if (failed && FailureMayPass(reason))
    record.retryAt = now + std::min<std::chrono::seconds>(kFirstRetry * (1LL << std::min(record.retries, 6)),
                                                         kLongestRetry);
  return !kept && !repeated;
}

std::vector<std::string> WatchMemory::DueRetries(Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> due;
  for (auto& [path, record] : handled_)
    if (record.retryAt <= now) {
      due.push_back(path);
      record.retryAt = Clock::time_point::max();
      record.retrying = true;
    }
  return due;
}

void WatchMemory::ForgetGone() {
  std::vector<std::string> paths;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [path, record] : handled_) paths.push_back(path);
  }
  // Looked at without the lock: a round's workers settle meanwhile.
  std::vector<std::string> gone;
  for (const auto& path : paths)
    if (StampOf(path).size < 0) gone.push_back(path);
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& path : gone)
    if (auto it = handled_.find(path); it != handled_.end() && StampOf(path).size < 0) handled_.erase(it);
}

std::size_t WatchMemory::Remembered() const {
  std::lock_guard<std::mutex> guard(lock_);
  return handled_.size();
}

}  // namespace app
