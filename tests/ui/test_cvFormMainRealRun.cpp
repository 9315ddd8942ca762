// The main window over real LibreOffice conversions: what its status bar says at the end of a
// run of ten documents, one of them damaged.
#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "Offices.h"
#include "RealConverter.h"
#include "UiTestEnv.h"
#include "batch/cvConvertor.h"
#include "core/cvProject.h"
#include "ui/RunStatusBar.h"
#include "ui/cvFormMain.h"

namespace {

const std::filesystem::path kSamples = QX_SAMPLES_DIR;

}  // namespace

class RealRunTest : public QObject {
  Q_OBJECT
 private slots:
  void statusBarHoldsTheTotalsOfARealRun() {
    uitest::Env env;
    // The run's offices keep their profiles here, which tells them from any other office.
    const std::string tmp = env.Path("tmp"), in = env.Path("in"), out = env.Path("out");
    std::filesystem::create_directories(tmp);
    std::filesystem::create_directories(in);
    const char* oldTmp = std::getenv("TMPDIR");
    std::string restore = oldTmp ? oldTmp : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    for (int i = 0; i < 9; ++i)
      std::filesystem::copy_file(kSamples / "welcome.docx", in + "/letter" + std::to_string(i) + ".docx");
    std::filesystem::copy_file(kSamples / "damaged.docx", in + "/damaged.docx");
    env.project->SetValue("ThreadsCount", "2");
    {
      uitest::RealConverter converter;
      ui::TcvFrmMain main;
      main.eSource->setText(QString::fromStdString(in + "/*.doc?"));
      main.eTarget->setText(QString::fromStdString(out + "/"));
      main.show();
      main.aConvert->trigger();
      QTRY_VERIFY_WITH_TIMEOUT(main.WorkersLeft == 0 && batch::RunningWorkers() == 0, 180000);
      QString text = main.sbRun->Text();
      QVERIFY2(text.startsWith("Finished: 10 found, 10 done, 1 failed in "), qPrintable(text));
      QCOMPARE(main.sbRun->ProgressValue(), 10);
      QCOMPARE(main.sbRun->ProgressMaximum(), 10);
    }
    QVERIFY(testsupport::WaitUntil([&] { return testsupport::OfficesUnder(tmp).empty(); },
                                   std::chrono::seconds(10)));
    if (oldTmp)
      ::setenv("TMPDIR", restore.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
};

static uitest::Register<RealRunTest> registered;

#include "test_cvFormMainRealRun.moc"
