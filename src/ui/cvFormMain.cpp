#include "ui/cvFormMain.h"

#include <QAction>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "batch/cvBatch.h"
#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "ui/ActionButton.h"
#include "ui/Dialogs.h"
#include "ui/RunStatusBar.h"
#include "ui/WidgetBinding.h"
#include "ui/cvFormAbout.h"
#include "ui/cvFormCfg.h"

namespace ui {

namespace {

QString FolderOf(const QString& path) {
  return QString::fromStdString(platform::ExtractFilePath(path.toStdString()));
}

QString WithDelimiter(const QString& path) {
  return QString::fromStdString(platform::IncludeTrailingPathDelimiter(path.toStdString()));
}

QStringList PathsOf(const QMimeData* mime) {
  QStringList paths;
  if (!mime) return paths;
  for (const QUrl& url : mime->urls()) paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
  return paths;
}

}  // namespace

TcvFrmMain::TcvFrmMain(QWidget* parent) : TcvFrmBase(parent) {
  setObjectName("cvFrmMain");
  link_ = std::make_shared<TRunLink>();
  link_->window = this;
  daemonTimer_ = new QTimer(this);
  daemonTimer_->setSingleShot(true);
  connect(daemonTimer_, &QTimer::timeout, this, [this] { RunGuarded([this] { AutoRun(); }); });
  dialogs_ = std::make_unique<TcvDialogs>(this);
  CreateActions();
  CreateToolBar();
  CreateActionPanel();
  CreateViewer();
  CreateMenus();
  CreateShortcuts();
  sbRun = new TcvRunStatusBar(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ToolBar);
  layout->addWidget(pAction);
  layout->addWidget(pSpacer);
  layout->addWidget(pViewer, 1);
  layout->addWidget(sbRun);
  ConnectHandlers();

  core::TcvProject* project = core::cvProject();
  project->SetDialogs(dialogs_.get());
  BindControls();
  // A start-up project that cannot be read is reported; the window opens without it.
  RunGuarded([project] { project->OpenStartup(); });
  UpdateCaption();

  setAcceptDrops(true);
  for (QWidget* w : {static_cast<QWidget*>(eSource), static_cast<QWidget*>(eTarget), lViewer->viewport()}) {
    w->setAcceptDrops(true);
    w->installEventFilter(this);
  }
}

TcvFrmMain::~TcvFrmMain() {
  EndRun();
  if (core::TcvProject* project = core::cvProject()) {
    project->UnbindAll();
    project->SetDialogs(nullptr);
  }
  {
    std::lock_guard<std::mutex> guard(rowsLock_);
    rowsBatch_ = nullptr;
    pendingRows_.clear();
  }
  batch_.reset();
  retired_.clear();
}

void TcvFrmMain::ConnectHandlers() {
  // Every handler runs guarded: a failed save or export is reported, never a crash.
  auto on = [this](auto* sender, auto signal, void (TcvFrmMain::*handler)()) {
    connect(sender, signal, this, [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
  };
  on(aOpen, &QAction::triggered, &TcvFrmMain::aOpenExecute);
  on(aNew, &QAction::triggered, &TcvFrmMain::aNewExecute);
  on(aConfig, &QAction::triggered, &TcvFrmMain::aConfigExecute);
  on(aSave, &QAction::triggered, &TcvFrmMain::aSaveExecute);
  on(aSaveAs, &QAction::triggered, &TcvFrmMain::aSaveAsExecute);
  on(aUpdate, &QAction::triggered, &TcvFrmMain::aUpdateExecute);
  on(aHelp, &QAction::triggered, &TcvFrmMain::aHelpExecute);
  on(aHomePage, &QAction::triggered, &TcvFrmMain::aHomePageExecute);
  on(aSupports, &QAction::triggered, &TcvFrmMain::aSupportsExecute);
  on(aAbout, &QAction::triggered, &TcvFrmMain::aAboutExecute);
  on(aSearch, &QAction::triggered, &TcvFrmMain::aSearchExecute);
  on(aConvert, &QAction::triggered, &TcvFrmMain::aConvertExecute);
  on(aSearchConvert, &QAction::triggered, &TcvFrmMain::aSearchConvertExecute);
  on(aPause, &QAction::triggered, &TcvFrmMain::aPauseExecute);
  on(aStop, &QAction::triggered, &TcvFrmMain::aStopExecute);
  on(aView, &QAction::triggered, &TcvFrmMain::aViewExecute);
  connect(aClose, &QAction::triggered, this, &QWidget::close);
  on(bSource, &QPushButton::clicked, &TcvFrmMain::bSourceClick);
  on(bSourceFile, &QPushButton::clicked, &TcvFrmMain::bSourceFileClick);
  on(bTarget, &QPushButton::clicked, &TcvFrmMain::bTargetClick);
  on(BrowseFiles1, &QAction::triggered, &TcvFrmMain::bSourceFileClick);
  on(ViewSource1, &QAction::triggered, &TcvFrmMain::ViewSource1Click);
  on(OpenSource1, &QAction::triggered, &TcvFrmMain::OpenSource1Click);
  on(ExportList1, &QAction::triggered, &TcvFrmMain::ExportList1Click);
  on(pm2, &QMenu::aboutToShow, &TcvFrmMain::pm2Popup);
  connect(ViewOutput1, &QAction::triggered, aView, &QAction::trigger);
  connect(lViewer, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    pm1Popup();
    pm1->popup(lViewer->viewport()->mapToGlobal(pos));
  });
}

void TcvFrmMain::BindControls() {
  bound_.push_back(std::make_unique<TcvWidgetBinding>(eSource, "Text"));
  bound_.push_back(std::make_unique<TcvWidgetBinding>(cSubdir, "Checked"));
  bound_.push_back(std::make_unique<TcvWidgetBinding>(eTarget, "Text"));
  for (auto& control : bound_) core::cvProject()->Bind(control.get());
}

void TcvFrmMain::UpdateCaption() {
  core::TcvProject* project = core::cvProject();
  std::string caption = project->Title + " - " + (project->ProjectFile.empty() ? "None" : project->ProjectFile);
  setWindowTitle(QString::fromStdString(caption));
}

void TcvFrmMain::SetDefaultTarget(const QString& folder) {
  // The folder part of a web address ("http://host/") is no folder of this machine: writing
  // there would create a relative "http:" folder wherever the program was started.
  if (folder.contains("://")) return;
  if (eTarget->text().isEmpty()) eTarget->setText(folder);
}

void TcvFrmMain::SetDialogs(std::unique_ptr<TcvDialogs> dialogs) {
  dialogs_ = std::move(dialogs);
  core::cvProject()->SetDialogs(dialogs_.get());
}

void TcvFrmMain::FormShow() {
  // From the event loop rather than inside show(): a run that ends at once may close the
  // window, and a close before the loop runs would leave the program waiting forever.
  if (!Shown) QTimer::singleShot(0, this, [this] { RunGuarded([this] { AutoRun(); }); });
  Shown = true;
}

// Project actions -------------------------------------------------------------------------

void TcvFrmMain::aOpenExecute() {
  core::cvProject()->Open(false);
  UpdateCaption();
}

void TcvFrmMain::aNewExecute() {
  core::cvProject()->New();
  UpdateCaption();
}

void TcvFrmMain::aConfigExecute() {
  if (!cfg_) cfg_ = new TcvFrmCfg(this);
  cfg_->ShowModal();
  UpdateCaption();
}

void TcvFrmMain::aSaveExecute() {
  core::cvProject()->Save();
  UpdateCaption();
}

void TcvFrmMain::aSaveAsExecute() {
  core::cvProject()->SaveAs();
  UpdateCaption();
}

// Web and help actions --------------------------------------------------------------------

void TcvFrmMain::aUpdateExecute() { core::cvInfo()->OpenLink("download", "", ""); }

void TcvFrmMain::aHelpExecute() {
  core::cvInfo()->OpenLink("h", "", "");
  core::cvInfo()->UpdateCounter("H", 0, 1);
}

void TcvFrmMain::aHomePageExecute() { core::cvInfo()->OpenLink("", "", ""); }

void TcvFrmMain::aSupportsExecute() { core::cvInfo()->OpenLink("supports", "", ""); }

void TcvFrmMain::aAboutExecute() {
  if (about_) about_->ShowAbout();
}

// Source and target -------------------------------------------------------------------------

void TcvFrmMain::bSourceClick() {
  QString start = FolderOf(eSource->text());
  QString result = start;
  QString chosen;
  if (dialogs_->ChooseFolder(start, chosen)) result = chosen;
  // With nothing chosen and nothing to start from, a cancel would make the root of the file
  // system the source; it changes nothing instead.
  if (result.isEmpty()) return;
  QString folder = WithDelimiter(result);
  eSource->setText(folder + QString::fromStdString(core::cvProject()->SourceMask));
  SetDefaultTarget(folder);
}

void TcvFrmMain::bSourceFileClick() {
  QString source = eSource->text();
  QString fileName = source;
  fileName.replace('?', '*');
  QStringList chosen;
  if (!dialogs_->ChooseFiles(QString::fromStdString(core::cvProject()->SourceFilter), fileName,
                             source.isEmpty() ? QString() : FolderOf(source), chosen))
    return;
  QString text = chosen.join('\n').trimmed();
  if (!text.contains('\n')) eSource->setText(text);
  NewBatch();
  for (const QString& line : text.split('\n')) {
    QString path = line.trimmed();
    if (!path.isEmpty()) ShowJob(path.toStdString(), Batch(), nullptr);
  }
}

void TcvFrmMain::bTargetClick() {
  QString result = eTarget->text();
  QString chosen;
  if (dialogs_->ChooseFolder(result, chosen)) result = chosen;
  // An empty box stays empty on cancel rather than naming the root of the file system.
  if (result.isEmpty()) return;
  eTarget->setText(WithDelimiter(result));
}

void TcvFrmMain::aViewExecute() {
  if (eTarget->text().isEmpty()) {
    eTarget->setFocus();
    return;
  }
  platform::ShellOpen(eTarget->text().toStdString());
}

// Drag and drop -----------------------------------------------------------------------------

void TcvFrmMain::DropFiles(QWidget* target, const QStringList& paths) {
  QLineEdit* edit = target == eSource ? eSource : target == eTarget ? eTarget : nullptr;
  bool list = target == lViewer || (lViewer && target == lViewer->viewport());
  if ((!edit && !list) || paths.isEmpty()) return;
  core::TcvProject* project = core::cvProject();
  for (int i = 0; i < paths.size(); ++i) {
    const QString& path = paths[i];
    if (paths.size() == 1 && project->IsProjectFile(path.toStdString())) {
      project->ProjectFile = path.toStdString();
      project->Open(true);
      UpdateCaption();
      return;
    }
    if (edit) {
      edit->setText(path);
      SetDefaultTarget(FolderOf(path));
      return;
    }
    if (i == 0) NewBatch();
    ShowJob(path.toStdString(), Batch(), nullptr);
  }
}

bool TcvFrmMain::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (!drag->mimeData()->hasUrls()) break;
      drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (!drop->mimeData()->hasUrls()) break;
      drop->acceptProposedAction();
      QWidget* target = watched == lViewer->viewport() ? lViewer : qobject_cast<QWidget*>(watched);
      QStringList paths = PathsOf(drop->mimeData());
      RunGuarded([&] { DropFiles(target, paths); });
      return true;
    }
    case QEvent::MouseButtonDblClick:
      if (watched == eSource) {
        RunGuarded([this] { bSourceFileClick(); });
        return true;
      }
      if (watched == eTarget) {
        RunGuarded([this] { bTargetClick(); });
        return true;
      }
      break;
    default:
      break;
  }
  return TcvFrmBase::eventFilter(watched, event);
}

void TcvFrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TcvFrmMain::dropEvent(QDropEvent* event) {
  // Drops elsewhere than on the two edit boxes and the list are taken and left without effect.
  event->acceptProposedAction();
  QWidget* target = childAt(event->position().toPoint());
  QStringList paths = PathsOf(event->mimeData());
  RunGuarded([&] { DropFiles(target, paths); });
}

}  // namespace ui
