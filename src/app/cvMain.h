#pragma once
// TcvMain: the headless runner. Converts the project's source without any window: starts the
// batch and the converter workers, waits for the last worker, records the usage counters,
// opens the failure report when files failed and writes the run log.
//
// Threads: Run and Finish on the main thread; ReportNode on the worker threads, serialised by
// the log's lock.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace batch {
class TcvBatch;
struct TcvNode;
}  // namespace batch

namespace app {

class ProgressLine;

class TcvMain {
 public:
  // Exit statuses of the headless run.
  enum Status { kAllSucceeded = 0, kSomeFailed = 1, kNotCarriedOut = 2 };

  TcvMain();
  ~TcvMain();
  TcvMain(const TcvMain&) = delete;
  TcvMain& operator=(const TcvMain&) = delete;

  // Runs the whole batch and returns the exit status. When a termination signal arrives the
  // enumeration stops, the workers finish the entry in hand, and the run is finished normally:
  // counters, report and log cover what was done.
  int Run();

  void ReportNode(batch::TcvBatch& batch, batch::TcvNode& node);
  // The log lines so far, as they are written to the file: text in the locale's charset,
  // names as their bytes on disk.
  std::vector<std::string> RunLog() const;

 private:
  int Finish();
  static std::string StatusWord(int status);

  std::unique_ptr<batch::TcvBatch> batch_;
  mutable std::mutex logLock_;
  std::vector<std::string> runLog_;
  std::unique_ptr<ProgressLine> progress_;
};

}  // namespace app
