#include "ui/WindowedRun.h"

#include <QApplication>
#include <QThread>

#include <exception>
#include <memory>

#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/MainThread.h"
#include "ui/cvFormMain.h"
#include "ui/cvQuillexAbout.h"

namespace ui {

namespace {

// An exception thrown by a handler must not unwind through Qt's event loop (which is not
// exception safe): it is reported where it is caught and the loop goes on.
class TcvApplication : public QApplication {
 public:
  TcvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      Report(e.what());
    } catch (...) {
      Report("Unknown exception");
    }
    return false;
  }

 private:
  static void Report(const std::string& message) {
    try {
      if (core::TcvInfo* info = core::cvInfo()) info->HandleException(message);
    } catch (...) {
      // The report itself failing must not end the program.
    }
  }
};

// Runs a worker's call on the GUI thread and blocks the worker until it has returned there; an
// exception of the call is carried back and thrown on the worker.
class TcvMainThreadDispatcher : public platform::MainThreadDispatcher {
 public:
  explicit TcvMainThreadDispatcher(QObject* guiObject) : guiObject_(guiObject) {}

  void RunAndWait(const std::function<void()>& call) override {
    if (QThread::currentThread() == guiObject_->thread()) {
      call();
      return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        guiObject_,
        [&] {
          try {
            call();
          } catch (...) {
            error = std::current_exception();
          }
        },
        Qt::BlockingQueuedConnection);
    if (error) std::rethrow_exception(error);
  }

 private:
  QObject* guiObject_;
};

}  // namespace

int RunWindowed(int& argc, char** argv) {
  TcvApplication app(argc, argv);
  core::TcvProject* project = core::cvProject();
  QApplication::setApplicationName(QString::fromStdString(project->Title));
  QGuiApplication::setDesktopFileName(QStringLiteral("quillex"));

  QObject dispatchTarget;
  TcvMainThreadDispatcher dispatcher(&dispatchTarget);
  platform::SetMainThreadDispatcher(&dispatcher);

  int result = 0;
  {
    auto main = std::make_unique<TcvFrmMain>();
    auto about = std::make_unique<TcvFrmQuillexAbout>(main.get());
    main->SetAboutWindow(about.get());
    about->ShowAbout();
    main->show();
    result = app.exec();
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
