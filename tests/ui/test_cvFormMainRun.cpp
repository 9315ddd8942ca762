// The run control of the main window, with the scripted converter class: how Convert, Pause
// and Stop move the window between its states, that rows follow their entries, what the end
// of a run records, the auto-run and Daemon loops, and closing the window during a run.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <thread>

#include "ScriptedConvertor.h"
#include "UiTestEnv.h"
#include "batch/cvBatch.h"
#include "batch/cvConvertor.h"
#include "core/SettingsList.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/MainThread.h"
#include "ui/ActionButton.h"
#include "ui/MainThreadDispatcher.h"
#include "ui/RunStatusBar.h"
#include "ui/cvFormAbout.h"
#include "ui/cvFormMain.h"

using testsupport::ConvertAction;

namespace {

constexpr int kBound = 20000;

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct DispatcherInstalled {
  ui::TcvMainThreadDispatcher dispatcher;
  DispatcherInstalled() { platform::SetMainThreadDispatcher(&dispatcher); }
  ~DispatcherInstalled() { platform::SetMainThreadDispatcher(nullptr); }
};

// A window whose runs use the scripted converter class. Members go in reverse order: the
// window first (ending any run), then the hand-over, then the converter class, which waits
// until every converter has freed itself.
struct RunWindow {
  uitest::Env env;
  std::shared_ptr<testsupport::ConverterScript> script = std::make_shared<testsupport::ConverterScript>();
  testsupport::ScopedScriptedConverterClass converterClass{script};
  DispatcherInstalled handOver;
  std::unique_ptr<ui::TcvFrmMain> owned = std::make_unique<ui::TcvFrmMain>();
  ui::TcvFrmMain& main = *owned;
  std::string in = env.Path("in"), out = env.Path("out");

  RunWindow() { std::filesystem::create_directories(in); }
  ~RunWindow() {
    script->Release();
    owned.reset();
  }

  void Files(const QStringList& names) {
    for (const QString& n : names) env.Write("in/" + n.toStdString(), "document " + n.toStdString());
  }
  QStringList Numbered(int count, const QString& prefix = "doc") {
    QStringList names;
    for (int i = 0; i < count; ++i) names << QString("%1%2.docx").arg(prefix).arg(i, 3, 10, QChar('0'));
    Files(names);
    return names;
  }
  void Settings(const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [k, v] : values) env.project->SetValue(k, v);
  }
  void Boxes(const std::string& source, const std::string& target) {
    main.eSource->setText(Q(source));
    main.eTarget->setText(Q(target));
  }
  bool Idle() const {
    return main.WorkersLeft == 0 && batch::RunningWorkers() == 0 && main.aConvert->isEnabled();
  }
  int Counter(const std::string& key) const {
    std::string v = env.info->StoreValue(key);
    return v.empty() ? 0 : std::stoi(v);
  }
  QStringList Column(int column) const { return uitest::ColumnTexts(main, column); }
  QList<int> Icons() const { return uitest::RowIcons(main); }
  // The run line as the user sees it: caption, then "~" hidden, "+" enabled or "-" disabled.
  QString Buttons() const {
    QString text;
    for (ui::TcvActionButton* b : {main.bSearch, main.bCreate, main.bSearchConvert})
      text += b->text() + (b->isHidden() ? "~" : b->isEnabled() ? "+" : "-") + " ";
    return text.trimmed();
  }
};

const QString kIdle = "Search+ &Convert+ Start~";
const QString kRunning = "Search- Pause+ Sto&p+";
const QString kEnding = "Search- Pause- Sto&p-";

std::vector<std::string> ReadLines(const std::string& path) {
  return core::SettingsList::SplitLines(testsupport::ReadFile(path));
}

int Count(const QList<int>& icons, int icon) { return static_cast<int>(std::count(icons.begin(), icons.end(), icon)); }

}  // namespace

