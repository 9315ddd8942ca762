#pragma once
// TcvFrmMain: the main window of the windowed run. It shows the source and target of the batch
// project (three controls bound to its settings), the job list of the current batch job with a
// status icon and result per file, and carries the project, web, help and list actions. The
// run control (Search, Convert, Start, Pause, Stop and the end of a run) lives in
// cvFormMainRun.cpp.
//
// Owned by the windowed run; closing it ends the program. Every member runs on the GUI thread,
// except ShowJob, JobAdded and JobProgress, which the batch job's thread and the converter
// threads call too: from those threads they record the row's new state under the job list lock
// and post it to the GUI thread, never waiting for it (see ShowJob).
//
// A run needs a main-thread hand-over installed (platform::SetMainThreadDispatcher with a
// TcvMainThreadDispatcher on the GUI thread): each converter hands its OnFinish to the GUI
// thread through it. Closing the window during a run abandons the entries in hand, and
// destroying it keeps the GUI thread's events flowing until the last converter has ended
// (bounded, see EndRun).
#include <QStringList>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/cvFormBase.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class QTimer;

namespace batch {
class TcvBatch;
class TcvConvertor;
class TcvNode;
}  // namespace batch

namespace ui {

class TcvActionButton;
class TcvRunStatusBar;
class TcvWidgetBinding;
class TcvDialogs;
class TcvFrmAbout;
class TcvFrmCfg;

class TcvFrmMain : public TcvFrmBase {
  Q_OBJECT
 public:
  // FormCreate: builds the layout, binds the controls, opens the start-up project into them and
  // sets the caption. Needs core::cvProject() and core::cvInfo().
  explicit TcvFrmMain(QWidget* parent = nullptr);
  // FormDestroy: unbinds the controls and frees the batch job (ending its enumeration).
  ~TcvFrmMain() override;

  // Components, named as their objectName.
  QToolBar* ToolBar = nullptr;
  QToolButton *tbOpen = nullptr, *tbNew = nullptr, *tbConfig = nullptr, *tbSave = nullptr, *tbSaveAs = nullptr,
              *tbUpdate = nullptr, *tbHelp = nullptr, *tbHomePage = nullptr, *tbSupports = nullptr,
              *tbAbout = nullptr;
  QFrame *pAction = nullptr, *pSource = nullptr, *pTarget = nullptr, *pOthers = nullptr, *pSpacer = nullptr,
         *pViewer = nullptr;
  QLineEdit *eSource = nullptr, *eTarget = nullptr;
  QLabel *eSourceLabel = nullptr, *eTargetLabel = nullptr;
  QPushButton *bSource = nullptr, *bSourceFile = nullptr, *bTarget = nullptr;
  TcvActionButton *bSearch = nullptr, *bSearchConvert = nullptr, *bCreate = nullptr, *bView = nullptr;
  QCheckBox* cSubdir = nullptr;
  QTreeWidget* lViewer = nullptr;
  QMenu *pm1 = nullptr, *pm2 = nullptr;
  TcvRunStatusBar* sbRun = nullptr;
  QAction *aOpen = nullptr, *aNew = nullptr, *aConfig = nullptr, *aSave = nullptr, *aSaveAs = nullptr,
          *aUpdate = nullptr, *aHelp = nullptr, *aHomePage = nullptr, *aSupports = nullptr, *aAbout = nullptr,
          *aSearch = nullptr, *aConvert = nullptr, *aSearchConvert = nullptr, *aPause = nullptr,
          *aStop = nullptr, *aView = nullptr, *aClose = nullptr;
  QAction *BrowseFiles1 = nullptr, *ViewSource1 = nullptr, *OpenSource1 = nullptr, *ViewOutput1 = nullptr,
          *ExportList1 = nullptr;

