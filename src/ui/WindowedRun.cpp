#include "ui/WindowedRun.h"

#include <QApplication>
#include <QTimer>

#include <exception>
#include <memory>
#include <string>

#include "core/Globals.h"
#include "core/cvProject.h"
#include "platform/MainThread.h"
#include "platform/Signals.h"
#include "ui/MainThreadDispatcher.h"
#include "ui/cvFormBase.h"
#include "ui/cvFormMain.h"
#include "ui/cvQuillexAbout.h"

namespace ui {

namespace {

// The last line of defence: handlers are guarded themselves (RunGuarded), but an exception from
// anywhere else in event delivery is reported here rather than ending the program.
class TcvApplication : public QApplication {
 public:
  TcvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      ReportException(e.what());
    } catch (...) {
      ReportException("Unknown exception");
    }
    return false;
  }
};

}  // namespace

int RunWindowed(int& argc, char** argv, std::string* why) {
  TcvApplication app(argc, argv);
  core::TcvProject* project = core::cvProject();
  QApplication::setApplicationName(QString::fromStdString(project->Title));
  QGuiApplication::setDesktopFileName(QStringLiteral("quillex"));

  TcvMainThreadDispatcher dispatcher;
  platform::SetMainThreadDispatcher(&dispatcher);

  int result = 0;
  {
    auto main = std::make_unique<TcvFrmMain>();
    auto about = std::make_unique<TcvFrmQuillexAbout>(main.get());
    main->SetAboutWindow(about.get());
    about->ShowAbout();
    // A stop signal closes the window as the user would; the run in hand is abandoned.
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, main.get(), [&main] {
      if (platform::StopRequested()) main->close();
    });
    stopWatch.start(100);
    main->show();
    result = app.exec();
    stopWatch.stop();
    main->EndRun();
    // An unattended run tells a script how it went, as the headless run does.
    if (int signal = platform::StopSignal())
      result = 128 + signal;
    else if (project->IsAutoRun())
      result = main->AutoRunStatus;
    if (why && result == 2) *why = main->AutoRunProblem;
    // The about window goes first: the main window refers to it, never the other way round.
    main->SetAboutWindow(nullptr);
    about.reset();
    main.reset();
  }
  // Only now can no converter be left to hand a call over.
  platform::SetMainThreadDispatcher(nullptr);
  return result;
}

}  // namespace ui
