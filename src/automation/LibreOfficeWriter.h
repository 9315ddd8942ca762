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

}  // namespace automation
