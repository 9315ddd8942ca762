#include "ui/MainThreadDispatcher.h"

#include <QThread>

#include <exception>

namespace ui {

void TcvMainThreadDispatcher::RunAndWait(const std::function<void()>& call) {
  if (QThread::currentThread() == target_.thread()) {
    call();
    return;
  }
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      &target_,
      [&] {
        // Nothing may unwind through the event loop; the worker gets the exception instead.
        try {
          call();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}

}  // namespace ui
