// Runs a real conversion of the sample documents in the main window and saves a picture of
// the finished run for the documentation:
//   xvfb-run -a ui_screenshot OUTPUT.png [ABOUT.png]
// Not a test: built on request only. Needs LibreOffice; gives up after three minutes.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>

#include "RealConverter.h"
#include "UiTestEnv.h"
#include "batch/cvBatch.h"
#include "batch/cvConvertor.h"
#include "core/cvProject.h"
#include "ui/cvFormMain.h"
#include "ui/cvQuillexAbout.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  uitest::Env env;
  uitest::RealConverter converter;

  const std::string letters = env.Path("letters"), text = env.Path("letters-text");
  std::filesystem::create_directories(letters + "/2020");
  const std::filesystem::path samples = QX_SAMPLES_DIR;
  std::filesystem::copy_file(samples / "welcome.docx", letters + "/welcome.docx");
  std::filesystem::copy_file(samples / "report.doc", letters + "/2020/annual report.doc");
  std::filesystem::copy_file(samples / "damaged.docx", letters + "/2020/minutes.docx");
  std::filesystem::copy_file(samples / "macro.docm", letters + "/offer.docm");
  env.project->SetValue("ThreadsCount", "2");
  env.project->ProjectFile = env.Path("letters.batch-quillex");

  int status = 1;
  {
    ui::TcvFrmMain main;
    main.eSource->setText(QString::fromStdString(letters + "/*.doc?"));
    main.cSubdir->setChecked(true);
    main.eTarget->setText(QString::fromStdString(text + "/"));
    main.UpdateCaption();
    main.resize(1200, 400);
    main.show();
    main.aConvert->trigger();
    QElapsedTimer running;
    running.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      bool done = main.WorkersLeft == 0 && main.aConvert->isEnabled() && batch::RunningWorkers() == 0;
      if (!done && running.elapsed() < 180000) return;
      poll.stop();
      // Lets the last rows and the buttons paint before the picture is taken.
      QTimer::singleShot(500, [&] {
        status = done && main.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        if (argc > 2) {
          ui::TcvFrmQuillexAbout about(&main);
          about.ShowAbout();
          about.show();
          about.grab().save(QString::fromLocal8Bit(argv[2]));
        }
        app.quit();
      });
    });
    poll.start(100);
    app.exec();
  }
  return status;
}
