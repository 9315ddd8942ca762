#include "app/cvMain.h"

#include <system_error>

#include "app/ProgressLine.h"
#include "batch/cvBatch.h"
#include "batch/cvConvertor.h"
#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"
#include "platform/Signals.h"
#include "platform/TextEncoding.h"
#include "platform/Thread.h"

namespace app {

TcvMain::TcvMain() = default;
TcvMain::~TcvMain() = default;

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

void TcvMain::ReportNode(batch::TcvBatch&, batch::TcvNode& node) {
  // The log is in the locale's charset, but names are bytes and appear as they are on disk:
  // re-encoding would turn a name that is not valid in that charset into one that does not
  // exist. A success's message is its target's name; a failure's is text.
  const bool named = node.Status == 1;
  std::string line = platform::EncodeAnsi(StatusWord(node.Status)) + " => " + node.FileName + " => " +
                     (named ? node.Message : platform::EncodeAnsi(node.Message));
  std::lock_guard<std::mutex> guard(logLock_);
  runLog_.push_back(std::move(line));
}

std::vector<std::string> TcvMain::RunLog() const {
  std::lock_guard<std::mutex> guard(logLock_);
  return runLog_;
}

int TcvMain::Run() {
  core::TcvProject& project = *core::cvProject();
  {
    std::lock_guard<std::mutex> guard(logLock_);
    runLog_.clear();
  }
  // Without a target there is nowhere to write: nothing is converted and nothing is touched.
  if (project.Target().empty()) return kNotCarriedOut;

  batch_ = std::make_unique<batch::TcvBatch>();
  bool subdir = project.Subdir();
  std::string target = project.TargetFolder();
  std::string source = project.Source();
  try {
    batch_->Start(source, target, subdir);
  } catch (const std::exception&) {
    return kNotCarriedOut;
  }

  batch::TcvConvertor* head = nullptr;
  try {
    head = batch::CreateConvertors(batch_.get(), project.TargetFolder(),
                                   [this](batch::TcvBatch& b, batch::TcvNode& n) { ReportNode(b, n); });
  } catch (const std::exception&) {
    return kNotCarriedOut;
  }
  batch::SetRunningWorkers(head->Count());
  try {
    head->Start();
  } catch (const std::system_error&) {
    // Workers that could not be started count as ended; those that did start finish the run.
  }
  if (auto* info = core::cvInfo()) info->UpdateCounter("C", 0, 1);

  progress_ = std::make_unique<ProgressLine>();
  bool stopping = false;
  while (batch::RunningWorkers() > 0) {
    platform::Sleep(100);
    if (!stopping && platform::StopRequested()) {
      stopping = true;
      batch_->Terminate();
      // Workers lower the count under the list lock and free the chain only after the last one
      // did: while the lock is held and the count is above 0, the chain is still there.
      batch_->LockList();
      if (batch::RunningWorkers() > 0) head->Stop();
      batch_->UnlockList();
    }
    if (progress_->Enabled()) progress_->Show(static_cast<int>(RunLog().size()), batch_->Count(), batch_->FailedCount());
  }
  return Finish();
}

int TcvMain::Finish() {
  if (progress_) {
    progress_->Show(static_cast<int>(RunLog().size()), batch_->Count(), batch_->FailedCount());
    progress_->Close();
  }
  int status = batch_->FailedCount() > 0 ? kSomeFailed : kAllSucceeded;
  if (auto* info = core::cvInfo()) {
    info->UpdateCounter("A", 0, batch_->Count());
    info->UpdateCounter("S", 0, batch_->SuccessCount());
    info->UpdateCounter("F", 0, batch_->FailedCount());
    if (batch_->FailedCount() > 0) info->ReportFailures(batch_->Errors());
  }
  std::string logFile = core::cvProject()->LogFile();
  if (!logFile.empty()) {
    std::string text;
    for (const auto& line : RunLog()) text += line + "\r\n";
    try {
      platform::WriteFileAtomic(logFile, text);
    } catch (const std::exception&) {
      status = kNotCarriedOut;
    }
  }
  return status;
}

}  // namespace app
