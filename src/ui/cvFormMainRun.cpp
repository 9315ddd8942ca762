// The run control of the main window: Search, Convert, Start, Pause, Stop, the converters'
// progress reports and the end of a run.
//
// NOT YET BUILT: the handlers below are placeholders that do nothing, so that the window's
// buttons and actions exist and the run control can be filled in here without touching the
// rest of the window. JobProgress is already complete: it shares the row hand-over of
// cvFormMainList.cpp.
#include "ui/cvFormMain.h"

#include <QThread>

#include "batch/cvBatch.h"

namespace ui {

void TcvFrmMain::aSearchExecute() {
  // Placeholder: the run control fills the list from the source.
}

void TcvFrmMain::aConvertExecute() {
  // Placeholder: the run control starts the converters.
}

void TcvFrmMain::aSearchConvertExecute() {
  aSearchExecute();
  aConvertExecute();
}

void TcvFrmMain::aPauseExecute() {
  // Placeholder: the run control asks the converters to end after their current entry.
}

void TcvFrmMain::aStopExecute() {
  // Placeholder: the run control ends the enumeration and the converters.
  Stopped = true;
}

void TcvFrmMain::AutoRun() {
  // Placeholder: the run control converts at once in auto-run mode.
}

void TcvFrmMain::EndRun() {
  // Placeholder: the run control stops a running conversion and waits for its last converter
  // before the window frees the batch job.
}

void TcvFrmMain::JobProgress(batch::TcvBatch& batch, batch::TcvNode& node) {
  int index = -1;
  if (RecordRow(&batch, &node, node.FileName, true, index) && QThread::currentThread() == thread()) FlushRows();
}

}  // namespace ui
