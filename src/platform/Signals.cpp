#include "platform/Signals.h"

#include <csignal>
#include <initializer_list>
#include <unistd.h>

namespace platform {

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int sig) {
  if (g_stop) {
    // The user insists: end now with the conventional status for the signal.
    ::_exit(128 + sig);
  }
  g_stop = sig;
}

}  // namespace

void InstallStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
  // A closed pipe to a child must be an error return, not the end of the program.
  ::signal(SIGPIPE, SIG_IGN);
  // Past a file-size limit a write must fail (EFBIG) and fail its entry; the default action
  // would end the whole run without its log.
  ::signal(SIGXFSZ, SIG_IGN);
}

bool StopRequested() { return g_stop != 0; }

int StopSignal() { return static_cast<int>(g_stop); }

void ResetStopRequest() { g_stop = 0; }

}  // namespace platform