  // Run state, used by the run control. WorkersLeft > 0 means converters still use Batch.
  // Convertor is the head of the running chain; valid only while WorkersLeft > 0.
  batch::TcvConvertor* Convertor = nullptr;
  int WorkersLeft = 0;
  bool Stopped = false;
  bool Shown = false;
  batch::TcvBatch* Batch() const { return batch_.get(); }
  // A Daemon pause is under way: the next run starts when it ends, unless Stop or a close
  // comes first. There is never more than one.
  bool DaemonPending() const;
  // How long the end of the window lets an abandoned run's converters let go before it leaves
  // them behind (their batch jobs are then never freed). Their offices are killed at once, so
  // only an office still starting takes longer.
  int CloseWaitMs = 5000;
  // The outcome of the last automatic run, as the program's exit status: 0 every entry
  // succeeded, 1 some failed, 2 the run could not be carried out (it never started, or its
  // log could not be written).
  int AutoRunStatus = 0;
  // Why the last automatic run could not start, in the headless run's words, when the window
  // knows it (a source that cannot be searched); empty otherwise.
  std::string AutoRunProblem;

  // Passes eSource, cSubdir and eTarget, in this order, to the project's Bind.
  virtual void BindControls();
  // Title + " - " + ProjectFile, or + "None" without a project file.
  void UpdateCaption();
  // Fills an empty target box with folder, unchanged; a filled box keeps its text.
  void SetDefaultTarget(const QString& folder);
  // Replaces Batch by a new, unstarted batch job whose OnNode is JobAdded, and clears the list.
  // A batch job that converters may still touch (a run going on, or its last converters
  // still letting go) is kept alive until ReleaseRetiredBatches, never freed under them.
  void NewBatch();
  // Frees the batch jobs retired during a run (by NewBatch, or a stopped run's own) once no
  // converter can touch them any more: at once when none runs, otherwise shortly after the
  // last one has let go (a timer on the GUI thread; nothing here ever blocks).
  void ReleaseRetiredBatches();
  // Without a node (GUI thread only): fills an empty target with the path's folder and adds it to the batch
  // as a job (AddLastFile); returns nullptr. With a node: row node.Index is made to show the
  // node (inserted with the path when missing; icon = Status). Any thread: the node is read
  // under the batch's list lock, the row change is applied on the GUI thread (at once when
  // called there, returning the row; posted otherwise, returning nullptr). Reports for a batch
  // job that is no longer Batch are dropped; for each row the latest report wins.
  QTreeWidgetItem* ShowJob(const std::string& fileName, batch::TcvBatch* batch, batch::TcvNode* node);
  // OnNode of the batch job: ShowJob(node.FileName, batch, node).
  void JobAdded(batch::TcvBatch& batch, batch::TcvNode& node);
  // OnNode of the converters: as JobAdded, and the row's "Result" shows node.Message too.
  void JobProgress(batch::TcvBatch& batch, batch::TcvNode& node);
  // Applies every posted row change now. GUI thread.
  void FlushRows();
  // One line per row, "[status] => file => result", ANSI, CR LF, replacing the file.
  // Throws platform::EFileError when the file cannot be written.
  // The job list as the run log: the specified lines, or JSON Lines (LogFormat=json).
  void ExportList(const QString& fileName, bool json = false);
  // Opens the first selected row's source, or its folder; nothing without a selection.
  void OpenSelected(bool folderOnly);
  // A drop of paths on target, a widget of this window (see the drop rules in the .cpp).
  void DropFiles(QWidget* target, const QStringList& paths);

  // The word of an image index in exports: "Running", "Success" or "Failure".
  static QString StatusWord(int imageIndex);
  // The image index a row shows (0 when it has none).
  static int ImageIndexOf(const QTreeWidgetItem* item);

  // The dialogs used by the window and by the project's Open and Save As; replaced by tests.
  void SetDialogs(std::unique_ptr<TcvDialogs> dialogs);
  TcvDialogs* Dialogs() const { return dialogs_.get(); }
  void SetAboutWindow(TcvFrmAbout* about) { about_ = about; }
  // The settings editor, once created by Config.
  TcvFrmCfg* ConfigWindow() const { return cfg_; }

