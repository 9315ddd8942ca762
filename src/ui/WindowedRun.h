#pragma once
// The windowed run of the program: the application object, the hand-over of calls from worker
// threads to the GUI thread, the main window and the about window, and the event loop.
//
// Called once by the program main on its main thread, after the global objects exist and the
// start-up project is open (core::cvProject(), core::cvInfo() installed).
#include <string>

namespace ui {

// Runs the windows until the main window closes (a stop signal closes it too), then releases
// them in order. Returns the exit status: 128 + the signal's number after a stop signal;
// otherwise, for a project in auto-run mode, that of its last run as the headless run gives
// it (0, 1, or 2 when it could not be carried out); otherwise the event loop's exit code.
// Exceptions that reach the event loop go to cvInfo's HandleException (counted and reported,
// no message box) and the program goes on. With status 2, why receives the reason when the
// window knew it (see TcvFrmMain::AutoRunProblem).
int RunWindowed(int& argc, char** argv, std::string* why = nullptr);

}  // namespace ui
