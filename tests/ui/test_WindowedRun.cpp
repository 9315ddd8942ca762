// The windowed run from start to end: the application takes the project's title, the main
// window appears, an exception escaping event delivery is reported rather than ending the
// program, and closing the main window ends the run with status 0.
#include <QApplication>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "UiTestEnv.h"
#include "core/cvInfo.h"
#include "ui/WindowedRun.h"

namespace {

class Thrower : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("escaped");
    return QObject::event(e);
  }
};

int Fail(const char* what) {
  std::fprintf(stderr, "FAIL: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  uitest::Env env;
  std::atomic<bool> sawTitle{false}, sawWindow{false};
  Thrower* thrower = nullptr;
  std::thread driver([&] {
    // The application exists only inside RunWindowed: wait for it, then act through its queue.
    for (int i = 0; i < 500 && !QCoreApplication::instance(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] {
      sawTitle = QCoreApplication::applicationName() == "Quillex Converter";
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "cvFrmMain" && w->isVisible()) sawWindow = true;
      thrower = new Thrower;
      QCoreApplication::postEvent(thrower, new QEvent(QEvent::User));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QApplication::closeAllWindows(); });
  });
  int status = ui::RunWindowed(argc, argv);
  driver.join();
  delete thrower;
  if (status != 0) return Fail("exit status");
  if (!sawTitle) return Fail("application name");
  if (!sawWindow) return Fail("main window shown");
  if (env.info->StoreValue("E") != "1") return Fail("exception counted");
  std::puts("PASS");
  return 0;
}