  // Handlers, named after their component and event.
  void aOpenExecute();
  void aNewExecute();
  void aConfigExecute();
  void aSaveExecute();
  void aSaveAsExecute();
  void aUpdateExecute();
  void aHelpExecute();
  void aHomePageExecute();
  void aSupportsExecute();
  void aAboutExecute();
  void aViewExecute();
  void bSourceClick();
  void bSourceFileClick();
  void bTargetClick();
  void ViewSource1Click() { OpenSelected(true); }
  void OpenSource1Click() { OpenSelected(false); }
  void ExportList1Click();
  void pm1Popup();
  void pm2Popup();
  void RecentProjectClick(QAction* item);
  // Run control (cvFormMainRun.cpp).
  void aSearchExecute();
  void aConvertExecute();
  void aSearchConvertExecute();
  void aPauseExecute();
  void aStopExecute();
  // OnFinish of every converter of the run, on the GUI thread; the last one ends the run.
  void OnFinish();
  // After a run or a Convert that could not start: in auto-run mode writes the log file and
  // closes the window, or (Daemon) starts the pause before the next run.
  void AfterRun();
  // Convert when the project is in auto-run mode. An error that keeps the run from starting
  // is reported (once while it recurs at each Daemon cycle) and AfterRun still runs, so an
  // unattended run closes or retries.
  void AutoRun();
  // The target box's text cut back to a usable folder: while it holds "?" or "*" or names an
  // existing file, it becomes its folder part without the trailing "/". Empty when nothing is
  // left; otherwise ending with "/".
  static QString UsableTarget(const QString& target);
  // Ends a running conversion for good before the window and its batch job go: the entries in
  // hand are abandoned, and what was converted is counted and logged. Called by the
  // destructor; harmless to call again.
  void EndRun();

 protected:
  void FormShow() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Layout (cvFormMainLayout.cpp).
  void CreateActions();
  void CreateToolBar();
  void CreateActionPanel();
  void CreateViewer();
  void CreateMenus();
  void CreateShortcuts();
  void ConnectHandlers();
  // Run control helpers (cvFormMainRun.cpp).
  void AbandonRun();
  bool Search();
  // False when the source box names a folder or document that cannot be searched: the reason,
  // worded as the headless run words it, is then shown in the status bar and as the one row of
  // the list, nothing is created, and AfterRun has run.
  bool SourceSearchable();
  // A row that is no entry of the batch job: a failure with its reason as the result.
  void ShowFailedRow(const QString& fileName, const QString& reason);
  void StartConvertors();
  void FinishRun();
  void SetIdleButtons();
  void SetRunButtons();
  void DropBatch();
  // True while converters of this window's runs may still touch a batch job.
  bool BatchInUse() const;

  // A row's state as recorded from any thread.
  struct TRowUpdate {
    int status = 0;
    std::string fileName;
    std::string message;
    bool withResult = false;
    int64_t milliseconds = 0;  // with the result: how long the conversion took
    int32_t pages = -1;
    std::string reason;  // with a failed result: its kind
  };
  // False when the report is for a batch job the window no longer shows; index is the node's row.
  bool RecordRow(batch::TcvBatch* batch, batch::TcvNode* node, const std::string& fileName, bool withResult,
                 int& index);
  void ApplyRow(int index, const TRowUpdate& update);

  std::unique_ptr<batch::TcvBatch> batch_;
  std::vector<std::unique_ptr<batch::TcvBatch>> retired_;
  bool releasePosted_ = false;
  // The batch job the running chain takes its entries from: Batch, or a retired one once
  // NewBatch replaced it during the run. Its counters are the run's.
  batch::TcvBatch* runBatch_ = nullptr;
  // What the converters' callbacks reach the window through; cleared when the window goes.
  struct TRunLink {
    std::mutex lock;
    std::atomic<TcvFrmMain*> window{nullptr};
  };
  std::shared_ptr<TRunLink> link_;
  QTimer* daemonTimer_ = nullptr;
  // The error that kept the last auto-run from starting; empty after one that started.
  std::string autoRunError_;
  // The failure messages the report last carried (empty after a run without failures or without
  // a report): in a Daemon loop the report opens again only when they change.
  std::vector<std::string> lastFailures_;
  bool closing_ = false;
  std::unique_ptr<TcvDialogs> dialogs_;
  std::vector<std::unique_ptr<TcvWidgetBinding>> bound_;
  TcvFrmCfg* cfg_ = nullptr;
  TcvFrmAbout* about_ = nullptr;

  // The hand-over of row changes: guarded by rowsLock_, taken after the job list lock.
  std::mutex rowsLock_;
  batch::TcvBatch* rowsBatch_ = nullptr;
  std::map<int, TRowUpdate> pendingRows_;
  bool flushPosted_ = false;
};

}  // namespace ui
