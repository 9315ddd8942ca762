#pragma once
// Whether a window can be shown at all. Answered from the environment alone, before any window
// toolkit object exists, because the toolkit aborts the process when it finds no display.
// Any thread.
#include <string>

namespace platform {

// True when the chosen window platform (QT_QPA_PLATFORM, else X11 or Wayland) has what it needs:
// a platform that draws without a display server (offscreen, vnc, ...) always does.
bool DisplayAvailable();

// Empty when the display the window would open on answers: an X server that accepts this
// program (its socket and its authorisation, asked through libxcb when it is installed), or a
// Wayland compositor's socket that takes a connection. Otherwise why not, as a phrase naming
// the display. Only meaningful when DisplayAvailable; bounded to a few seconds.
std::string DisplayProblem();

}  // namespace platform
