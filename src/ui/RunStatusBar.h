#pragma once
// TcvRunStatusBar: the line at the foot of the main window that shows a run as it goes (found,
// done, failed, elapsed time, documents a second, and the time left once enough documents are
// done, with a bar over the documents found), its totals and time once it has ended, or why a
// run could not start. Each stays until the next run or reason.
//
// It reads the batch job's counters itself, in one look under the job list lock, on a timer
// of about 4 Hz: a run of thousands of documents costs the window a few looks a second, never
// a signal per document. Owned by the main window; GUI thread only. The batch job it follows
// must outlive the time between Follow and Finish (or Clear).
#include <QElapsedTimer>
#include <QStatusBar>
#include <QString>

class QLabel;
class QProgressBar;
class QTimer;

namespace batch {
class TcvBatch;
struct TcvCounts;
}  // namespace batch

namespace ui {

class TcvRunStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit TcvRunStatusBar(QWidget* parent = nullptr);

  // How often the counters are read while a run goes, in milliseconds.
  static constexpr int kRefreshMs = 250;
  // Documents this run must have done before the time left is estimated: fewer say too little
  // about the pace (the first ones wait for their office to start).
  static constexpr int kEstimateAfter = 20;

  // Starts showing a run of batch from now. Its counters may hold documents of an earlier,
  // paused part of the run: the pace counts only what this part does.
  void Follow(const batch::TcvBatch* batch);
  // Reads the counters a last time, shows the totals and the time the run took after the word
  // given ("Finished", "Stopped", ...), and lets go of the batch job. Nothing when no run is
  // followed.
  void Finish(const QString& how);
  // Shows why a run could not start, in place of any run.
  void ShowReason(const QString& reason);
  // Lets go of the batch job without a last look (the window is going).
  void Clear();

  bool Following() const { return batch_ != nullptr; }
  QString Text() const;
  // The bar over the documents found: its value and maximum as shown.
  int ProgressValue() const;
  int ProgressMaximum() const;

  // The line shown during a run: counts is what the batch holds now, doneBefore what it had
  // done when this part of the run began, elapsedMs this part's time so far.
  static QString RunningText(const batch::TcvCounts& counts, int doneBefore, qint64 elapsedMs);
  // The line shown once a run has ended.
  static QString FinishedText(const QString& how, const batch::TcvCounts& counts, int doneBefore,
                              qint64 elapsedMs);
  // m:ss, or h:mm:ss from an hour on.
  static QString Duration(qint64 ms);

 private:
  void Refresh();
  void ShowCounts(const batch::TcvCounts& counts);

  QLabel* text_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTimer* timer_ = nullptr;
  QElapsedTimer clock_;
  const batch::TcvBatch* batch_ = nullptr;
  int doneBefore_ = 0;
};

}  // namespace ui
