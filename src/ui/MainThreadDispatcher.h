#pragma once
// TcvMainThreadDispatcher: the windowed run's hand-over of a call to the GUI thread (see
// platform/MainThread.h). A worker's call is queued to the Qt event loop and the worker waits
// until it has run there; an exception of the call is carried back and rethrown on the worker.
// A call made on the GUI thread itself runs at once.
//
// Created by the windowed run on the GUI thread; it must outlive every thread that may use it,
// and the GUI thread must keep running its event loop while workers hand calls over.
#include <QObject>

#include "platform/MainThread.h"

namespace ui {

class TcvMainThreadDispatcher : public platform::MainThreadDispatcher {
 public:
  TcvMainThreadDispatcher() = default;
  TcvMainThreadDispatcher(const TcvMainThreadDispatcher&) = delete;
  TcvMainThreadDispatcher& operator=(const TcvMainThreadDispatcher&) = delete;

  void RunAndWait(const std::function<void()>& call) override;

 private:
  // Lives on the thread that created the dispatcher: queued calls run there.
  QObject target_;
};

}  // namespace ui
