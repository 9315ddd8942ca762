// The main window as a user meets it: its layout, caption, bound controls, the choice of source
// and target, drops, web and help links, and the recent-projects menu.
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "UiTestEnv.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "ui/ActionButton.h"
#include "ui/cvFormMain.h"

using uitest::Env;
using uitest::ScriptedDialogs;

namespace {

// A main window over a fresh environment, with scripted dialogs.
struct Window {
  Env env;
  ui::TcvFrmMain main;
  ScriptedDialogs* dialogs;
  Window() : dialogs(new ScriptedDialogs) { main.SetDialogs(std::unique_ptr<ui::TcvDialogs>(dialogs)); }

  QStringList Rows() const { return uitest::ColumnTexts(main, 1); }
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void toolBarButtonsInOrder() {
    Window w;
    QStringList names, captions;
    for (QAction* a : w.main.ToolBar->actions()) {
      names << a->objectName();
      captions << (a->isSeparator() ? "-" : a->text());
    }
    QCOMPARE(names, (QStringList{"aOpen", "aNew", "aConfig", "aSave", "aSaveAs", "tb1", "aUpdate", "tb2", "aHelp",
                                 "aHomePage", "aSupports", "aAbout"}));
    QCOMPARE(captions, (QStringList{"&Open", "&New", "Config", "Sa&ve", "Save &As", "-", "Check &Update", "-",
                                    "&Help", "Home", "Support", "About"}));
    QCOMPARE(w.main.tbOpen->popupMode(), QToolButton::MenuButtonPopup);
    QCOMPARE(w.main.tbOpen->menu(), w.main.pm2);
    QCOMPARE(w.main.tbOpen->width(), 101);
  }

