// The job list of the main window: rows that follow the batch job's entries across threads,
// the export of the list, and the pop-up menu's choices.
#include <QAction>
#include <QMenu>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "UiTestEnv.h"
#include "batch/cvBatch.h"
#include "core/cvInfo.h"
#include "platform/MainThread.h"
#include "ui/MainThreadDispatcher.h"
#include "ui/cvFormMain.h"

using uitest::Env;

namespace {

struct Window {
  Env env;
  ui::TcvFrmMain main;

  QStringList Rows(int column = 1) const { return uitest::ColumnTexts(main, column); }
  QList<int> Icons() const { return uitest::RowIcons(main); }
  batch::TcvNode* Node(int index) {
    batch::TcvNode* node = main.Batch()->LockList()[index].get();
    main.Batch()->UnlockList();
    return node;
  }
  // Settles entry index as its converter would and reports it.
  void Settle(int index, int status, const std::string& message) {
    batch::TcvNode* node = Node(index);
    node->Message = message;
    node->Status = status;
    main.JobProgress(*main.Batch(), *node);
  }
};

}  // namespace

class MainListTest : public QObject {
  Q_OBJECT
 private slots:
  void exportWritesEveryRowWithItsStatus() {
    Window w;
    w.main.DropFiles(w.main.lViewer, {"/in/a.doc", "/in/b.doc", "/in/c.doc", "/in/d.doc"});
    w.Settle(0, batch::NodeSuccess, "/out/a.txt");
    w.Settle(1, batch::NodeFailure, "The document is protected");
    // Row 2 has no report at all; row 3 was taken by a converter that reported nothing usable.
    batch::TcvNode* d = w.Node(3);
    d->Status = 7;
    w.main.JobProgress(*w.main.Batch(), *d);
    std::string log = w.env.Path("list.log");
    w.main.ExportList(QString::fromStdString(log));
    QCOMPARE(testsupport::ReadFile(log), std::string("[Success] => /in/a.doc => /out/a.txt\r\n"
                                                     "[Failure] => /in/b.doc => The document is protected\r\n"
                                                     "[Running] => /in/c.doc => \r\n"
                                                     "[Running] => /in/d.doc => \r\n"));
    // An empty list replaces an earlier export with an empty file.
    w.main.NewBatch();
    w.main.ExportList(QString::fromStdString(log));
    QCOMPARE(testsupport::ReadFile(log), std::string());
  }

  void exportThroughTheMenu() {
    Window w;
    auto* dialogs = new uitest::ScriptedDialogs;
    w.main.SetDialogs(std::unique_ptr<ui::TcvDialogs>(dialogs));
    w.main.DropFiles(w.main.lViewer, {"/in/a.doc"});
    std::string log = w.env.Path("menu.log");
    dialogs->saveAs = {std::nullopt, QString::fromStdString(log)};
    w.main.ExportList1->trigger();
    QVERIFY(!testsupport::Exists(log));
    w.main.ExportList1->trigger();
    QCOMPARE(testsupport::ReadFile(log), std::string("[Running] => /in/a.doc => \r\n"));
    QCOMPARE(dialogs->asked.last(), QString("export|Log File|*.log|.log"));
  }

  void exportToAnUnwritablePlaceIsReportedNotLost() {
    Window w;
    std::string bad = w.env.Path("no/such/dir/x.log");
    QVERIFY_THROWS_EXCEPTION(std::exception, w.main.ExportList(QString::fromStdString(bad)));
    // Through the menu the failure reaches the exception handler: counted and reported.
    auto* dialogs = new uitest::ScriptedDialogs;
    w.main.SetDialogs(std::unique_ptr<ui::TcvDialogs>(dialogs));
    dialogs->saveAs = {QString::fromStdString(bad)};
    w.main.ExportList1->trigger();
    QCOMPARE(w.env.info->StoreValue("E"), std::string("1"));
    QStringList links = uitest::WaitForLinks(w.env, 1);
    QCOMPARE(links.size(), 1);
    QVERIFY2(links[0].contains("a=err&e="), qPrintable(links[0]));
  }

