// The run control of the main window: Search, Convert, Start, Pause, Stop, the converters'
// progress reports and the end of a run.
//
// How a run meets the threads:
//  - Convert builds the chain and starts it on the GUI thread. From then on the converters
//    report entries through JobProgress (their own threads; the row hand-over never waits for
//    the GUI thread) and end through OnFinish, which the dispatcher runs on the GUI thread while
//    the converter waits. WorkersLeft is therefore only touched on the GUI thread.
//  - After its OnFinish returned, a converter still lowers RunningWorkers under its batch job's
//    list lock. So a batch job a run used is never freed before RunningWorkers is back to 0:
//    NewBatch and a stopped run's end retire it, and ReleaseRetiredBatches frees it later.
//  - The run keeps its own batch job (runBatch_): replacing Batch during a run (Files, a drop)
//    neither ends the run nor mixes the new list into its counters.
//  - Pause and Stop only raise flags; nothing on the GUI thread waits for a converter, except
//    the destructor, which keeps events flowing while it waits (EndRun).
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <exception>
#include <stdexcept>

#include "batch/SourceCheck.h"
#include "batch/cvBatch.h"
#include "batch/cvConvertor.h"
#include "batch/cvMatch.h"
#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Thread.h"
#include "platform/UserPlaces.h"
#include "ui/ActionButton.h"
#include "ui/RunStatusBar.h"
#include "ui/cvFormMain.h"