  void actionHints_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::newRow("open") << "aOpen" << "&Open" << "Open a batch project";
    QTest::newRow("new") << "aNew" << "&New" << "New a batch project";
    QTest::newRow("config") << "aConfig" << "Config" << "Config the options of the batch project";
    QTest::newRow("save") << "aSave" << "Sa&ve" << "Save the batch project";
    QTest::newRow("save as") << "aSaveAs" << "Save &As" << "Save the batch project as ...";
    QTest::newRow("support") << "aSupports" << "Support" << "Send us e-mail for support";
    QTest::newRow("search") << "aSearch" << "Search" << "Search files from the source folder";
    QTest::newRow("convert") << "aConvert" << "&Convert" << "Convert the file(s) instantly";
    QTest::newRow("start") << "aSearchConvert" << "Start" << "";
    QTest::newRow("pause") << "aPause" << "Pause" << "";
    QTest::newRow("stop") << "aStop" << "Sto&p" << "";
    QTest::newRow("view") << "aView" << "View" << "View the convert result";
  }
  void actionHints() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    Window w;
    auto* action = w.main.findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->statusTip(), hint);
  }

  void actionLineAsShown() {
    Window w;
    w.main.show();
    QCOMPARE(w.main.eSourceLabel->text(), QString("&Source"));
    QCOMPARE(w.main.eSourceLabel->buddy(), w.main.eSource);
    QCOMPARE(w.main.eTargetLabel->text(), QString("&Target"));
    QCOMPARE(w.main.cSubdir->text(), QString("Su&b folders"));
    QCOMPARE(w.main.bSource->text(), QString("Folder"));
    QCOMPARE(w.main.bSourceFile->text(), QString("Files"));
    QCOMPARE(w.main.bTarget->text(), QString("Folder"));
    QCOMPARE(w.main.bSearch->text(), QString("Search"));
    QCOMPARE(w.main.bCreate->text(), QString("&Convert"));
    QCOMPARE(w.main.bView->text(), QString("View"));
    // The Start button exists but stays hidden while idle.
    QVERIFY(!w.main.bSearchConvert->isVisible());
    QVERIFY(w.main.bCreate->isVisible());
    QCOMPARE(w.main.bSource->toolTip(), QString("Choose a folder and click \"Search\" to list files"));
    QCOMPARE(w.main.pSource->toolTip(), QString("Choose or drag & drop source folder or file(s)"));
    // The bound edits never show their hint.
    QVERIFY(w.main.eSource->toolTip().isEmpty());

    QStringList order;
    QWidget* widget = w.main.eSource;
    for (int i = 0; i < 40 && order.size() < 10; ++i, widget = widget->nextInFocusChain())
      if (widget->parentWidget() == w.main.pSource || widget->parentWidget() == w.main.pTarget)
        if ((widget->focusPolicy() & Qt::TabFocus) && !order.contains(widget->objectName()))
          order << widget->objectName();
    QCOMPARE(order, (QStringList{"eSource", "bSource", "bSourceFile", "cSubdir", "bSearch", "eTarget", "bTarget",
                                 "bSearchConvert", "bCreate", "bView"}));
  }

  void listColumnsAndMenu() {
    Window w;
    QTreeWidget* list = w.main.lViewer;
    QCOMPARE(list->columnCount(), 3);
    QStringList titles;
    for (int i = 0; i < 3; ++i) titles << list->headerItem()->text(i);
    QCOMPARE(titles, (QStringList{"@", "File Name", "Result"}));
    QCOMPARE(list->header()->sectionSize(0), 30);
    QCOMPARE(list->header()->sectionResizeMode(0), QHeaderView::Fixed);
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QStringList items;
    for (QAction* a : w.main.pm1->actions()) items << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(items, (QStringList{"Browse Files", "-", "View  Source", "Open Source", "-", "View  Output", "-",
                                 "Export the List"}));
  }

  void captionFollowsProject() {
    Window w;
    // A start without arguments names the default project beside the program, existing or not.
    QCOMPARE(w.main.windowTitle(), "Quillex Converter - " + Q(w.env.exeName) + ".batch-quillex");
    w.main.aNew->trigger();
    QCOMPARE(w.main.windowTitle(), QString("Quillex Converter - None"));
  }

  void aDocumentArgumentWinsOverTheStartupProject() {
    Env env;
    env.Write("quillex.batch-quillex", "Source=/beside/*.doc?\r\nTarget=/beside/out/\r\n");
    // The program opens its start-up project before the window exists; the window opens it again.
    env.project->ProjectFile = "/docs/letter.docx";
    env.project->OpenStartup();
    ui::TcvFrmMain main;
    QCOMPARE(main.eSource->text(), QString("/docs/letter.docx"));
    QCOMPARE(main.eTarget->text(), QString("/docs/"));
    QCOMPARE(main.windowTitle(), QString("Quillex Converter - None"));
  }

  void anUnreadableProjectIsReportedAndNeverOverwritten() {
    Window w;
    std::string good = w.env.Write("good.batch-quillex", "Source=/a/*.doc\r\nTarget=/b/\r\n");
    // Too large to be a project: unreadable even for root, who reads a file of mode 200.
    std::string bad = w.env.Write("bad.batch-quillex", "Source=/kept/*.doc\r\n");
    std::filesystem::resize_file(bad, 17u << 20);
    w.dialogs->openFile.push_back(good);
    w.dialogs->openFile.push_back(bad);
    w.main.aOpen->trigger();
    w.main.aOpen->trigger();
    QVERIFY(uitest::WaitForLinks(w.env, 1).value(0).contains("bad.batch-quillex"));
    QCOMPARE(w.main.windowTitle(), "Quillex Converter - " + Q(good));
    QCOMPARE(w.main.eSource->text(), QString("/a/*.doc"));
    QCOMPARE(w.env.project->RecentProjects(), std::vector<std::string>{good});
    w.main.aSave->trigger();
    QCOMPARE(testsupport::ReadFile(good), std::string("Source=/a/*.doc\r\nTarget=/b/\r\nSubdir=False\r\n"));
    QCOMPARE(std::filesystem::file_size(bad), std::uintmax_t(17u << 20));
  }

  void saveThenOpenCarriesTheBoundControls() {
    Window w;
    std::string file = w.env.Path("job.batch-quillex");
    w.main.eSource->setText("/home/ann/in/*.doc?");
    w.main.cSubdir->setChecked(true);
    w.main.eTarget->setText("/home/ann/out/");
    w.main.aNew->trigger();  // no project file: Save asks for a name
    w.main.eSource->setText("/home/ann/in/*.doc?");
    w.main.cSubdir->setChecked(true);
    w.main.eTarget->setText("/home/ann/out/");
    w.dialogs->saveFile.push_back(file);
    w.main.aSave->trigger();
    QCOMPARE(testsupport::ReadFile(file),
             std::string("Source=/home/ann/in/*.doc?\r\nSubdir=True\r\nTarget=/home/ann/out/\r\n"));
    QCOMPARE(w.main.windowTitle(), "Quillex Converter - " + Q(file));

    w.main.aNew->trigger();
    QVERIFY(w.main.eSource->text().isEmpty());
    QVERIFY(!w.main.cSubdir->isChecked());
    w.dialogs->openFile.push_back(file);
    w.main.aOpen->trigger();
    QCOMPARE(w.main.eSource->text(), QString("/home/ann/in/*.doc?"));
    QVERIFY(w.main.cSubdir->isChecked());
    QCOMPARE(w.main.eTarget->text(), QString("/home/ann/out/"));
    QCOMPARE(w.main.windowTitle(), "Quillex Converter - " + Q(file));

    // A cancelled open changes nothing.
    w.main.eTarget->setText("/elsewhere/");
    w.main.aOpen->trigger();
    QCOMPARE(w.main.eTarget->text(), QString("/elsewhere/"));
  }

  void olderProjectsKeyedByControl() {
    Window w;
    std::string file =
        w.env.Write("old.batch-quillex", "eSource.Text=/old/in/*.doc\r\ncSubdir.Checked=True\r\neTarget.Text=/old/out/\r\n");
    w.dialogs->openFile.push_back(file);
    w.main.aOpen->trigger();
    QCOMPARE(w.main.eSource->text(), QString("/old/in/*.doc"));
    QVERIFY(w.main.cSubdir->isChecked());
    QCOMPARE(w.main.eTarget->text(), QString("/old/out/"));
  }

  void chooseSourceAndTarget_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("answer");  // "<cancel>" for a cancelled browser
    QTest::addColumn<QString>("newSource");
    QTest::addColumn<QString>("newTarget");
    QTest::newRow("folder picked") << "bSource" << "" << "" << "/data/in" << "/data/in/*.doc?" << "/data/in/";
    QTest::newRow("folder keeps a target") << "bSource" << "/a/x.doc" << "/t/" << "/data/in" << "/data/in/*.doc?"
                                           << "/t/";
    QTest::newRow("cancel re-masks the old folder") << "bSource" << "/a/b/x.doc" << "" << "<cancel>"
                                                    << "/a/b/*.doc?" << "/a/b/";
    QTest::newRow("cancel with nothing changes nothing") << "bSource" << "" << "" << "<cancel>" << "" << "";
    QTest::newRow("target picked") << "bTarget" << "" << "/old" << "/data/out" << "" << "/data/out/";
    QTest::newRow("target cancel adds the delimiter") << "bTarget" << "" << "/old" << "<cancel>" << "" << "/old/";
    QTest::newRow("target cancel when empty") << "bTarget" << "" << "" << "<cancel>" << "" << "";
  }
  void chooseSourceAndTarget() {
    QFETCH(QString, button);
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, answer);
    QFETCH(QString, newSource);
    QFETCH(QString, newTarget);
    Window w;
    w.main.eSource->setText(source);
    w.main.eTarget->setText(target);
    if (answer == "<cancel>")
      w.dialogs->folders.push_back(std::nullopt);
    else
      w.dialogs->folders.push_back(answer);
    w.main.findChild<QPushButton*>(button)->click();
    QCOMPARE(w.main.eSource->text(), newSource);
    QCOMPARE(w.main.eTarget->text(), newTarget);
  }

  void chooseFiles_data() {
    QTest::addColumn<QStringList>("chosen");  // empty: cancelled
    QTest::addColumn<QString>("newSource");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("newTarget");
    QTest::newRow("three files") << QStringList{"/d/b.doc", "/d/a.docx", "/e/c.doc"} << "/old/*.doc?"
                                 << QStringList{"/d/b.doc", "/d/a.docx", "/e/c.doc"} << "/d/";
    QTest::newRow("one file") << QStringList{"/d/one.doc"} << "/d/one.doc" << QStringList{"/d/one.doc"} << "/d/";
    QTest::newRow("cancel") << QStringList{} << "/old/*.doc?" << QStringList{"/kept.doc"} << "";
  }
  void chooseFiles() {
    QFETCH(QStringList, chosen);
    QFETCH(QString, newSource);
    QFETCH(QStringList, rows);
    QFETCH(QString, newTarget);
    Window w;
    w.main.eTarget->clear();
    w.main.DropFiles(w.main.lViewer, {"/kept.doc"});
    w.main.eTarget->clear();
    w.main.eSource->setText("/old/*.doc?");
    if (chosen.isEmpty())
      w.dialogs->files.push_back(std::nullopt);
    else
      w.dialogs->files.push_back(chosen);
    w.main.bSourceFile->click();
    QCOMPARE(w.Rows(), rows);
    QCOMPARE(w.main.eSource->text(), newSource);
    QCOMPARE(w.main.eTarget->text(), newTarget);
    // The dialog proposes the source with its "?" as "*", in the source's folder.
    QCOMPARE(w.dialogs->asked.last(), QString("files|Word Document (*.doc;*.docx)|*.doc;*.docx|/old/*.doc*|/old/"));
  }

  void dropRules_data() {
    QTest::addColumn<QString>("on");
    QTest::addColumn<QStringList>("paths");  // "@" stands for the test folder
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("opened");
    QTest::newRow("one project on the list") << "lViewer" << QStringList{"@/p.batch-quillex"} << "/from/project/*.doc"
                                             << "/to/" << QStringList{} << true;
    QTest::newRow("one project on the source") << "eSource" << QStringList{"@/p.batch-quillex"}
                                               << "/from/project/*.doc" << "/to/" << QStringList{} << true;
    QTest::newRow("two projects are two rows")
        << "lViewer" << QStringList{"@/p.batch-quillex", "@/q.batch-quillex"} << "" << "@/"
        << QStringList{"@/p.batch-quillex", "@/q.batch-quillex"} << false;
    QTest::newRow("files on the list") << "lViewer" << QStringList{"/a/1.doc", "/b/2.txt", "/c/3.docx"} << ""
                                       << "/a/" << QStringList{"/a/1.doc", "/b/2.txt", "/c/3.docx"} << false;
    QTest::newRow("folder on the list") << "lViewer" << QStringList{"@"} << "" << "@/.."
                                        << QStringList{"@"} << false;
    QTest::newRow("folder on the source") << "eSource" << QStringList{"@"} << "@" << "@/.." << QStringList{} << false;
    QTest::newRow("files on the target") << "eTarget" << QStringList{"/x/out", "/y/out"} << "" << "/x/out"
                                         << QStringList{} << false;
    QTest::newRow("elsewhere") << "bSource" << QStringList{"/a/1.doc"} << "" << "" << QStringList{} << false;
  }
  void dropRules() {
    QFETCH(QString, on);
    QFETCH(QStringList, paths);
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QStringList, rows);
    QFETCH(bool, opened);
    Window w;
    QString folder = Q(w.env.dir.path());
    auto place = [&](QString s) {
      s.replace("@/..", Q(platform_folder_of(w.env.dir.path())));
      return s.replace("@", folder);
    };
    w.env.Write("p.batch-quillex", "Source=/from/project/*.doc\r\nTarget=/to/\r\n");
    w.env.Write("q.batch-quillex", "Source=/q\r\n");
    w.main.aNew->trigger();
    QStringList dropped;
    for (const QString& p : paths) dropped << place(p);
    w.main.DropFiles(w.main.findChild<QWidget*>(on), dropped);
    QCOMPARE(w.main.eSource->text(), place(source));
    QCOMPARE(w.main.eTarget->text(), place(target));
    QStringList expectedRows;
    for (const QString& r : rows) expectedRows << place(r);
    QCOMPARE(w.Rows(), expectedRows);
    QCOMPARE(w.main.windowTitle(), opened ? "Quillex Converter - " + folder + "/p.batch-quillex"
                                          : QString("Quillex Converter - None"));
  }

  void dropEventsReachTheirControl() {
    Window w;
    w.main.show();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/a/1.doc"), QUrl::fromLocalFile("/a/2.doc")});
    // Qt delivers a drop to the widget that accepted the drag's entry.
    auto dragAndDrop = [&](QWidget* on) {
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(on, &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(on, &drop);
    };
    dragAndDrop(w.main.lViewer->viewport());
    QCOMPARE(w.Rows(), (QStringList{"/a/1.doc", "/a/2.doc"}));
    dragAndDrop(w.main.eSource);
    QCOMPARE(w.main.eSource->text(), QString("/a/1.doc"));
    QCOMPARE(w.Rows().size(), 2);
  }

  void linksOfTheWebActions() {
    Window w;
    core::TcvInfo& info = *w.env.info;
    std::string helpCount = info.StoreValue("H");
    w.main.aUpdate->trigger();
    w.main.aHomePage->trigger();
    w.main.aSupports->trigger();
    w.main.aHelp->trigger();
    QStringList links = uitest::WaitForLinks(w.env, 4);
    QCOMPARE(links.size(), 4);
    // The openers run side by side, so their records may come in any order.
    auto opened = [&](const QString& prefix) {
      return std::count_if(links.begin(), links.end(), [&](const QString& l) { return l.startsWith(prefix); }) == 1;
    };
    QVERIFY(opened("http://www.quillex.example.org/en/quillex/download.htm?"));
    QVERIFY(opened("http://www.quillex.example.org?"));
    QVERIFY(opened("mailto:support@quillex.example.org?subject=Support required for Quillex Converter "));
    QVERIFY(links.contains(Q(w.env.exeName + ".pdf")));
    QCOMPARE(info.StoreValue("H"), std::string(helpCount.empty() ? "1" : std::to_string(std::stoi(helpCount) + 1)));
  }

  void viewOpensTheTargetOrFocusesIt() {
    Window w;
    w.main.show();
    w.main.activateWindow();
    w.main.eTarget->clear();
    w.main.eSource->setFocus();
    w.main.aView->trigger();
    QVERIFY(w.main.eTarget->hasFocus() || QApplication::focusWidget() == nullptr);
    w.main.eTarget->setText("/data/out/");
    w.main.ViewOutput1->trigger();
    QCOMPARE(uitest::WaitForLinks(w.env, 1), QStringList{"/data/out/"});
  }

  void recentProjectsMenu() {
    Window w;
    std::string kept = w.env.Write("a & b.batch-quillex", "Source=/recent/in/*.doc\r\n");
    std::string gone = w.env.Write("gone.batch-quillex", "Source=/gone\r\n");
    w.dialogs->openFile = {gone, kept};
    w.main.aOpen->trigger();
    w.main.aOpen->trigger();
    std::remove(gone.c_str());
    emit w.main.pm2->aboutToShow();
    QList<QAction*> items = w.main.pm2->actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0]->text(), QString(Q(kept)).replace("&", "&&"));
    QVERIFY(items[0]->isEnabled());
    QCOMPARE(items[1]->data().toString(), Q(gone));
    QVERIFY(!items[1]->isEnabled());
    // Opening it again fills the menu anew rather than adding to it.
    emit w.main.pm2->aboutToShow();
    QCOMPARE(w.main.pm2->actions().size(), 2);

    w.main.aNew->trigger();
    w.main.pm2->actions()[0]->trigger();
    QCOMPARE(w.main.eSource->text(), QString("/recent/in/*.doc"));
    QCOMPARE(w.main.windowTitle(), "Quillex Converter - " + Q(kept));
  }

 private:
  static std::string platform_folder_of(const std::string& path) {
    return path.substr(0, path.find_last_of('/') + 1);
  }
};

static uitest::Register<MainWindowTest> registerMainWindow;

#include "test_cvFormMain.moc"
