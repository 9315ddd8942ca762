#pragma once
// The constants that make this build a document-to-text converter.
namespace core {
class TcvProject;
}

namespace app {

// Needed before any project exists: for the program's own places and for --version.
extern const char kShortName[];
extern const char kVersion[];
// The system account a root run's offices run as; the package creates it.
extern const char kOfficeAccount[];

// Sets the product constants on the project. Called once at start-up, before the command line.
void ApplyProductConstants(core::TcvProject& project);

}  // namespace app
