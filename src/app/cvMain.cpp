#include "app/cvMain.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <system_error>

#include "app/FilterStreams.h"
#include "app/ProgressLine.h"
#include "app/RunChecks.h"
#include "app/WatchMemory.h"
#include "batch/JsonLog.h"
#include "batch/cvBatch.h"
#include "core/FailureReason.h"
#include "batch/cvConvertor.h"
#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/FileWatch.h"
#include "platform/Signals.h"
#include "platform/StandardStreams.h"
#include "platform/TempNames.h"
#include "platform/TextEncoding.h"
#include "platform/Thread.h"

namespace app {

namespace {

// What every temporary folder of this program is named with (platform::MakeTempDirectory).
const char kTempPrefix[] = "qx-";

}  // namespace

TcvMain::TcvMain() = default;

TcvMain::~TcvMain() {
  // Workers still running use the batch: it goes with the process, never under them.
  if (batch_ && batch::RunningWorkers() > 0) (void)batch_.release();
}

std::string TcvMain::StatusWord(int status) {
  switch (status) {
    case 1:
      return "Success";
    case 2:
      return "Failure";
    default:
      return "Running";
  }
}

std::string TcvMain::LogLine(const batch::TcvNode& node, const std::string& source) const {
  const int status = node.Status.load();
  // A success's message is its target's name (empty for a skip); a failure's is text.
  const bool named = status == batch::NodeSuccess;
  const std::string target = named && toStdout_ && !node.Message.empty() ? "-" : node.Message;
  if (json_) {
    batch::JsonLogEntry entry;
    entry.time = batch::IsoUtc(std::chrono::system_clock::now());
    entry.status = !named ? "failure" : node.Message.empty() ? "skipped" : "success";
    entry.source = source;
    if (named) entry.target = target;
    if (!named) entry.message = node.Message;
    if (!named) entry.reason = node.Reason.empty() ? core::reason::kOther : node.Reason;
    entry.milliseconds = node.Milliseconds;
    long long size = -1;
    std::string none;
    if (named && !node.Message.empty() && !platform::ReadFileRange(node.Message, 0, 0, none, size)) size = -1;
    entry.bytes = size;
    entry.pages = node.Pages;
    std::string line = batch::JsonLogLine(entry);
    line.pop_back();
    return line;
  }
  // The log is in the locale's charset, but names are bytes and appear as they are on disk:
  // re-encoding would turn a name that is not valid in that charset into one that does not
  // exist.
  // Control characters are escaped: a name holding a line break must not end its line early
  // or forge the next one.
  return platform::EncodeAnsi(StatusWord(status)) + " => " + platform::EscapeControls(source) + " => " +
         platform::EscapeControls(named ? target : platform::EncodeAnsi(node.Message));
}

void TcvMain::ReportNode(batch::TcvBatch& batch, batch::TcvNode& node) {
  const int status = node.Status.load();
  // Standard input is named as the user named it, not by the private file it went into.
  const std::string source = filter_ && node.FileName == filter_->InputFile() ? "-" : node.FileName;
  std::string line = LogLine(node, source);
  // Measured before the text goes to standard output and its file away.
  if (toStdout_) filter_->Finished(node.Index, status == batch::NodeSuccess ? node.Message : "");
  // A watch says only what is new: not a document it left as it was, nor a retry that failed
  // as the last try did.
  const bool news = !watched_ || watched_->Settle(node.FileName, status == batch::NodeFailure,
                                                  status == batch::NodeSuccess && node.Message.empty(), node.Reason,
                                                  node.Message, WatchMemory::Clock::now());
  std::lock_guard<std::mutex> guard(logLock_);
  ++reportedCount_;
  if (!news) return;
  // Written as each document finishes, so that a run killed later keeps the lines of what it did.
  if (logFile_ && logError_.empty()) {
    logError_ = logFile_->Write(line + (json_ ? "\n" : "\r\n"));
    // Without its record no source may be deleted or renamed, this one included, nor anything
    // more converted. A write given up for a stop is the stop's doing, not a log that failed:
    // the run's status stays the stop's.
    if (!logError_.empty())
      batch.StopRun("the log file " + logPath_ + " cannot be written: " + logError_ +
                    "; the run was stopped before another document was converted, deleted or renamed");
    if (platform::StopRequested()) logError_.clear();
  }
  if (status == batch::NodeFailure) unshownFailures_.push_back(source + ": " + node.Message);
  // The entry stays a success: the text is there, but its reader must know it is not all there.
  if (status == batch::NodeSuccess && node.Unwritten > 0)
    unshownLosses_.push_back(source + ": " + std::to_string(node.Unwritten) +
                             (node.Unwritten == 1 ? " character" : " characters") +
                             " could not be written in " + platform::AnsiCharset() + " and became \"?\"");
}

int TcvMain::Reported() const {
  std::lock_guard<std::mutex> guard(logLock_);
  return reportedCount_;
}

int TcvMain::NotCarriedOut(const std::string& why) {
  ProgressLine::Say(why);
  // No worker runs yet: the private files of a filter can go.
  filter_.reset();
  return kNotCarriedOut;
}

std::string TcvMain::TakeStandardInput(core::TcvProject& project) {
  if (platform::StdinIsTerminal())
    return "the source - is a document read from standard input, which is a terminal; pipe one in";
  try {
    // The run's source from here on is the private copy; the log names it "-".
    project.SetValue("Source", filter_->TakeStandardInput(project.MaxDocumentSize()));
  } catch (const std::exception& e) {
    return std::string("the document on standard input cannot be read: ") + e.what();
  }
  return std::string();
}

int TcvMain::Run() {
  core::TcvProject& project = *core::cvProject();
  {
    std::lock_guard<std::mutex> guard(logLock_);
    reportedCount_ = 0;
    unshownFailures_.clear();
    unshownLosses_.clear();
  }
  for (const auto& s : project.UnreadableSettings())
    ProgressLine::Say("the setting " + s.name + "=" + s.value + " cannot be read; the default " + s.used +
                      " is used");
  for (const auto& s : project.UnknownSettings())
    ProgressLine::Say("the setting \"" + s.name + "\" is not known" +
                      (s.nearest.empty() ? std::string() : "; did you mean " + s.nearest + "?"));
  for (const auto& said : IgnoredByMarkdown(project)) ProgressLine::Say(said);
  // Nothing is created or converted for a run that cannot be carried out.
  if (std::string why = WhyFilterCannotRun(project); !why.empty()) return NotCarriedOut(why);
  json_ = project.LogFormat() == core::TLogFormat::Json;
  toStdout_ = project.TargetIsStdout();
  if (toStdout_ || project.SourceIsStdin()) filter_ = std::make_unique<FilterStreams>();
  if (project.SourceIsStdin()) {
    if (std::string why = TakeStandardInput(project); !why.empty()) {
      // Stopped while it waited for more input: a stop, not a failure.
      if (platform::StopRequested()) {
        filter_.reset();
        return 128 + platform::StopSignal();
      }
      return NotCarriedOut(why);
    }
  }
  std::string why = WhyRunCannotStart(project);
  if (!why.empty()) return NotCarriedOut(why);
  std::string crowded = WorkersBeyondCpus(project.ThreadsCount(), platform::ProcessorCount());
  if (!crowded.empty()) ProgressLine::Say(crowded);

  subdir_ = project.Subdir();
  if (toStdout_) {
    try {
      target_ = platform::IncludeTrailingPathDelimiter(filter_->OutputFolder());
    } catch (const std::exception& e) {
      return NotCarriedOut(std::string("no private folder for the texts can be made: ") + e.what());
    }
    // The texts wait in a private folder of this run: a name another entry settled gets the
    // next free name there, never a skip that would leave a text out of the output.
    project.SetValue("IsOverwrite", "True");
  } else {
    // Found before any office starts: a target that takes no text would fail every document.
    const std::string folder = platform::FileUrlToPath(project.Target());
    if (!folder.empty()) {
      try {
        platform::ForceDirectoriesOrThrow(folder);
      } catch (const std::exception& e) {
        return NotCarriedOut("the target folder " + folder + " cannot be made: " + e.what());
      }
      if (std::string why = platform::FolderWriteError(folder); !why.empty())
        return NotCarriedOut("the target folder " + folder + " cannot be written: " + why + "; nothing was converted");
    }
    target_ = project.TargetFolder();
    // An existing text beside its document may be replaced: the user must know where they go.
    if (project.TargetBesideSource && !target_.empty() && !project.Quiet())
      ProgressLine::Say("no target folder was given (-o): the texts go beside their documents, in " + target_);
  }
  source_ = project.Source();
  // Opened once the target folder exists (a log inside it is common), before anything converts.
  logPath_ = project.LogFile();
  if (!logPath_.empty()) {
    try {
      // A watch restarted by its supervisor goes on with the history it showed; a run replaces it.
      auto file = std::make_unique<platform::OutputFile>(logPath_ == "-" ? "/dev/stdout" : logPath_,
                                                         project.Watch() && logPath_ != "-");
      std::lock_guard<std::mutex> guard(logLock_);
      logFile_ = std::move(file);
      logError_.clear();
    } catch (const std::exception& e) {
      return NotCarriedOut("the log file " + logPath_ + " cannot be written: " + e.what() +
                           "; nothing was converted");
    }
  }
  // Texts half-written and office profiles of runs killed before they could clean up.
  platform::RemoveLeftoversOfEndedPrograms(kTempPrefix, target_, subdir_);

  // Watched before the first pass, so that what changes during it is not missed.
  std::unique_ptr<platform::FileWatch> watch;
  std::function<bool(const std::string&)> firstPass;
  if (project.Watch()) {
    try {
      watch = StartWatch();
    } catch (const std::exception& e) {
      return NotCarriedOut(e.what());
    }
    // The first pass is remembered too: what it converted is not converted again for a report
    // of a change made before it listed the document.
    watched_ = std::make_unique<WatchMemory>();
    firstPass = [this](const std::string& path) { return watched_->Admit(path, WatchMemory::Clock::now()); };
  }
  // A progress line redrawn in place would overwrite the texts on the same terminal.
  progress_ = std::make_unique<ProgressLine>(project.Quiet(), toStdout_ && platform::StdoutIsTerminal());
  if (int status = RunRound({}, std::move(firstPass)); status != kAllSucceeded) return status;
  if (watch) KeepWatching(*watch);
  return Finish();
}

int TcvMain::RunRound(std::vector<std::string> only, std::function<bool(const std::string&)> filter) {
  core::TcvProject& project = *core::cvProject();
  if (batch_) {
    foundBefore_ += batch_->Count();
    failedBefore_ += batch_->FailedCount();
  }
  // Every worker of the round before has ended: rounds follow each other.
  batch_ = std::make_unique<batch::TcvBatch>();
  batch_->SetOnly(std::move(only));
  batch_->SetListFilter(std::move(filter));
  try {
    batch_->Start(source_, target_, subdir_);
  } catch (const std::exception& e) {
    return NotCarriedOut("the target folder " + target_ + " cannot be made: " + e.what());
  }

  batch::TcvConvertor* head = nullptr;
  try {
    head = batch::CreateConvertors(batch_.get(), target_,
                                   [this](batch::TcvBatch& b, batch::TcvNode& n) { ReportNode(b, n); });
  } catch (const std::exception& e) {
    return NotCarriedOut(std::string("the converters could not be set up: ") + e.what());
  }
  batch::SetRunningWorkers(head->Count());
  try {
    head->Start();
  } catch (const std::system_error&) {
    // Workers that could not be started count as ended; those that did start finish the run.
  }
  // One run, however many rounds a watch takes.
  if (auto* info = core::cvInfo(); info && !runCounted_) info->UpdateCounter("C", 0, 1);
  runCounted_ = true;
  WaitForWorkers(head);
  // The word processor failed before any document succeeded (every document would fail alike,
  // so none is counted), or the log stopped taking lines: the cause is said once.
  if (std::string fault = batch_->RunFault(); !fault.empty() && !platform::StopRequested()) {
    progress_->Close();
    return NotCarriedOut(fault);
  }
  if (auto* info = core::cvInfo()) {
    info->UpdateCounter("A", 0, batch_->Count());
    info->UpdateCounter("S", 0, batch_->SuccessCount());
    info->UpdateCounter("F", 0, batch_->FailedCount());
    // A watch reports what it reported before only once, as a Daemon window does.
    std::vector<std::string> errors = batch_->Errors();
    if (batch_->FailedCount() > 0 && project.FailureReport() && errors != reported_) {
      info->ReportFailures(errors);
      reported_ = errors;
    }
  }
  return kAllSucceeded;
}

void TcvMain::WaitForWorkers(batch::TcvConvertor* head) {
  bool abandoning = false;
  std::chrono::steady_clock::time_point giveUpAt;
  // Woken by the last worker's end, so a run with nothing to convert (a rerun where every text
  // is current) ends as soon as it has; the progress line is redrawn every 100 ms meanwhile.
  while (batch::RunningWorkers() > 0) {
    batch::WaitForRunningWorkers(std::chrono::milliseconds(100));
    // A reader of the texts that went away wants no more of them: the run ends as on a signal.
    if (!abandoning && (platform::StopRequested() || (filter_ && filter_->Broken()))) {
      abandoning = true;
      giveUpAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAbandonWaitMs);
      batch_->Terminate();
      std::function<void()> abort;
      // Workers lower the count under the list lock and free the chain only after the last one
      // did: while the lock is held and the count is above 0, the chain is still there. The
      // servers are killed after the lock is let go, as killing one may take a moment.
      batch_->LockList();
      if (batch::RunningWorkers() > 0) abort = head->Abandon();
      batch_->UnlockList();
      if (abort) abort();
    }
    ShowProgress();
    if (abandoning && std::chrono::steady_clock::now() >= giveUpAt) break;
  }
}

