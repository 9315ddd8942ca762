// The layout of the main window: actions, tool bar, source and target lines, the list and its
// menus, with the captions, hints, positions and tab order the window has always had.
#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/ActionButton.h"
#include "ui/Pictures.h"
#include "ui/cvFormMain.h"

namespace ui {

namespace {

QAction* MakeAction(QObject* owner, const char* name, const QString& caption, const QString& hint,
                    int image = -1) {
  auto* action = new QAction(caption, owner);
  action->setObjectName(QString::fromLatin1(name));
  action->setStatusTip(hint);
  action->setToolTip(hint);
  if (image >= 0) action->setIcon(ImageIcon(image));
  return action;
}

QFrame* MakePanel(QWidget* parent, const char* name, int height, bool lowered) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  if (lowered) panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  if (height > 0) panel->setFixedHeight(height);
  return panel;
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

void TcvFrmMain::CreateActions() {
  aOpen = MakeAction(this, "aOpen", "&Open", "Open a batch project", imgOpen);
  aNew = MakeAction(this, "aNew", "&New", "New a batch project", imgNew);
  aConfig = MakeAction(this, "aConfig", "Config", "Config the options of the batch project", imgConfig);
  aSave = MakeAction(this, "aSave", "Sa&ve", "Save the batch project", imgSave);
  aSaveAs = MakeAction(this, "aSaveAs", "Save &As", "Save the batch project as ...", imgSaveAs);
  aUpdate = MakeAction(this, "aUpdate", "Check &Update", "", imgUpdate);
  aHelp = MakeAction(this, "aHelp", "&Help", "", imgHelp);
  aHomePage = MakeAction(this, "aHomePage", "Home", "", imgHome);
  aSupports = MakeAction(this, "aSupports", "Support", "Send us e-mail for support", imgSupport);
  aAbout = MakeAction(this, "aAbout", "About", "", imgAbout);
  aSearch = MakeAction(this, "aSearch", "Search", "Search files from the source folder");
  aConvert = MakeAction(this, "aConvert", "&Convert", "Convert the file(s) instantly");
  aSearchConvert = MakeAction(this, "aSearchConvert", "Start", "");
  aSearchConvert->setVisible(false);
  aPause = MakeAction(this, "aPause", "Pause", "");
  aStop = MakeAction(this, "aStop", "Sto&p", "");
  aView = MakeAction(this, "aView", "View", "View the convert result");
  aClose = MakeAction(this, "aClose", "Close", "Close the window");
  // Tool buttons show no mnemonics of their own, so the tool bar's actions get theirs as shortcuts.
  for (QAction* a : {aOpen, aNew, aSave, aSaveAs, aUpdate, aHelp})
    a->setShortcut(QKeySequence::mnemonic(a->text()));
}

void TcvFrmMain::CreateShortcuts() {
  // The keys every desktop program has, beside the Alt+letter of a tool button's caption.
  const std::pair<QAction*, QKeySequence> keys[] = {
      {aOpen, QKeySequence(Qt::CTRL | Qt::Key_O)},
      {aSave, QKeySequence(Qt::CTRL | Qt::Key_S)},
      {aSaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
      {aClose, QKeySequence(Qt::CTRL | Qt::Key_Q)},
      {aHelp, QKeySequence(Qt::Key_F1)},
      {aConvert, QKeySequence(Qt::Key_F5)},
      // Stop is enabled only while a run or a Daemon pause can be stopped.
      {aStop, QKeySequence(Qt::Key_Escape)},
  };
  for (const auto& [action, key] : keys) {
    QList<QKeySequence> all{key};
    for (const QKeySequence& other : action->shortcuts())
      if (other != key) all << other;
    action->setShortcuts(all);
    action->setToolTip(TcvActionButton::HintOf(*action));
  }
  // The tool bar carries its own actions' keys; these have no control of their own for it.
  addActions({aConvert, aStop, aClose});
}

void TcvFrmMain::CreateToolBar() {
  ToolBar = Named(new QToolBar(this), "ToolBar");
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ToolBar->setIconSize(QSize(kImageSize, kImageSize));

  auto add = [this](QAction* action, const char* name) {
    ToolBar->addAction(action);
    auto* button = qobject_cast<QToolButton*>(ToolBar->widgetForAction(action));
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedWidth(101);
    button->setAutoRaise(true);
    return button;
  };
  auto separator = [this](const char* name) {
    QAction* sep = ToolBar->addSeparator();
    sep->setObjectName(QString::fromLatin1(name));
    if (QWidget* w = ToolBar->widgetForAction(sep)) w->setFixedWidth(8);
  };
  tbOpen = add(aOpen, "tbOpen");
  tbNew = add(aNew, "tbNew");
  tbConfig = add(aConfig, "tbConfig");
  tbSave = add(aSave, "tbSave");
  tbSaveAs = add(aSaveAs, "tbSaveAs");
  separator("tb1");
  tbUpdate = add(aUpdate, "tbUpdate");
  separator("tb2");
  tbHelp = add(aHelp, "tbHelp");
  tbHomePage = add(aHomePage, "tbHomePage");
  tbSupports = add(aSupports, "tbSupports");
  tbAbout = add(aAbout, "tbAbout");
}

void TcvFrmMain::CreateActionPanel() {
  pAction = MakePanel(this, "pAction", 70, true);
  auto* layout = new QVBoxLayout(pAction);
  layout->setContentsMargins(pAction->frameWidth(), pAction->frameWidth(), pAction->frameWidth(),
                             pAction->frameWidth());
  layout->setSpacing(0);
  pSource = MakePanel(pAction, "pSource", 32, false);
  pSource->setToolTip("Choose or drag & drop source folder or file(s)");
  pTarget = MakePanel(pAction, "pTarget", 30, false);
  pTarget->setToolTip("Choose or drag & drop target folder");
  pOthers = MakePanel(pAction, "pOthers", 0, false);
  layout->addWidget(pSource);
  layout->addWidget(pTarget);
  layout->addWidget(pOthers, 1);

  // Source line. The bound edits show no hint: theirs names the bound property.
  eSource = Named(new QLineEdit(pSource), "eSource");
  eSource->setGeometry(50, 10, 500, 21);
  eSource->setToolTip(QString());
  eSourceLabel = Named(new QLabel("&Source", pSource), "eSourceLabel");
  eSourceLabel->setBuddy(eSource);
  eSourceLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  eSourceLabel->setGeometry(0, 10, 50 - 4, 21);
  bSource = Named(new QPushButton("Folder", pSource), "bSource");
  bSource->setGeometry(550, 10, 38, 21);
  bSource->setToolTip("Choose a folder and click \"Search\" to list files");
  bSourceFile = Named(new QPushButton("Files", pSource), "bSourceFile");
  bSourceFile->setGeometry(588, 10, 38, 21);
  bSourceFile->setToolTip("Choose file(s) and click \"Convert\" to convert them");
  cSubdir = Named(new QCheckBox("Su&b folders", pSource), "cSubdir");
  cSubdir->setLayoutDirection(Qt::RightToLeft);
  // Caption left of the box, ending where the Search button begins; a wider font widens it into
  // the free space before it rather than cutting the caption.
  int subdirWidth = std::clamp(cSubdir->sizeHint().width(), 72, 82);
  cSubdir->setGeometry(706 - subdirWidth, 12, subdirWidth, 17);
  cSubdir->setToolTip(QString());
  bSearch = Named(new TcvActionButton(pSource), "bSearch");
  bSearch->setGeometry(710, 10, 76, 21);
  bSearch->SetAction(aSearch);

  // Target line.
  eTarget = Named(new QLineEdit(pTarget), "eTarget");
  eTarget->setGeometry(50, 6, 500, 21);
  eTargetLabel = Named(new QLabel("&Target", pTarget), "eTargetLabel");
  eTargetLabel->setBuddy(eTarget);
  eTargetLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  eTargetLabel->setGeometry(0, 6, 50 - 4, 21);
  bTarget = Named(new QPushButton("Folder", pTarget), "bTarget");
  bTarget->setGeometry(550, 6, 38, 21);
  bTarget->setToolTip("Choose a target folder to save the converted file(s)");
  bView = Named(new TcvActionButton(pTarget), "bView");
  bView->setGeometry(588, 6, 38, 21);
  bView->SetAction(aView);
  bSearchConvert = Named(new TcvActionButton(pTarget), "bSearchConvert");
  bSearchConvert->setGeometry(630, 6, 76, 21);
  bSearchConvert->SetAction(aSearchConvert);
  bCreate = Named(new TcvActionButton(pTarget), "bCreate");
  bCreate->setGeometry(710, 6, 76, 21);
  bCreate->SetAction(aConvert);

  // Tab order inside the lines follows the order of the lines' controls.
  setTabOrder(eSource, bSource);
  setTabOrder(bSource, bSourceFile);
  setTabOrder(bSourceFile, cSubdir);
  setTabOrder(cSubdir, bSearch);
  setTabOrder(bSearch, eTarget);
  setTabOrder(eTarget, bTarget);
  setTabOrder(bTarget, bSearchConvert);
  setTabOrder(bSearchConvert, bCreate);
  setTabOrder(bCreate, bView);
}

void TcvFrmMain::CreateViewer() {
  pSpacer = MakePanel(this, "pSpacer", 2, false);
  pViewer = MakePanel(this, "pViewer", 0, true);
  auto* layout = new QVBoxLayout(pViewer);
  layout->setContentsMargins(pViewer->frameWidth(), pViewer->frameWidth(), pViewer->frameWidth(),
                             pViewer->frameWidth());
  lViewer = Named(new QTreeWidget(pViewer), "lViewer");
  layout->addWidget(lViewer);
  lViewer->setFrameShape(QFrame::NoFrame);
  lViewer->setRootIsDecorated(false);
  lViewer->setItemsExpandable(false);
  lViewer->setUniformRowHeights(true);
  lViewer->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lViewer->setSelectionBehavior(QAbstractItemView::SelectRows);
  lViewer->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lViewer->setIconSize(QSize(kImageSize, kImageSize));
  lViewer->setContextMenuPolicy(Qt::CustomContextMenu);
  lViewer->setToolTip("Drag & drop file(s) here and click \"Convert\" to convert them");
  lViewer->setHeaderLabels({"@", "File Name", "Result"});
  QHeaderView* header = lViewer->header();
  // Failure messages are long: "Result" takes whatever width the window has beyond the others.
  header->setStretchLastSection(true);
  header->setMinimumSectionSize(16);
  header->setSectionResizeMode(0, QHeaderView::Fixed);
  header->resizeSection(0, 30);
  header->resizeSection(1, 370);
  header->resizeSection(2, 370);
  lViewer->setTextElideMode(Qt::ElideMiddle);
}

void TcvFrmMain::CreateMenus() {
  pm1 = Named(new QMenu(this), "pm1");
  BrowseFiles1 = pm1->addAction("Browse Files");
  BrowseFiles1->setObjectName("BrowseFiles1");
  pm1->addSeparator()->setObjectName("N1");
  ViewSource1 = pm1->addAction("View  Source");
  ViewSource1->setObjectName("ViewSource1");
  OpenSource1 = pm1->addAction("Open Source");
  OpenSource1->setObjectName("OpenSource1");
  pm1->addSeparator()->setObjectName("N2");
  ViewOutput1 = pm1->addAction("View  Output");
  ViewOutput1->setObjectName("ViewOutput1");
  pm1->addSeparator()->setObjectName("N3");
  ExportList1 = pm1->addAction("Export the List");
  ExportList1->setObjectName("ExportList1");

  pm2 = Named(new QMenu(this), "pm2");
  tbOpen->setMenu(pm2);
  tbOpen->setPopupMode(QToolButton::MenuButtonPopup);
}

}  // namespace ui
