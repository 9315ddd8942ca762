#include "platform/Display.h"

#include <cstdlib>
#include <string>

namespace platform {

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

bool PlatformUsable(const std::string& name) {
  if (name == "xcb") return Set("DISPLAY");
  if (name.rfind("wayland", 0) == 0) return Set("WAYLAND_DISPLAY");
  return true;
}

}  // namespace

bool DisplayAvailable() {
  const char* chosen = std::getenv("QT_QPA_PLATFORM");
  std::string list = chosen ? chosen : "";
  if (list.empty()) return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
  // A list such as "wayland;xcb" is tried in order; options follow a platform's name after ":".
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    item = item.substr(0, item.find(':'));
    if (!item.empty() && PlatformUsable(item)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace platform