namespace ui {

namespace {

// Converters that already had their OnFinish only need the list lock once more; this bounds
// the wait for them before a new run takes over the shared count.
constexpr int kStragglerWaitMs = 5000;

std::string Std(const QString& text) { return text.toStdString(); }

bool IsAutoRunProject() {
  const core::TcvProject* project = core::cvProject();
  return project && project->IsAutoRun();
}

// A batch job whose Start failed (no target folder, say) never completes its list: converters
// put on it would wait for entries for good. It must be searched afresh, as a drained one is.
bool NeedsSearch(const batch::TcvBatch* job) {
  return !job || job->IsDrained() || (!job->Started() && !job->Done());
}

// Failure messages as a set: the same messages in another order (workers finish in any order)
// and in another letter case (as the batch tells them apart) are the same failures.
bool SameFailures(std::vector<std::string> a, std::vector<std::string> b) {
  if (a.size() != b.size()) return false;
  auto folded = [](std::vector<std::string>& list) {
    for (auto& text : list)
      for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::sort(list.begin(), list.end());
  };
  folded(a);
  folded(b);
  return a == b;
}

// Search's own test for a web address: such a source becomes the one job, unsearched.
bool IsWebSource(const QString& source) {
  return source.startsWith(QStringLiteral("http"), Qt::CaseInsensitive);
}

void WaitForStragglers() {
  for (int waited = 0; batch::RunningWorkers() > 0 && waited < kStragglerWaitMs; ++waited) platform::Sleep(1);
}

}  // namespace

QString TcvFrmMain::UsableTarget(const QString& target) {
  std::string text = Std(target);
  auto unusable = [](const std::string& t) {
    return t.find_first_of("?*") != std::string::npos ||
           platform::FileExists(platform::ExcludeTrailingPathDelimiter(t));
  };
  // Each step is strictly shorter, so the loop ends.
  while (!text.empty() && unusable(text))
    text = platform::ExcludeTrailingPathDelimiter(platform::ExtractFilePath(text));
  if (text.empty()) return QString();
  return QString::fromStdString(platform::IncludeTrailingPathDelimiter(text));
}

bool TcvFrmMain::DaemonPending() const { return daemonTimer_ && daemonTimer_->isActive(); }

bool TcvFrmMain::BatchInUse() const { return WorkersLeft > 0 || batch::RunningWorkers() > 0; }

// Search ------------------------------------------------------------------------------------

void TcvFrmMain::aSearchExecute() { Search(); }

// False when there is no source (the source box then has the focus) or it cannot be searched;
// AfterRun has run.
bool TcvFrmMain::Search() {
  QString source = eSource->text();
  if (source.isEmpty()) {
    eSource->setFocus();
    AfterRun();
    return false;
  }
  if (IsWebSource(source)) {
    NewBatch();
    ShowJob(Std(source), Batch(), nullptr);
    return true;
  }
  // The matcher lets every name through a pattern it cannot compile: with DeleteSource that
  // would delete what the filter was meant to spare, so no search starts at all.
  std::string regExt = core::cvProject()->Value("RegExt");
  std::string regExtError = batch::RegExtError(regExt);
  if (!regExtError.empty()) throw std::runtime_error("RegExt " + regExt + ": " + regExtError);
  if (!SourceSearchable()) return false;
  NewBatch();
  Batch()->Start(platform::ExpandHome(Std(source)), platform::ExpandHome(Std(eTarget->text())),
                 cSubdir->isChecked());
  return true;
}

bool TcvFrmMain::SourceSearchable() {
  QString source = eSource->text();
  if (source.isEmpty() || IsWebSource(source)) return true;
  std::string path = batch::TcvBatch::NormalizePath(platform::ExpandHome(Std(source)));
  std::string why = batch::WhySourceCannotBeRead(path);
  if (why.empty()) return true;
  if (IsAutoRunProject()) AutoRunProblem = why;
  // A sentence of its own here, where the headless run puts the program's name before it.
  QString reason = QString::fromStdString(why);
  if (!reason.isEmpty()) reason[0] = reason[0].toUpper();
  NewBatch();
  ShowFailedRow(source, reason);
  sbRun->ShowReason(reason);
  AfterRun();
  return false;
}

// Convert -----------------------------------------------------------------------------------

void TcvFrmMain::aConvertExecute() {
  if (closing_ || WorkersLeft > 0) return;
  // A run started by hand during a Daemon pause replaces the pending one.
  daemonTimer_->stop();
  // "~/" means the home folder here as in a project file, and a "file:" address its path; the
  // box then shows the folder used. Taken as it is, an address would become a relative "file:"
  // folder wherever the program was started.
  QString target = UsableTarget(
      QString::fromStdString(batch::TcvBatch::NormalizePath(platform::ExpandHome(Std(eTarget->text())))));
  if (target.isEmpty()) {
    eTarget->setFocus();
    AfterRun();
    return;
  }
  // A source that cannot be searched makes no target folder either.
  if (NeedsSearch(Batch()) && !SourceSearchable()) return;
  // A folder that cannot be created fails each entry with its reason; nothing to say here.
  platform::ForceDirectories(Std(target));
  if (eTarget->text() != target) eTarget->setText(target);
  core::cvProject()->Collect(false);

  // A drained batch job has nothing left to give: the run starts from a fresh search. Search
  // without a source has already run AfterRun, and an old list must not be run again.
  if (NeedsSearch(Batch())) {
    if (!Search()) return;
  }
  StartConvertors();
}

void TcvFrmMain::StartConvertors() {
  aConvert->setEnabled(false);
  aSearchConvert->setEnabled(false);
  aSearch->setEnabled(false);

  std::shared_ptr<TRunLink> link = link_;
  batch::TcvNodeEvent onNode = [link](batch::TcvBatch& batch, batch::TcvNode& node) {
    // The lock keeps the window from going while a report is on its way in.
    std::lock_guard<std::mutex> guard(link->lock);
    if (TcvFrmMain* window = link->window.load()) window->JobProgress(batch, node);
  };
  batch::TcvConvertor* head = nullptr;
  try {
    head = batch::CreateConvertors(Batch(), Std(eTarget->text()), onNode);
  } catch (...) {
    SetIdleButtons();
    throw;
  }
  WaitForStragglers();
  Convertor = head;
  runBatch_ = Batch();
  WorkersLeft = head->Count();
  batch::SetRunningWorkers(WorkersLeft);
  head->SetOnFinish([link] {
    if (TcvFrmMain* window = link->window.load()) window->OnFinish();
  });
  SetRunButtons();
  aStop->setData(0);
  Stopped = false;
  try {
    head->Start();
  } catch (const std::exception& e) {
    // Members that did not start never report. The started ones are all still waiting to hand
    // their OnFinish to this thread, so the shared count is exactly theirs.
    WorkersLeft = batch::RunningWorkers();
    ReportException(e.what());
    if (WorkersLeft == 0) {
      FinishRun();
      return;
    }
  }
  sbRun->Follow(runBatch_);
  core::cvInfo()->UpdateCounter("C", 0, 1);
}

void TcvFrmMain::aSearchConvertExecute() {
  aSearchExecute();
  aConvertExecute();
}

// Pause and Stop ----------------------------------------------------------------------------

void TcvFrmMain::aPauseExecute() {
  aPause->setEnabled(false);
  aStop->setEnabled(false);
  if (WorkersLeft > 0 && Convertor) Convertor->Stop();
  aStop->setData(0);
}

void TcvFrmMain::aStopExecute() {
  Stopped = true;
  aPause->setEnabled(false);
  aStop->setEnabled(false);
  if (WorkersLeft == 0) {
    // Stop during a Daemon pause: no next run, and the window is simply idle.
    daemonTimer_->stop();
    SetIdleButtons();
    return;
  }
  if (runBatch_) runBatch_->Terminate();
  if (Convertor) Convertor->Stop();
  aStop->setData(1);
}

// End of a run ------------------------------------------------------------------------------

void TcvFrmMain::OnFinish() {
  if (WorkersLeft <= 0) return;
  if (--WorkersLeft > 0) return;
  FinishRun();
}

void TcvFrmMain::FinishRun() {
  // The chain may free itself from here on.
  Convertor = nullptr;
  batch::TcvBatch* run = runBatch_;
  runBatch_ = nullptr;
  FlushRows();
  SetIdleButtons();
  if (run) {
    const bool stopped = aStop->data().toInt() == 1;
    sbRun->Finish(stopped            ? QStringLiteral("Stopped")
                  : run->IsDrained() ? QStringLiteral("Finished")
                                     : QStringLiteral("Paused"));
    AutoRunStatus = run->FailedCount() > 0 ? 1 : 0;
    // The word processor failed before any document succeeded: no document is to blame, and
    // the user needs the cause once, not a failed row for each.
    if (std::string fault = run->RunFault(); !fault.empty() && !stopped) {
      AutoRunStatus = 2;
      sbRun->ShowReason(QString::fromStdString(fault));
      ReportException(fault);
    }
    core::TcvInfo* info = core::cvInfo();
    info->UpdateCounter("A", 0, run->Count());
    info->UpdateCounter("S", 0, run->SuccessCount());
    info->UpdateCounter("F", 0, run->FailedCount());
    std::vector<std::string> errors = run->FailedCount() > 0 ? run->Errors() : std::vector<std::string>();
    const core::TcvProject* project = core::cvProject();
    // A Daemon loop meets the same failures at every cycle, every few seconds: a browser window
    // each time tells the user nothing new.
    if (errors.empty() || !project->FailureReport()) {
      lastFailures_.clear();
    } else if (project->Daemon() < 1 || !SameFailures(errors, lastFailures_)) {
      info->ReportFailures(errors);
      lastFailures_ = errors;
    }
  }
  if (aStop->data().toInt() == 1) {
    // A batch job that replaced the stopped run's during the run is the user's new choice.
    if (run && batch_.get() == run) DropBatch();
    aStop->setData(0);
  }
  ReleaseRetiredBatches();
  AfterRun();
}

void TcvFrmMain::DropBatch() {
  {
    std::lock_guard<std::mutex> guard(rowsLock_);
    rowsBatch_ = nullptr;
    pendingRows_.clear();
  }
  if (batch_) retired_.push_back(std::move(batch_));
}

void TcvFrmMain::AfterRun() {
  if (!IsAutoRunProject()) return;
  core::TcvProject* project = core::cvProject();
  std::string log = project->LogFile();
  if (!log.empty()) {
    // An unwritable log must not keep an unattended run from closing or going on.
    try {
      ExportList(QString::fromStdString(log), project->LogFormat() == core::TLogFormat::Json);
    } catch (const std::exception& e) {
      AutoRunStatus = 2;
      ReportException(e.what());
    }
  }
  if (closing_) return;
  if (project->Daemon() < 1) {
    close();
    return;
  }
  if (Stopped) return;
  // One timer: a further AfterRun before it fires restarts the pause instead of adding a run.
  daemonTimer_->start(project->Daemon());
  // The pause can be ended by Stop, as a run can.
  aStop->setEnabled(true);
  bSearchConvert->SetAction(aStop);
}

void TcvFrmMain::AutoRun() {
  if (closing_ || WorkersLeft > 0 || !IsAutoRunProject()) return;
  std::string error;
  // Not carried out until a run of it has finished.
  AutoRunStatus = 2;
  AutoRunProblem.clear();
  try {
    aConvertExecute();
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown exception";
  }
  // A Daemon loop meets the same obstacle at every cycle: one report of it is enough.
  if (!error.empty() && error != autoRunError_) ReportException(error);
  autoRunError_ = error;
  if (!error.empty() && WorkersLeft == 0) AfterRun();
}

// Buttons -----------------------------------------------------------------------------------

void TcvFrmMain::SetIdleButtons() {
  aConvert->setEnabled(true);
  bCreate->SetAction(aConvert);
  aSearchConvert->setEnabled(true);
  bSearchConvert->SetAction(aSearchConvert);
  aSearch->setEnabled(true);
}

void TcvFrmMain::SetRunButtons() {
  aStop->setEnabled(true);
  bCreate->SetAction(aPause);
  aPause->setEnabled(true);
  bSearchConvert->SetAction(aStop);
}

// Progress ----------------------------------------------------------------------------------

void TcvFrmMain::JobProgress(batch::TcvBatch& batch, batch::TcvNode& node) {
  int index = -1;
  if (RecordRow(&batch, &node, node.FileName, true, index) && QThread::currentThread() == thread()) FlushRows();
}

// Closing -----------------------------------------------------------------------------------

void TcvFrmMain::closeEvent(QCloseEvent* event) {
  // Closing ends the Daemon loop, and a run ends as soon as its converters can let go.
  daemonTimer_->stop();
  if (WorkersLeft > 0) {
    aStopExecute();
    // The window is going: what the converters have in hand is abandoned, not waited for.
    AbandonRun();
  } else {
    Stopped = true;
  }
  TcvFrmBase::closeEvent(event);
}

void TcvFrmMain::AbandonRun() {
  // WorkersLeft > 0: a converter still has to hand over its OnFinish, so the chain is there.
  if (WorkersLeft <= 0 || !Convertor) return;
  if (runBatch_) runBatch_->Terminate();
  if (auto abort = Convertor->Abandon()) abort();
}

void TcvFrmMain::EndRun() {
  if (closing_) return;
  closing_ = true;
  Stopped = true;
  if (daemonTimer_) daemonTimer_->stop();
  // Its batch job may be freed below: the window's last look at it is not needed.
  if (sbRun) sbRun->Clear();
  AbandonRun();
  // The converters hand their OnFinish to this thread: keep its events flowing until the last
  // one has ended. Input is held back, the window is on its way out.
  QElapsedTimer waited;
  waited.start();
  while (BatchInUse() && waited.elapsed() < CloseWaitMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    platform::Sleep(1);
  }
  {
    std::lock_guard<std::mutex> guard(link_->lock);
    link_->window = nullptr;
  }
  if (BatchInUse()) {
    // A converter stuck past the bound may still take the list lock of these batch jobs: they
    // are left to the end of the process rather than freed under it.
    (void)batch_.release();
    for (auto& retired : retired_) (void)retired.release();
    retired_.clear();
    std::lock_guard<std::mutex> guard(rowsLock_);
    rowsBatch_ = nullptr;
    pendingRows_.clear();
  }
}

}  // namespace ui
