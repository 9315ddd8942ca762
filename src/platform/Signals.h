#pragma once
// Termination requests from outside (SIGTERM, SIGINT, SIGHUP) turned into a flag that the
// main thread polls, so that an interrupted run can end its servers and write what it has.
namespace platform {

// Installs the handlers; a second signal of the same kind ends the program at once.
void InstallStopSignals();
bool StopRequested();
// The signal that asked for the stop (SIGTERM, SIGINT, SIGHUP); 0 while none did.
int StopSignal();
// For tests.
void ResetStopRequest();

}  // namespace platform
