// Draws the main window with a few rows and saves it as a picture for the documentation:
//   xvfb-run -a ui_screenshot OUTPUT.png [ABOUT.png]
// Not a test: built on request only.
#include <QApplication>
#include <QLineEdit>
#include <QCheckBox>
#include <QTimer>
#include <QTreeWidget>

#include "UiTestEnv.h"
#include "batch/cvBatch.h"
#include "core/cvProject.h"
#include "ui/cvFormMain.h"
#include "ui/cvQuillexAbout.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  uitest::Env env;
  env.project->ProjectFile = "/home/ann/projects/letters.batch-quillex";
  ui::TcvFrmMain main;
  main.eSource->setText("/home/ann/letters/*.doc?");
  main.cSubdir->setChecked(true);
  main.eTarget->setText("/home/ann/letters-text/");
  main.UpdateCaption();
  main.DropFiles(main.lViewer, {"/home/ann/letters/2019/bank.doc", "/home/ann/letters/2019/insurance.docx",
                                "/home/ann/letters/2020/landlord.doc", "/home/ann/letters/2020/school.docx",
                                "/home/ann/letters/offer.docm"});
  main.eTarget->setText("/home/ann/letters-text/");
  const char* results[] = {"/home/ann/letters-text/2019/bank.txt", "/home/ann/letters-text/2019/insurance.txt",
                           "The document is protected by a password"};
  const auto& nodes = main.Batch()->LockList();
  std::vector<batch::TcvNode*> list;
  for (const auto& n : nodes) list.push_back(n.get());
  main.Batch()->UnlockList();
  for (int i = 0; i < 3; ++i) {
    list[i]->Message = results[i];
    list[i]->Status = i < 2 ? batch::NodeSuccess : batch::NodeFailure;
    main.JobProgress(*main.Batch(), *list[i]);
  }
  main.resize(1200, 380);
  main.show();
  QTimer::singleShot(500, [&] {
    main.grab().save(QString::fromLocal8Bit(argv[1]));
    // A second file gets the about window.
    if (argc > 2) {
      ui::TcvFrmQuillexAbout about(&main);
      about.ShowAbout();
      about.show();
      about.grab().save(QString::fromLocal8Bit(argv[2]));
    }
    app.quit();
  });
  return app.exec();
}
