#pragma once
// The desktop shell's "open with the default handler": files, folders, web and mail links.
// Any thread.
#include <string>

namespace platform {

// Runs `xdg-open LINK` detached: the link is one argument (never a shell command line), output
// is discarded and nothing is waited for. A local path (a file or folder) goes byte for byte; in
// a web or mail link ("scheme:...") bytes outside printable ASCII are percent-encoded. A failure
// is silent.
void ShellOpen(const std::string& link);

}  // namespace platform
