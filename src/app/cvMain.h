#pragma once
// TcvMain: the headless runner. Converts the project's source without any window: opens the
// run log (a run whose log cannot be written is not started), removes what killed runs left
// behind, starts the batch and the converter workers, appends each document's log line (text
// or JSON Lines, "LogFormat") as it finishes, waits for the last worker, records the usage
// counters and opens the failure report when files failed. As a filter (Source or Target "-")
// it reads the document from standard input or writes the texts to standard output in list
// order (FilterStreams). With "Watch" it then stays up and converts, in rounds,
// what is written or moved into the source tree, until a stop signal.
//
// Threads: Run and Finish on the main thread; ReportNode on the worker threads, serialised by
// the log's lock.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace core {
class TcvProject;
}

namespace batch {
class TcvBatch;
class TcvConvertor;
struct TcvNode;
}  // namespace batch

namespace platform {
class FileWatch;
class OutputFile;
}  // namespace platform

namespace app {

class FilterStreams;
class ProgressLine;
class WatchMemory;

class TcvMain {
 public:
  // Exit statuses of the headless run; a run ended by a stop signal exits with 128 + the
  // signal's number.
  // Standard output's reader went away before every text was written: the status a shell gives
  // a program that SIGPIPE ended (128 + 13), without the error storm or the offices left behind.
  enum Status { kAllSucceeded = 0, kSomeFailed = 1, kNotCarriedOut = 2, kBrokenPipe = 141 };
  // How long an interrupted run waits for its workers to let go before it ends without them.
  static constexpr int kAbandonWaitMs = 5000;

  TcvMain();
  ~TcvMain();
  TcvMain(const TcvMain&) = delete;
  TcvMain& operator=(const TcvMain&) = delete;

  // Runs the whole batch and returns the exit status. A run that cannot be carried out says
  // why on standard error. When a stop signal arrives the enumeration stops and the documents
  // in hand are abandoned (their word processors killed, nothing counted or reported for
  // them); counters, report and log cover what was done. Run may return while a worker is
  // still starting its word processor (after kAbandonWaitMs): batch::RunningWorkers() is then
  // above 0, and the caller must end the process without releasing what workers may touch.
  int Run();

  void ReportNode(batch::TcvBatch& batch, batch::TcvNode& node);
  // The entries reported so far. Only a count is kept: a watch that runs for months must not
  // hold a line of every document it converted.
  int Reported() const;

 private:
  int NotCarriedOut(const std::string& why);
  // Source "-": standard input becomes the source file. Empty, or why the run cannot start.
  std::string TakeStandardInput(core::TcvProject& project);
  // The log line of an entry, without its line end: names as the user gave them ("-" for the
  // standard streams), in the log's format.
  std::string LogLine(const batch::TcvNode& node, const std::string& source) const;
  // One batch and its workers over the source (only these paths when any, each document found
  // put to filter when set), counted and reported when it ends; kNotCarriedOut when it could
  // not start.
  int RunRound(std::vector<std::string> only, std::function<bool(const std::string&)> filter);
  // The watch of the source tree, set before the first pass; throws with the reason.
  std::unique_ptr<platform::FileWatch> StartWatch() const;
  // Rounds over what changed, until a stop signal (cvMainWatch.cpp).
  void KeepWatching(platform::FileWatch& watch);
  void WaitForWorkers(batch::TcvConvertor* head);
  // Redraws the progress line, with the failures reported since the last call above it.
  void ShowProgress();
  int Finish();
  // The line that closes a run in which documents failed, for a reader without a terminal.
  std::string FailureSummary() const;
  // The line for a run that found no document at all.
  std::string NothingMatched() const;
  static std::string StatusWord(int status);

  std::string source_, target_;
  bool subdir_ = false;
  std::unique_ptr<batch::TcvBatch> batch_;  // the round in hand, or the last one
  int foundBefore_ = 0, failedBefore_ = 0;  // of the rounds before it
  std::vector<std::string> reported_;       // the failures the last report link carried
  bool runCounted_ = false;
  mutable std::mutex logLock_;
  int reportedCount_ = 0;
  std::string logPath_;
  std::unique_ptr<platform::OutputFile> logFile_;  // null when no log is kept, or after Finish
  std::string logError_;                           // why a line could not be written, the first time
  std::vector<std::string> unshownFailures_;
  std::vector<std::string> unshownLosses_;  // successes whose text lost characters, not yet said
  std::unique_ptr<ProgressLine> progress_;
  bool json_ = false;  // LogFormat=json
  // Present for a filter run; toStdout_ when its texts go to standard output.
  std::unique_ptr<FilterStreams> filter_;
  bool toStdout_ = false;
  // A watch's memory of the documents it handled; null outside a watch.
  std::unique_ptr<WatchMemory> watched_;
};

}  // namespace app
