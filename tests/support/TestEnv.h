#pragma once
// Shared test helpers: temporary folders, file contents, the recording xdg-open and waiting
// for a condition with a bound.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system temporary folder, removed when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Puts the recording xdg-open first on PATH for this process and its children and makes it
// write to a log of its own; restores PATH when it goes.
class RecordingOpener {
 public:
  RecordingOpener();
  ~RecordingOpener();
  RecordingOpener(const RecordingOpener&) = delete;
  RecordingOpener& operator=(const RecordingOpener&) = delete;
  // The links opened so far (each entry: "<argument count>\t<arguments>").
  std::vector<std::string> Calls() const;
  // Waits (bounded) until at least n calls were recorded, then returns them.
  std::vector<std::string> WaitForCalls(std::size_t n, std::chrono::milliseconds bound = std::chrono::seconds(10)) const;
  const std::string& logPath() const { return log_; }

 private:
  TempDir dir_;
  std::string log_;
  std::string oldPath_;
};

// Polls cond every 10 ms until it holds or bound passes; returns its last answer.
bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds bound);

}  // namespace testsupport
