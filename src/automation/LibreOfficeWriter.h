#pragma once
// The word-processor automation server on Linux: "Word.Application" backed by LibreOffice
// Writer. Each application object runs one private headless office (its own profile and pipe)
// that ends when the object quits or its last reference goes; see libreoffice/ for the parts.
// Objects of one server are meant for the thread that created it, except Abort and IsAlive,
// which any thread may call.
#include <string>

namespace automation {

// Registers "Word.Application" in the server registry. Called once at start-up; calling it
// again is harmless.
void RegisterLibreOfficeWriter();

// The office program folder the server runs (what Application.Path reports).
std::string LibreOfficeProgramFolder();

// The oldest LibreOffice release the server is made and tested for.
inline constexpr int kOldestOfficeMajor = 7;
inline constexpr int kOldestOfficeMinor = 4;
// The release of the installed office ("7.4.7.2"), read from its files without starting it;
// empty when there is none or it cannot be read.
std::string InstalledOfficeVersion();
// Empty when the installed office can be driven; otherwise why not, in one sentence.
std::string WhyOfficeCannotBeUsed();

}  // namespace automation