class MainRunTest : public QObject {
  Q_OBJECT
 private slots:
  void convertSearchesFirstAndAgainOnceTheListIsDrained() {
    RunWindow w;
    QStringList names = w.Numbered(4);
    // A target with a mask is cut back to its folder before the run.
    w.Boxes(w.in + "/*.doc?", w.out + "/*.txt");
    QCOMPARE(w.Buttons(), kIdle);
    w.main.aConvert->trigger();
    QCOMPARE(w.main.eTarget->text(), Q(w.out + "/"));
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), kBound);
    QCOMPARE(w.Buttons(), kIdle);
    QCOMPARE(w.Icons(), (QList<int>{1, 1, 1, 1}));
    QCOMPARE(w.script->Converted().size(), 4u);
    // The second Convert finds every entry taken: a fresh search, not the old list again.
    w.main.bCreate->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && w.script->Converted().size() == 8u, kBound);
    QCOMPARE(w.Icons(), (QList<int>{1, 1, 1, 1}));
    QStringList rows = w.Column(1);
    rows.sort();
    QStringList expected;
    for (const QString& n : names) expected << Q(w.in) + "/" + n;
    QCOMPARE(rows, expected);
  }

  void aDroppedListRunsOnceThenTheSourceBoxIsSearched() {
    RunWindow w;
    w.Numbered(3);
    w.Boxes(w.in + "/*.docx", w.out);
    w.main.DropFiles(w.main.lViewer, {Q(w.in + "/doc001.docx")});
    w.main.aConvert->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && w.script->Converted().size() == 1u, kBound);
    QCOMPARE(w.Column(1), QStringList{Q(w.in + "/doc001.docx")});
    w.main.aConvert->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && w.script->Converted().size() == 4u, kBound);
    QCOMPARE(w.Icons(), (QList<int>{1, 1, 1}));
  }

  void pauseKeepsTheRowsAndConvertGoesOnWithTheRest() {
    RunWindow w;
    w.Numbered(6);
    w.script->On("doc", ConvertAction::Block);
    w.Boxes(w.in + "/*.docx", w.out);
    w.main.aConvert->trigger();
    QVERIFY(w.script->WaitBlocked(1));
    QCOMPARE(w.Buttons(), kRunning);
    w.main.bCreate->click();  // Pause
    QCOMPARE(w.Buttons(), kEnding);
    batch::TcvBatch* paused = w.main.Batch();
    w.script->Release();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), kBound);
    QCOMPARE(w.Buttons(), kIdle);
    QCOMPARE(w.main.Batch(), paused);
    QTRY_COMPARE_WITH_TIMEOUT(w.main.lViewer->topLevelItemCount(), 6, kBound);
    QStringList rows = w.Column(1);
    QCOMPARE(Count(w.Icons(), 1), 1);
    w.main.aConvert->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && Count(w.Icons(), 1) == 6, kBound);
    QCOMPARE(w.Column(1), rows);
    // Every entry converted exactly once over the two runs.
    auto converted = w.script->Converted();
    std::sort(converted.begin(), converted.end());
    QCOMPARE(std::unique(converted.begin(), converted.end()) - converted.begin(), 6);
    QCOMPARE(converted.size(), 6u);
  }

  void stopDropsTheListAndConvertSearchesAgain() {
    RunWindow w;
    w.Numbered(5);
    w.script->On("doc", ConvertAction::Block);
    w.Boxes(w.in + "/*.docx", w.out);
    w.main.aConvert->trigger();
    QVERIFY(w.script->WaitBlocked(1));
    QTRY_COMPARE_WITH_TIMEOUT(w.main.lViewer->topLevelItemCount(), 5, kBound);
    w.main.bSearchConvert->click();  // Stop
    QCOMPARE(w.Buttons(), kEnding);
    w.script->Release();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), kBound);
    QVERIFY(w.main.Stopped);
    QVERIFY(!w.main.Batch());
    // The stopped run's rows stay until the next search clears them.
    QCOMPARE(w.Icons().size(), 5);
    QCOMPARE(Count(w.Icons(), 1), 1);
    w.main.aConvert->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && w.main.Batch() && w.main.Batch()->IsDrained(), kBound);
    QCOMPARE(w.Icons(), (QList<int>{1, 1, 1, 1, 1}));
    QVERIFY(!w.main.Stopped);
  }

  void theRunEndsOnlyWhenItsLastConverterEnds() {
    RunWindow w;
    w.Settings({{"ThreadsCount", "3"}});
    w.Files({"a-block.doc", "b-block.doc", "c.doc"});
    w.script->On("block", ConvertAction::Block);
    w.Boxes(w.in + "/*.doc", w.out);
    int runs = w.Counter("A"), starts = w.Counter("C");
    w.main.aConvert->trigger();
    QVERIFY(w.script->WaitBlocked(2));
    // The converter that took c.doc finds nothing more and ends; the run goes on.
    QTRY_COMPARE_WITH_TIMEOUT(w.main.WorkersLeft, 2, kBound);
    QCOMPARE(w.Buttons(), kRunning);
    QCOMPARE(w.Counter("A"), runs);
    w.script->Release();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), kBound);
    QCOMPARE(w.Counter("A"), runs + 3);
    QCOMPARE(w.Counter("C"), starts + 1);
  }

  void manyEntriesOnThreeConvertersKeepRowIAtEntryI() {
    RunWindow w;
    w.Settings({{"ThreadsCount", "3"}});
    w.Numbered(300);
    w.script->On("7.", ConvertAction::Fail, "odd one");
    w.Boxes(w.in + "/*.docx", w.out);
    w.main.aConvert->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), 60000);
    const auto& nodes = w.main.Batch()->LockList();
    QCOMPARE(w.main.lViewer->topLevelItemCount(), static_cast<int>(nodes.size()));
    QCOMPARE(static_cast<int>(nodes.size()), 300);
    for (int i = 0; i < 300; ++i) {
      QTreeWidgetItem* row = w.main.lViewer->topLevelItem(i);
      QCOMPARE(row->text(1), Q(nodes[i]->FileName));
      QCOMPARE(row->text(2), Q(nodes[i]->Message));
      QCOMPARE(ui::TcvFrmMain::ImageIndexOf(row), static_cast<int>(nodes[i]->Status.load()));
    }
    w.main.Batch()->UnlockList();
    QCOMPARE(Count(w.Icons(), 2), 30);
  }

  void endOfRunCountersAndFailureReport() {
    RunWindow w;
    w.Numbered(10);
    w.Files({"x1.docx", "x2.docx", "x3.docx"});
    w.script->On("x1", ConvertAction::Fail, "Locked");
    w.script->On("x2", ConvertAction::Fail, "Locked");
    w.script->On("x3", ConvertAction::Fail, "Damaged?");
    w.Boxes(w.in + "/*.docx", w.out);
    int a = w.Counter("A"), s = w.Counter("S"), f = w.Counter("F"), c = w.Counter("C");
    for (int run = 1; run <= 2; ++run) {
      w.main.aConvert->trigger();
      QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && w.Counter("A") == a + 13 * run, kBound);
    }
    QCOMPARE(w.Counter("S"), s + 20);
    QCOMPARE(w.Counter("F"), f + 6);
    QCOMPARE(w.Counter("C"), c + 2);
    // One report per run, each message of the run once, its "?" kept out of the query.
    QStringList links = uitest::WaitForLinks(w.env, 2);
    QCOMPARE(links.size(), 2);
    for (const QString& link : links) {
      QVERIFY2(link.contains("err&e="), qPrintable(link));
      QCOMPARE(link.count("Locked"), 1);
      QVERIFY2(link.contains("Damaged%3F"), qPrintable(link));
    }
  }

  void aRunWithoutFailuresOpensNoReport() {
    RunWindow w;
    w.Numbered(2);
    w.Boxes(w.in + "/*.docx", w.out);
    w.main.aConvert->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && w.Counter("S") >= 2, kBound);
    QVERIFY(uitest::OpenedLinks(w.env).isEmpty());
  }

  void replacingTheListDuringARunKeepsTheRunsOwnBatch_data() {
    QTest::addColumn<bool>("stop");
    QTest::newRow("run ends") << false;
    QTest::newRow("run stopped") << true;
  }
  void replacingTheListDuringARunKeepsTheRunsOwnBatch() {
    QFETCH(bool, stop);
    RunWindow w;
    w.Numbered(3);
    w.script->On("doc", ConvertAction::Block);
    w.Boxes(w.in + "/*.docx", w.out);
    int a = w.Counter("A");
    w.main.aConvert->trigger();
    QVERIFY(w.script->WaitBlocked(1));
    // Replacing the list ends the old list's search, so it must have found everything first.
    QTRY_COMPARE_WITH_TIMEOUT(w.main.lViewer->topLevelItemCount(), 3, kBound);
    w.main.DropFiles(w.main.lViewer, {"/elsewhere/new.doc"});
    batch::TcvBatch* dropped = w.main.Batch();
    if (stop) w.main.aStop->trigger();
    w.script->Release();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), kBound);
    // The run counted its own three entries, and the dropped list is still the window's.
    QCOMPARE(w.Counter("A"), a + 3);
    QCOMPARE(w.main.Batch(), dropped);
    QCOMPARE(w.Column(1), QStringList{"/elsewhere/new.doc"});
    QCOMPARE(w.Icons(), QList<int>{0});
  }

  void usableTarget_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("usable");
    QTest::newRow("mask") << "D/*.txt" << "D/";
    QTest::newRow("existing file") << "D/list.txt" << "D/";
    QTest::newRow("existing file with delimiter") << "D/list.txt/" << "D/";
    QTest::newRow("wildcard folder") << "D/x*/" << "D/";
    QTest::newRow("wildcards on two levels") << "D/a?/b*/c" << "D/";
    QTest::newRow("new folder") << "D/new" << "D/new/";
    QTest::newRow("folder") << "D/" << "D/";
    QTest::newRow("nothing left") << "*.txt" << "";
    QTest::newRow("colon is a name character") << "D/a:b/" << "D/a:b/";
  }
  void usableTarget() {
    QFETCH(QString, target);
    QFETCH(QString, usable);
    uitest::Env env;
    env.Write("list.txt", "x");
    QString dir = Q(env.dir.path());
    auto place = [&](QString t) { return t.startsWith("D/") ? dir + t.mid(1) : t; };
    QCOMPARE(ui::TcvFrmMain::UsableTarget(place(target)), place(usable));
  }

  void convertWithoutAUsableTargetOrSourceStartsNothing_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("focused");
    QTest::newRow("no target") << "in/*.docx" << "" << "eTarget";
    QTest::newRow("target all mask") << "in/*.docx" << "*.txt" << "eTarget";
    QTest::newRow("no source") << "" << "out/" << "eSource";
  }
  void convertWithoutAUsableTargetOrSourceStartsNothing() {
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, focused);
    RunWindow w;
    w.Numbered(2);
    w.main.show();
    QVERIFY(QTest::qWaitForWindowActive(&w.main));
    w.main.eSource->setText(source.isEmpty() ? source : Q(w.env.dir.path()) + "/" + source);
    w.main.eTarget->setText(target.startsWith("out") ? Q(w.env.dir.path()) + "/" + target : target);
    w.main.bSearch->setFocus();
    w.main.aConvert->trigger();
    QCOMPARE(w.Buttons(), kIdle);
    QCOMPARE(w.main.WorkersLeft, 0);
    QVERIFY(!w.main.Batch());
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), focused);
  }

  void aSourceThatCannotBeSearchedIsNamedAndMakesNoTarget_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("bySearch");
    QTest::newRow("missing folder") << "D/gone/*.docx"
                                    << "The source folder D/gone/ does not exist" << false;
    QTest::newRow("missing folder, Search") << "D/gone/"
                                            << "The source folder D/gone/ does not exist" << true;
    QTest::newRow("file as folder") << "D/in/doc000.docx/*.doc"
                                    << "The source folder D/in/doc000.docx/ is a file, not a folder" << false;
    QTest::newRow("missing document") << "D/in/gone.docx"
                                      << "The source document D/in/gone.docx does not exist" << false;
    QTest::newRow("file address") << "file://D/my%20in/*.docx"
                                  << "The source folder D/my in/ does not exist" << false;
  }
  void aSourceThatCannotBeSearchedIsNamedAndMakesNoTarget() {
    QFETCH(QString, source);
    QFETCH(QString, reason);
    QFETCH(bool, bySearch);
    RunWindow w;
    w.Numbered(1);
    auto place = [&](QString t) { return t.replace("D/", Q(w.env.dir.path()) + "/"); };
    w.Boxes(place(source).toStdString(), w.out + "/");
    (bySearch ? w.main.aSearch : w.main.aConvert)->trigger();
    QCOMPARE(w.Buttons(), kIdle);
    QCOMPARE(w.main.sbRun->Text(), place(reason));
    QCOMPARE(w.Column(2), QStringList{place(reason)});
    QCOMPARE(w.Icons(), QList<int>{2});
    QVERIFY(!testsupport::Exists(w.out));
    QVERIFY(w.script->Converted().empty());
  }

  void statusBarFollowsTheRunAndKeepsItsTotals() {
    RunWindow w;
    w.Numbered(25);
    w.script->On("doc003", ConvertAction::Fail, "Broken");
    w.script->On("doc024", ConvertAction::Block);
    // One converter holds doc024 while the other does the rest, in whatever order they are found.
    w.Settings({{"ThreadsCount", "2"}});
    // A target given as an address with an escaped blank is that folder.
    std::string out = w.env.Path("my out");
    w.Boxes(w.in + "/*.docx", "file://" + w.env.Path("my%20out") + "/");
    w.main.aConvert->trigger();
    QCOMPARE(w.main.eTarget->text(), Q(out + "/"));
    QVERIFY(w.script->WaitBlocked(1));
    // The time left is estimated once twenty documents are done.
    QTRY_VERIFY2_WITH_TIMEOUT(w.main.sbRun->Text().startsWith("25 found, 24 done, 1 failed - 0:"),
                              qPrintable(w.main.sbRun->Text()), kBound);
    QVERIFY2(w.main.sbRun->Text().contains(" documents a second, about "), qPrintable(w.main.sbRun->Text()));
    QCOMPARE(w.main.sbRun->ProgressValue(), 24);
    QCOMPARE(w.main.sbRun->ProgressMaximum(), 25);
    w.script->Release();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), kBound);
    QVERIFY2(w.main.sbRun->Text().startsWith("Finished: 25 found, 25 done, 1 failed in 0:"),
             qPrintable(w.main.sbRun->Text()));
    QCOMPARE(w.main.sbRun->ProgressValue(), 25);
    QVERIFY(testsupport::Exists(out + "/doc000.txt"));
    QCOMPARE(ui::TcvRunStatusBar::Duration(59999), QString("0:59"));
    QCOMPARE(ui::TcvRunStatusBar::Duration(3723000), QString("1:02:03"));
  }

  void shortcutsTriggerTheirActions_data() {
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("action");
    QTest::newRow("open") << QKeySequence("Ctrl+O") << "aOpen";
    QTest::newRow("save") << QKeySequence("Ctrl+S") << "aSave";
    QTest::newRow("save as") << QKeySequence("Ctrl+Shift+S") << "aSaveAs";
    QTest::newRow("help") << QKeySequence("F1") << "aHelp";
    QTest::newRow("convert") << QKeySequence("F5") << "aConvert";
    QTest::newRow("stop while running") << QKeySequence("Esc") << "aStop";
    QTest::newRow("close") << QKeySequence("Ctrl+Q") << "aClose";
  }
  void shortcutsTriggerTheirActions() {
    QFETCH(QKeySequence, key);
    QFETCH(QString, action);
    RunWindow w;
    // Open and Save As ask, and are cancelled.
    w.main.SetDialogs(std::make_unique<uitest::ScriptedDialogs>());
    w.Numbered(2);
    w.Boxes(w.in + "/*.docx", w.out);
    w.main.show();
    QVERIFY(QTest::qWaitForWindowActive(&w.main));
    auto* target = w.main.findChild<QAction*>(action);
    QVERIFY(target);
    // Shown where Qt shows an action's hint: its tool button's or push button's tip.
    QString shown = key.toString(QKeySequence::NativeText);
    QVERIFY2(target->toolTip().endsWith("(" + shown + ")"), qPrintable(target->toolTip()));
    if (action == "aStop") {
      w.script->On("doc", ConvertAction::Block);
      w.main.aConvert->trigger();
      QVERIFY(w.script->WaitBlocked(1));
      QVERIFY(w.main.bSearchConvert->toolTip().endsWith("(" + shown + ")"));
    }
    QSignalSpy triggered(target, &QAction::triggered);
    QTest::keySequence(&w.main, key);
    QCOMPARE(triggered.count(), 1);
    if (action == "aStop") QVERIFY(w.main.Stopped);
    if (action == "aClose") QVERIFY(!w.main.isVisible());
    w.script->Release();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle(), kBound);
  }

  void aRunThatCannotStartIsReportedAndLeavesTheWindowReady() {
    RunWindow w;
    w.Numbered(2);
    // Search without a target fails; once a target is typed, Convert converts.
    w.Boxes(w.in + "/*.docx", "");
    w.main.aSearch->trigger();
    w.main.eTarget->setText(Q(w.out));
    w.main.aConvert->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && w.script->Converted().size() == 2u, kBound);
    // A RegExt that does not compile is reported and nothing runs.
    w.Settings({{"RegExt", "(/Archive/"}});
    w.main.aConvert->trigger();
    QCOMPARE(w.Buttons(), kIdle);
    QVERIFY(uitest::WaitForLinks(w.env, 2).value(1).contains("RegExt"));
    QCOMPARE(w.script->Converted().size(), 2u);
  }

  void autoRunConvertsAtFirstShowAndCloses_data() {
    QTest::addColumn<bool>("web");
    QTest::addColumn<bool>("json");
    QTest::newRow("RunAndClose") << false << false;
    QTest::newRow("PureConsole with a web source") << true << false;
    QTest::newRow("RunAndClose, JSON log") << false << true;
  }
  void autoRunConvertsAtFirstShowAndCloses() {
    QFETCH(bool, web);
    QFETCH(bool, json);
    RunWindow w;
    w.Files({"good.docx", "bad.docx"});
    w.script->On("bad", ConvertAction::Fail, "Broken");
    std::string log = w.out + "/run.log";
    std::string source = web ? "http://docs.quillex.example.org/a.docx" : w.in + "/*.docx";
    w.Settings({{"Source", source}, {"Target", w.out + "/"}, {"LogFile", log},
                {web ? "PureConsole" : "RunAndClose", "True"}, {"LogFormat", json ? "json" : "text"}});
    w.env.project->Distribute();
    ui::TcvFrmAbout about(&w.main);
    about.ShowAbout();
    w.main.show();
    QCOMPARE(w.main.windowOpacity(), web ? 0.0 : 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(!w.main.isVisible() && w.Idle(), kBound);
    QCOMPARE(w.main.AutoRunStatus, web ? 0 : 1);
    auto lines = ReadLines(log);
    std::sort(lines.begin(), lines.end());
    if (json) {
      QCOMPARE(lines.size(), 2u);
      QVERIFY2(lines[1].rfind(R"({"status":"success","source":")" + w.in + R"(/good.docx","target":")" + w.out +
                                  R"(/good.txt","message":)",
                              0) == 0,
               lines[1].c_str());
      QVERIFY2(lines[0].rfind(R"({"status":"failure","source":")" + w.in +
                                  R"(/bad.docx","target":null,"message":"Broken","reason":"other","milliseconds":)",
                              0) == 0,
               lines[0].c_str());
    } else if (web) {
      QCOMPARE(lines.size(), 1u);
      QVERIFY(lines[0].rfind("[Success] => " + source + " => " + w.out + "/", 0) == 0);
    } else {
      QCOMPARE(lines, (std::vector<std::string>{"[Failure] => " + w.in + "/bad.docx => Broken",
                                                "[Success] => " + w.in + "/good.docx => " + w.out + "/good.txt"}));
    }
  }

  void daemonRunsThatCannotStartRetryAfterEachPause_data() {
    QTest::addColumn<bool>("byStop");
    QTest::addColumn<bool>("targetUnderAFile");
    QTest::newRow("no source, ended by Stop") << true << false;
    QTest::newRow("no source, ended by closing") << false << false;
    QTest::newRow("target under a file, ended by closing") << false << true;
  }
  void daemonRunsThatCannotStartRetryAfterEachPause() {
    QFETCH(bool, byStop);
    QFETCH(bool, targetUnderAFile);
    RunWindow w;
    w.Numbered(1);
    std::string log = w.out + "/daemon.log";
    std::string target = targetUnderAFile ? w.env.Write("plain.docx", "x") + "/out/" : w.out + "/";
    w.Settings({{"Target", target}, {"Daemon", "20"}, {"LogFile", log}});
    if (targetUnderAFile) {
      w.Settings({{"Source", w.in + "/*.docx"}});
      std::filesystem::create_directories(w.out);
    }
    w.env.project->Distribute();
    w.main.show();
    QVERIFY(QTest::qWaitForWindowActive(&w.main));
    // Each pause ends in a new attempt, which focuses the empty source box and rewrites the log.
    for (int attempt = 0; attempt < 3; ++attempt) {
      QTRY_VERIFY_WITH_TIMEOUT(testsupport::Exists(log), kBound);
      if (!targetUnderAFile) QCOMPARE(QApplication::focusWidget(), w.main.eSource);
      QCOMPARE(testsupport::ReadFile(log), std::string());
      std::filesystem::remove(log);
      w.main.eTarget->setFocus();
    }
    QTRY_VERIFY_WITH_TIMEOUT(w.main.DaemonPending(), kBound);
    QVERIFY(w.main.isVisible());
    // The same obstacle at every cycle is reported once.
    if (targetUnderAFile) QCOMPARE(uitest::WaitForLinks(w.env, 1).size(), 1);
    // Stop is offered during the pause and ends the loop; so does closing the window.
    QCOMPARE(w.Buttons(), "Search+ &Convert+ Sto&p+");
    if (byStop) {
      w.main.bSearchConvert->click();
      QCOMPARE(w.Buttons(), kIdle);
      // A stopped loop stays stopped, also when a Convert by hand cannot start.
      w.main.aConvert->trigger();
    } else {
      w.main.close();
    }
    QVERIFY(!w.main.DaemonPending());
    // No run is left behind for the window to wait for as it goes.
    QElapsedTimer going;
    going.start();
    w.owned.reset();
    QVERIFY(going.elapsed() < 5000);
  }

  void daemonOpensTheReportOnceWhileTheFailuresStayTheSame() {
    RunWindow w;
    w.script->On("z1", ConvertAction::Fail, "Unreported");
    w.script->On("x1", ConvertAction::Fail, "Locked");
    w.script->On("y1", ConvertAction::Fail, "Damaged");
    w.Files({"z1.docx"});
    w.Settings({{"Source", w.in + "/*.docx"},
                {"Target", w.out + "/"},
                {"Daemon", "20"},
                {"FailureReport", "False"}});
    w.env.project->Distribute();
    int cycles = w.Counter("C");
    w.main.show();
    QTRY_VERIFY_WITH_TIMEOUT(w.Counter("C") >= cycles + 3, kBound);
    // Runs are counted as they start: two more, and one has run through without z1.
    std::filesystem::remove(w.in + "/z1.docx");
    w.Files({"x1.docx"});
    cycles = w.Counter("C");
    QTRY_VERIFY_WITH_TIMEOUT(w.Counter("C") >= cycles + 2, kBound);
    w.Settings({{"FailureReport", "True"}});
    cycles = w.Counter("C");
    QTRY_VERIFY_WITH_TIMEOUT(w.Counter("C") >= cycles + 4, kBound);
    w.Files({"y1.docx"});
    // A report opened at a repeated cycle would come second, without "Damaged".
    // The loop needs the event loop: wait while it runs.
    QTRY_VERIFY_WITH_TIMEOUT(uitest::OpenedLinks(w.env).size() >= 2, kBound);
    QStringList links = uitest::OpenedLinks(w.env);
    QVERIFY2(links[0].contains("Locked") && !links[0].contains("Damaged"), qPrintable(links[0]));
    QVERIFY2(links[1].contains("Locked") && links[1].contains("Damaged"), qPrintable(links[1]));
    for (const QString& link : links) QVERIFY2(!link.contains("Unreported"), qPrintable(link));
  }

  void stopInDaemonModeWritesTheLogAndStaysOpen() {
    RunWindow w;
    w.Numbered(3);
    w.script->On("doc", ConvertAction::Block);
    std::string log = w.out + "/daemon.log";
    w.Settings({{"Source", w.in + "/*.docx"}, {"Target", w.out + "/"}, {"Daemon", "20"}, {"LogFile", log}});
    w.env.project->Distribute();
    w.main.show();
    // The run starts from the event loop, right after the first show.
    QTRY_VERIFY_WITH_TIMEOUT(w.script->WaitBlocked(1, 1), kBound);
    // Stop ends the search too: let it find everything first.
    QTRY_COMPARE_WITH_TIMEOUT(w.main.lViewer->topLevelItemCount(), 3, kBound);
    w.main.aStop->trigger();
    w.script->Release();
    QTRY_VERIFY_WITH_TIMEOUT(w.Idle() && testsupport::Exists(log), kBound);
    QVERIFY(!w.main.DaemonPending());
    QVERIFY(w.main.isVisible());
    QCOMPARE(ReadLines(log).size(), 3u);
    QCOMPARE(w.script->Converted().size(), 1u);
  }

  void closingDuringARunEndsItFirst_data() {
    QTest::addColumn<bool>("blocked");
    QTest::newRow("converters inside an entry") << true;
    QTest::newRow("reports pouring in") << false;
  }
  void closingDuringARunEndsItFirst() {
    QFETCH(bool, blocked);
    RunWindow w;
    w.Settings({{"ThreadsCount", "3"}});
    w.Numbered(blocked ? 30 : 300);
    if (blocked) w.script->On("doc", ConvertAction::Block);
    w.Boxes(w.in + "/*.docx", w.out);
    w.main.show();
    w.main.aConvert->trigger();
    std::thread release;
    if (blocked) {
      QVERIFY(w.script->WaitBlocked(3));
      // Released whether the window is already waiting for them or not: the outcome is the same.
      release = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        w.script->Release();
      });
    }
    QElapsedTimer closing;
    closing.start();
    w.main.close();
    w.owned.reset();
    QVERIFY(closing.elapsed() < kBound);
    if (release.joinable()) release.join();
    QCOMPARE(batch::RunningWorkers(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(w.script->liveMembers.load(), 0, kBound);
    if (blocked) QCOMPARE(w.script->Converted().size(), 3u);
  }
};

static uitest::Register<MainRunTest> registered;

#include "test_cvFormMainRun.moc"
