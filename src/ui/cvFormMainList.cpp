// The job list of the main window: the batch job behind it, the rows that follow its entries,
// the pop-up menus, and the export of the list.
//
// Rows follow entries across threads like this: whoever reports an entry (the batch job's
// thread as it finds files, a converter as it finishes one, the GUI thread for files added by
// hand) reads the entry under the job list lock and records the row's new state in
// pendingRows_, keyed by row number, so a later report of the same entry replaces an earlier
// one. The first record after a flush posts one FlushRows to the GUI thread; reporters never
// wait for the GUI thread, so none can hold the job list lock while waiting for it. FlushRows
// applies the records in row order, which keeps row i = entry i whatever order the threads ran
// in. A record for a batch job the window no longer shows is dropped.
#include <QAction>
#include <QMenu>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include "batch/JsonLog.h"
#include "batch/cvBatch.h"
#include "batch/cvConvertor.h"
#include "core/FailureReason.h"
#include "core/Globals.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/TextEncoding.h"
#include "ui/Dialogs.h"
#include "ui/Pictures.h"
#include "ui/cvFormMain.h"

namespace ui {

namespace {

constexpr int kImageRole = Qt::UserRole;
// On the result column: the conversion's milliseconds and pages, for the JSON log.
constexpr int kMillisecondsRole = Qt::UserRole + 1;
constexpr int kPagesRole = Qt::UserRole + 2;
constexpr int kReasonRole = Qt::UserRole + 3;
enum TColumn { colImage = 0, colFileName = 1, colResult = 2 };

void SetImage(QTreeWidgetItem* item, int index) {
  item->setData(colImage, kImageRole, index);
  item->setIcon(colImage, ImageIcon(index));
}

QTreeWidgetItem* NewRow() {
  auto* item = new QTreeWidgetItem;
  SetImage(item, imgWaiting);
  return item;
}

}  // namespace

QString TcvFrmMain::StatusWord(int imageIndex) {
  switch (imageIndex) {
    case 1:
      return QStringLiteral("Success");
    case 2:
      return QStringLiteral("Failure");
    default:
      return QStringLiteral("Running");
  }
}

int TcvFrmMain::ImageIndexOf(const QTreeWidgetItem* item) {
  return item ? item->data(colImage, kImageRole).toInt() : 0;
}

void TcvFrmMain::NewBatch() {
  std::unique_ptr<batch::TcvBatch> old = std::move(batch_);
  {
    std::lock_guard<std::mutex> guard(rowsLock_);
    rowsBatch_ = nullptr;
    pendingRows_.clear();
  }
  if (old) {
    if (BatchInUse()) {
      // Converters may still take entries from it: only its enumeration ends now.
      old->Terminate();
      retired_.push_back(std::move(old));
      ReleaseRetiredBatches();
    } else {
      try {
        old.reset();
      } catch (...) {
        // A batch job that fails to end cleanly must not keep the user from starting anew.
      }
    }
  }
  batch_ = std::make_unique<batch::TcvBatch>();
  batch_->SetOnNode([this](batch::TcvBatch& b, batch::TcvNode& n) { JobAdded(b, n); });
  lViewer->clear();
  std::lock_guard<std::mutex> guard(rowsLock_);
  rowsBatch_ = batch_.get();
}

void TcvFrmMain::ReleaseRetiredBatches() {
  if (WorkersLeft > 0) return;  // the end of the run releases them
  if (batch::RunningWorkers() > 0) {
    // The last converters still lower their count under a retired batch job's list lock after
    // their OnFinish returned: look again shortly, without blocking the GUI thread.
    if (!releasePosted_) {
      releasePosted_ = true;
      QTimer::singleShot(1, this, [this] {
        releasePosted_ = false;
        ReleaseRetiredBatches();
      });
    }
    return;
  }
  retired_.clear();
}

QTreeWidgetItem* TcvFrmMain::ShowJob(const std::string& fileName, batch::TcvBatch* batch,
                                     batch::TcvNode* node) {
  if (!batch) return nullptr;
  if (!node) {
    SetDefaultTarget(QString::fromStdString(platform::ExtractFilePath(fileName)));
    batch->AddLastFile(fileName);
    return nullptr;
  }
  int index = -1;
  if (!RecordRow(batch, node, fileName, false, index)) return nullptr;
  if (QThread::currentThread() != thread()) return nullptr;
  FlushRows();
  return index < lViewer->topLevelItemCount() ? lViewer->topLevelItem(index) : nullptr;
}

void TcvFrmMain::JobAdded(batch::TcvBatch& batch, batch::TcvNode& node) {
  ShowJob(node.FileName, &batch, &node);
}

bool TcvFrmMain::RecordRow(batch::TcvBatch* batch, batch::TcvNode* node, const std::string& fileName,
                           bool withResult, int& index) {
  bool post = false;
  bool accepted = false;
  bool onGui = QThread::currentThread() == thread();
  batch->LockList();
  try {
    index = node->Index;
    std::lock_guard<std::mutex> guard(rowsLock_);
    if (batch == rowsBatch_ && index >= 0) {
      accepted = true;
      TRowUpdate& row = pendingRows_[index];
      row.status = node->Status.load();
      row.fileName = fileName;
      // Message belongs to the converter that took the entry: only its own report reads it.
      if (withResult) {
        row.message = node->Message;
        row.withResult = true;
        row.milliseconds = node->Milliseconds;
        row.pages = node->Pages;
        row.reason = node->Reason;
      }
      if (!onGui && !flushPosted_) post = flushPosted_ = true;
    }
  } catch (...) {
    batch->UnlockList();
    throw;
  }
  batch->UnlockList();
  if (post) QMetaObject::invokeMethod(this, &TcvFrmMain::FlushRows, Qt::QueuedConnection);
  return accepted;
}

void TcvFrmMain::FlushRows() {
  std::map<int, TRowUpdate> rows;
  {
    std::lock_guard<std::mutex> guard(rowsLock_);
    rows.swap(pendingRows_);
    flushPosted_ = false;
  }
  for (const auto& [index, update] : rows) ApplyRow(index, update);
}

void TcvFrmMain::ApplyRow(int index, const TRowUpdate& update) {
  QString fileName = QString::fromStdString(update.fileName);
  // Rows never skip an entry: a gap (a report ahead of its entry's own) gets rows that the
  // missing entries' reports fill in later.
  while (lViewer->topLevelItemCount() < index) lViewer->addTopLevelItem(NewRow());
  QTreeWidgetItem* item = nullptr;
  if (index < lViewer->topLevelItemCount()) {
    item = lViewer->topLevelItem(index);
    if (item->text(colFileName).isEmpty()) item->setText(colFileName, fileName);
  } else {
    item = NewRow();
    item->setText(colFileName, fileName);
    lViewer->addTopLevelItem(item);
  }
  SetImage(item, update.status);
  if (update.withResult) {
    item->setText(colFileName, fileName);
    item->setText(colResult, QString::fromStdString(update.message));
    item->setData(colResult, kMillisecondsRole, QVariant::fromValue<qlonglong>(update.milliseconds));
    item->setData(colResult, kPagesRole, update.pages);
    item->setData(colResult, kReasonRole, QString::fromStdString(update.reason));
  }
}

void TcvFrmMain::ShowFailedRow(const QString& fileName, const QString& reason) {
  QTreeWidgetItem* item = NewRow();
  SetImage(item, imgFailure);
  item->setText(colFileName, fileName);
  item->setText(colResult, reason);
  lViewer->addTopLevelItem(item);
}

void TcvFrmMain::ExportList(const QString& fileName, bool json) {
  FlushRows();
  std::string text;
  for (int i = 0; i < lViewer->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lViewer->topLevelItem(i);
    const int image = ImageIndexOf(item);
    if (!json) {
      QString line = QStringLiteral("[%1] => %2 => %3\r\n")
                         .arg(StatusWord(image), item->text(colFileName), item->text(colResult));
      text += line.toStdString();
      continue;
    }
    batch::JsonLogEntry entry;
    const std::string result = item->text(colResult).toStdString();
    entry.status = image == imgFailure   ? "failure"
                   : image != imgSuccess ? "running"
                   : result.empty()      ? "skipped"
                                         : "success";
    entry.source = item->text(colFileName).toStdString();
    (image == imgFailure ? entry.message : entry.target) = result;
    entry.milliseconds = item->data(colResult, kMillisecondsRole).toLongLong();
    QVariant pages = item->data(colResult, kPagesRole);
    entry.pages = pages.isValid() ? pages.toInt() : -1;
    if (image == imgFailure) {
      entry.reason = item->data(colResult, kReasonRole).toString().toStdString();
      if (entry.reason.empty()) entry.reason = core::reason::kOther;
    }
    long long size = -1;
    std::string none;
    if (image == imgSuccess && !result.empty() && !platform::ReadFileRange(result, 0, 0, none, size))
      size = -1;
    entry.bytes = size;
    text += batch::JsonLogLine(entry);
  }
  // JSON is UTF-8 whatever the locale, as its readers expect.
  platform::WriteFileAtomic(fileName.toStdString(), json ? text : platform::EncodeAnsi(text));
}

void TcvFrmMain::ExportList1Click() {
  QString chosen;
  if (!dialogs_->ChooseSaveFile(QStringLiteral("Log File|*.log"), QStringLiteral(".log"), chosen)) return;
  ExportList(chosen);
}

void TcvFrmMain::OpenSelected(bool folderOnly) {
  // The first selected row in list order, whatever order the rows were selected in.
  for (int i = 0; i < lViewer->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lViewer->topLevelItem(i);
    if (!item->isSelected()) continue;
    std::string path = item->text(colFileName).toStdString();
    platform::ShellOpen(folderOnly ? platform::ExtractFilePath(path) : path);
    return;
  }
}

void TcvFrmMain::pm1Popup() {
  bool selected = !lViewer->selectedItems().isEmpty();
  OpenSource1->setEnabled(selected);
  ViewSource1->setEnabled(selected);
}

void TcvFrmMain::pm2Popup() {
  pm2->clear();
  for (const std::string& path : core::cvProject()->RecentProjects()) {
    QString caption = QString::fromStdString(path);
    // Captions are paths: an "&" in one is shown, never taken as an accelerator.
    QAction* item = pm2->addAction(QString(caption).replace('&', QStringLiteral("&&")));
    item->setData(caption);
    item->setEnabled(platform::FileExists(path));
    connect(item, &QAction::triggered, this, [this, item] { RunGuarded([&] { RecentProjectClick(item); }); });
  }
}

void TcvFrmMain::RecentProjectClick(QAction* item) {
  core::TcvProject* project = core::cvProject();
  project->ProjectFile = item->data().toString().toStdString();
  project->Open(true);
  UpdateCaption();
}

}  // namespace ui