  void rowsFollowEntriesFromOtherThreads() {
    // A producer appends entries while a converter settles them, both off the GUI thread, as a
    // folder search with a running conversion does; every row must end up showing its own
    // entry's last state.
    Window w;
    w.main.NewBatch();
    batch::TcvBatch* b = w.main.Batch();
    constexpr int kFiles = 300;
    std::atomic<bool> done{false};
    std::thread producer([&] {
      for (int i = 0; i < kFiles - 1; ++i) b->AddFile("/in/" + std::to_string(i) + ".doc");
      b->AddLastFile("/in/" + std::to_string(kFiles - 1) + ".doc");
    });
    std::thread converter([&] {
      while (batch::TcvNode* node = b->NextNode()) {
        node->Message = node->Index % 3 ? "/out/" + std::to_string(node->Index) + ".txt" : "failed";
        node->Status = node->Index % 3 ? batch::NodeSuccess : batch::NodeFailure;
        w.main.JobProgress(*b, *node);
      }
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
    producer.join();
    converter.join();
    QCoreApplication::processEvents();
    w.main.FlushRows();
    QCOMPARE(w.main.lViewer->topLevelItemCount(), kFiles);
    for (int i = 0; i < kFiles; ++i) {
      QTreeWidgetItem* row = w.main.lViewer->topLevelItem(i);
      QCOMPARE(row->text(1), QString("/in/%1.doc").arg(i));
      QCOMPARE(ui::TcvFrmMain::ImageIndexOf(row), i % 3 ? 1 : 2);
      QCOMPARE(row->text(2), i % 3 ? QString("/out/%1.txt").arg(i) : QString("failed"));
    }
  }

  void reportsOfAReplacedBatchAreDropped() {
    Window w;
    w.main.DropFiles(w.main.lViewer, {"/in/a.doc", "/in/b.doc"});
    batch::TcvBatch* old = w.main.Batch();
    batch::TcvNode* node = w.Node(1);
    // Converters still use the old batch job: it must stay alive, and its late reports must not
    // land in the new list.
    w.main.WorkersLeft = 1;
    w.main.DropFiles(w.main.lViewer, {"/in/new.doc"});
    QVERIFY(w.main.Batch() != old);
    std::thread late([&] {
      node->Message = "/out/b.txt";
      node->Status = batch::NodeSuccess;
      w.main.JobProgress(*old, *node);
    });
    late.join();
    QCoreApplication::processEvents();
    w.main.FlushRows();
    QCOMPARE(w.Rows(), QStringList{"/in/new.doc"});
    QCOMPARE(w.Rows(2), QStringList{""});
    w.main.WorkersLeft = 0;
    w.main.ReleaseRetiredBatches();
  }

  void showJobReturnsTheRowOnTheGuiThread() {
    Window w;
    w.main.DropFiles(w.main.lViewer, {"/in/a.doc", "/in/b.doc"});
    batch::TcvNode* node = w.Node(1);
    node->Status = batch::NodeSuccess;
    QTreeWidgetItem* row = w.main.ShowJob(node->FileName, w.main.Batch(), node);
    QCOMPARE(row, w.main.lViewer->topLevelItem(1));
    QCOMPARE(w.Icons(), (QList<int>{0, 1}));
    // An icon update alone leaves the result column as it was.
    QCOMPARE(w.Rows(2), (QStringList{"", ""}));
  }

  void handOverRunsOnTheGuiThreadAndWaits() {
    Window w;
    ui::TcvMainThreadDispatcher dispatcher;
    platform::SetMainThreadDispatcher(&dispatcher);
    QThread* gui = QThread::currentThread();
    std::atomic<bool> ranOnGui{false}, returned{false}, rethrown{false};
    std::thread worker([&] {
      platform::RunOnMainThread([&] {
        ranOnGui = QThread::currentThread() == gui;
        // The worker is still blocked while the call runs.
        QVERIFY(!returned.load());
      });
      returned = true;
      try {
        platform::RunOnMainThread([] { throw std::runtime_error("from the GUI thread"); });
      } catch (const std::runtime_error& e) {
        rethrown = std::string(e.what()) == "from the GUI thread";
      }
    });
    QTRY_VERIFY_WITH_TIMEOUT(rethrown.load(), 10000);
    worker.join();
    QVERIFY(ranOnGui.load());
    // On the GUI thread itself the call runs at once.
    bool direct = false;
    platform::RunOnMainThread([&] { direct = true; });
    QVERIFY(direct);
    platform::SetMainThreadDispatcher(nullptr);
  }

  void openSelectedTakesTheFirstSelectedRow_data() {
    QTest::addColumn<bool>("folderOnly");
    QTest::addColumn<QString>("link");
    QTest::newRow("Open Source") << false << "/in/first/a.doc";
    QTest::newRow("View  Source") << true << "/in/first/";
  }
  void openSelectedTakesTheFirstSelectedRow() {
    QFETCH(bool, folderOnly);
    QFETCH(QString, link);
    Window w;
    w.main.DropFiles(w.main.lViewer, {"/in/first/a.doc", "/in/second/b.doc", "/in/third/c.doc"});
    w.main.pm1Popup();
    QVERIFY(!w.main.OpenSource1->isEnabled());
    QVERIFY(!w.main.ViewSource1->isEnabled());
    QVERIFY(w.main.ExportList1->isEnabled());
    // Nothing selected: nothing opens.
    w.main.OpenSelected(folderOnly);
    // Selected bottom-up: the first row in list order still wins.
    w.main.lViewer->topLevelItem(2)->setSelected(true);
    w.main.lViewer->topLevelItem(0)->setSelected(true);
    w.main.pm1Popup();
    QVERIFY(w.main.OpenSource1->isEnabled());
    QVERIFY(w.main.ViewSource1->isEnabled());
    (folderOnly ? w.main.ViewSource1 : w.main.OpenSource1)->trigger();
    QCOMPARE(uitest::WaitForLinks(w.env, 1), QStringList{link});
    QCOMPARE(uitest::OpenedLinks(w.env).size(), 1);
  }
};

static uitest::Register<MainListTest> registerMainList;

#include "test_cvFormMainList.moc"
