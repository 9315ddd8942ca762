#include "automation/ServerRegistry.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "automation/OleError.h"

namespace automation {
namespace {

std::string Key(const std::string& progId) {
  std::string k = progId;
  std::transform(k.begin(), k.end(), k.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return k;
}

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

std::map<std::string, ServerFactory>& Registry() {
  static std::map<std::string, ServerFactory> r;
  return r;
}

// A server that failed says why in its own words: a ProgID means nothing to a user of the
// program it stands in for.
[[noreturn]] void CreationError(const std::string& message) { throw EOleError(message); }

}  // namespace

void RegisterServer(const std::string& progId, ServerFactory factory) {
  std::lock_guard lock(RegistryMutex());
  Registry()[Key(progId)] = std::move(factory);
}

void UnregisterServer(const std::string& progId) {
  std::lock_guard lock(RegistryMutex());
  Registry().erase(Key(progId));
}

AutoObject CreateOleObject(const std::string& progId) {
  ServerFactory factory;
  {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(Key(progId));
    if (it != Registry().end()) factory = it->second;
  }
  if (!factory) throw EOleClassNotRegistered("Invalid class string, ProgID: \"" + progId + "\"");
  AutoObject object;
  try {
    object = factory();
  } catch (const std::exception& e) {
    std::string message = TrimServerMessage(e.what());
    CreationError(message.empty() ? "Server execution failed" : message);
  } catch (...) {
    CreationError("Server execution failed");
  }
  if (!object) CreationError("Server execution failed");
  return object;
}

}  // namespace automation
