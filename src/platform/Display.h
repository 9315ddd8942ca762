#pragma once
// Whether a window can be shown at all. Answered from the environment alone, before any window
// toolkit object exists, because the toolkit aborts the process when it finds no display.
// Any thread.
namespace platform {

// True when the chosen window platform (QT_QPA_PLATFORM, else X11 or Wayland) has what it needs:
// a platform that draws without a display server (offscreen, vnc, ...) always does.
bool DisplayAvailable();

}  // namespace platform