void TcvMain::ShowProgress() {
  std::vector<std::string> failures, losses;
  int done = 0;
  {
    std::lock_guard<std::mutex> guard(logLock_);
    failures.swap(unshownFailures_);
    losses.swap(unshownLosses_);
    done = reportedCount_;
  }
  for (const auto& loss : losses) progress_->Note("quillex: " + loss);
  for (const auto& failure : failures) progress_->Note("failed: " + failure);
  progress_->Show(done, foundBefore_ + batch_->Count(), failedBefore_ + batch_->FailedCount());
}

int TcvMain::Finish() {
  ShowProgress();
  progress_->Close();
  const int failed = failedBefore_ + batch_->FailedCount();
  int status = failed > 0 ? kSomeFailed : kAllSucceeded;
  // A watch ends only when it is told to: a service stopped has not failed.
  if (core::cvProject()->Watch())
    status = kAllSucceeded;
  else if (int signal = platform::StopSignal())
    status = 128 + signal;
  else if (filter_ && filter_->Broken())
    status = kBrokenPipe;
  std::string logError;
  {
    // Workers abandoned on a stop signal report nothing more: the log ends here.
    std::lock_guard<std::mutex> guard(logLock_);
    logFile_.reset();
    logError = logError_;
  }
  if (failed > 0) progress_->Summary(FailureSummary());
  // A run that found nothing would otherwise end as quietly as one that converted everything.
  if (foundBefore_ + batch_->Count() == 0 && !core::cvProject()->Watch() && !core::cvProject()->Quiet())
    ProgressLine::Say(NothingMatched());
  if (!logError.empty()) {
    // Without its log the run did not deliver what it was asked for, whatever it converted.
    ProgressLine::Say("the log file " + logPath_ + " cannot be written: " + logError);
    status = kNotCarriedOut;
  }
  if (filter_) {
    if (std::string error = filter_->WriteError(); !error.empty()) {
      ProgressLine::Say("the texts could not be written to standard output: " + error);
      status = kNotCarriedOut;
    }
    // Workers still holding on (an abandoned run) may write there yet; the next run removes it.
    if (batch::RunningWorkers() == 0) filter_.reset();
  }
  return status;
}

std::string TcvMain::NothingMatched() const {
  const std::string mask = batch_->Mask();
  std::string line = "no document matches " + platform::IncludeTrailingPathDelimiter(batch_->SourceDir()) + mask;
  if (!subdir_) line += "; sub-folders are searched only with -r";
  return line;
}

std::string TcvMain::FailureSummary() const {
  const int found = foundBefore_ + batch_->Count();
  std::string line = std::to_string(failedBefore_ + batch_->FailedCount()) + " of " + std::to_string(found) +
                     (found == 1 ? " document failed" : " documents failed");
  std::lock_guard<std::mutex> guard(logLock_);
  if (!logPath_.empty() && logError_.empty())
    line += logPath_ == "-" ? "; the log is on standard output" : "; the log is " + logPath_;
  return line;
}

}  // namespace app
