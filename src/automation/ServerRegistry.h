#pragma once
// Automation servers by ProgID: the program registers the servers it has at start-up, tests
// register scripted ones, and CreateOleObject makes a new application object. Every function
// is thread-safe; factories run on the calling thread, outside the registry's lock.
#include <functional>
#include <string>

#include "automation/AutoObject.h"

namespace automation {

using ServerFactory = std::function<AutoObject()>;

// Registers (or replaces) the server for progId. ProgIDs compare case-insensitively.
void RegisterServer(const std::string& progId, ServerFactory factory);
void UnregisterServer(const std::string& progId);

// A new application object. Throws EOleClassNotRegistered "Invalid class string, ProgID:
// \"<progId>\"" for an unknown ProgID, else EOleError with the factory's error message (a
// factory that returns a null object counts as "Server execution failed").
AutoObject CreateOleObject(const std::string& progId);

}  // namespace automation
