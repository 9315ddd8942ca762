#pragma once
// What keeps a headless run from being carried out at all, found before anything is created
// or converted, in words for the person who started it. Main thread.
#include <string>

namespace core {
class TcvProject;
}

namespace app {

// Empty when the project can run; otherwise one sentence saying why it cannot: no target, a
// RegExt that does not compile, no source, a source folder that is missing, a file, or
// unreadable, or a named document that does not exist. Touches nothing on disk.
std::string WhyRunCannotStart(const core::TcvProject& project);

}  // namespace app
