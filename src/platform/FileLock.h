#pragma once
// An exclusive lock that other processes respect: flock on a lock file, so that programs that
// share one file (shards of a cluster job updating one counters file) take turns. The lock is
// tied to this object's own open of the file, so two objects in one process exclude each other
// too. It is held until the object is destroyed; the lock file itself stays.
//
// Threads: one object belongs to one thread.
#include <string>

namespace platform {

class FileLock {
 public:
  // Creates the lock file when missing (owner-only) and waits up to timeoutMs for the lock.
  // Held() is false when the file cannot be opened or the wait ran out; the caller then goes on
  // unprotected or gives up, as it sees fit.
  FileLock(const std::string& path, unsigned timeoutMs);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace platform
