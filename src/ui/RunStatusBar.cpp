#include "ui/RunStatusBar.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "batch/cvBatch.h"

namespace ui {

namespace {

QString Counted(const batch::TcvCounts& counts) {
  return QStringLiteral("%1 found, %2 done, %3 failed")
      .arg(counts.Found)
      .arg(counts.Done())
      .arg(counts.Failed);
}

// This part's documents a second; 0 before any time has passed.
double Pace(int done, qint64 elapsedMs) { return elapsedMs > 0 ? done * 1000.0 / elapsedMs : 0.0; }

QString PaceText(double pace) { return QStringLiteral("%1 documents a second").arg(pace, 0, 'f', 1); }

}  // namespace

TcvRunStatusBar::TcvRunStatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("sbRun"));
  setSizeGripEnabled(false);
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("sbRunText"));
  addWidget(text_, 1);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("sbRunProgress"));
  progress_->setFixedWidth(200);
  progress_->setTextVisible(true);
  progress_->setFormat(QStringLiteral("%v of %m"));
  progress_->hide();
  addPermanentWidget(progress_);
  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, &TcvRunStatusBar::Refresh);
}

void TcvRunStatusBar::Follow(const batch::TcvBatch* batch) {
  batch_ = batch;
  doneBefore_ = batch ? batch->Counts().Done() : 0;
  clock_.start();
  progress_->show();
  Refresh();
  timer_->start();
}

void TcvRunStatusBar::Finish(const QString& how) {
  if (!batch_) return;
  timer_->stop();
  batch::TcvCounts counts = batch_->Counts();
  batch_ = nullptr;
  ShowCounts(counts);
  text_->setText(FinishedText(how, counts, doneBefore_, clock_.elapsed()));
}

void TcvRunStatusBar::ShowReason(const QString& reason) {
  Clear();
  progress_->hide();
  text_->setText(reason);
}

void TcvRunStatusBar::Clear() {
  timer_->stop();
  batch_ = nullptr;
}

QString TcvRunStatusBar::Text() const { return text_->text(); }
int TcvRunStatusBar::ProgressValue() const { return progress_->value(); }
int TcvRunStatusBar::ProgressMaximum() const { return progress_->maximum(); }

void TcvRunStatusBar::Refresh() {
  if (!batch_) return;
  batch::TcvCounts counts = batch_->Counts();
  ShowCounts(counts);
  text_->setText(RunningText(counts, doneBefore_, clock_.elapsed()));
}

void TcvRunStatusBar::ShowCounts(const batch::TcvCounts& counts) {
  // A bar of range 0..0 would show Qt's busy animation: that is right while nothing is found yet
  // during a run, and wrong for a run that has ended with nothing to do.
  progress_->setRange(0, std::max(counts.Found, batch_ ? 0 : 1));
  progress_->setValue(counts.Done());
}

QString TcvRunStatusBar::RunningText(const batch::TcvCounts& counts, int doneBefore, qint64 elapsedMs) {
  int done = counts.Done() - doneBefore;
  double pace = Pace(done, elapsedMs);
  QString text =
      Counted(counts) + QStringLiteral(" - ") + Duration(elapsedMs) + QStringLiteral(", ") + PaceText(pace);
  // The list may still grow while the folder is walked: the estimate is over what is found so far.
  if (done >= kEstimateAfter && pace > 0) {
    auto leftMs = static_cast<qint64>((counts.Found - counts.Done()) * 1000.0 / pace);
    text += QStringLiteral(", about %1 left").arg(Duration(leftMs));
  }
  return text;
}

QString TcvRunStatusBar::FinishedText(const QString& how, const batch::TcvCounts& counts, int doneBefore,
                                      qint64 elapsedMs) {
  return how + QStringLiteral(": ") + Counted(counts) + QStringLiteral(" in ") + Duration(elapsedMs) +
         QStringLiteral(" (") + PaceText(Pace(counts.Done() - doneBefore, elapsedMs)) + QStringLiteral(")");
}

QString TcvRunStatusBar::Duration(qint64 ms) {
  qint64 seconds = std::max<qint64>(ms, 0) / 1000;
  qint64 hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
  if (hours > 0)
    return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QChar('0')).arg(rest, 2, 10, QChar('0'));
  return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QChar('0'));
}

}  // namespace ui
