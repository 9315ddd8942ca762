#include "platform/Display.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"

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

// Asks the X server named by DISPLAY for a connection through libxcb, which the window toolkit
// uses too, so that an authorisation it would be refused counts as well. Without libxcb, the
// answer is left to the toolkit.
std::string X11Problem(const std::string& display) {
  void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!xcb) return std::string();
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
  std::string problem;
  if (connect && hasError && disconnect) {
    void* connection = connect(display.c_str(), nullptr);
    if (hasError(connection) != 0) problem = "the display " + display + " cannot be reached";
    disconnect(connection);
  }
  ::dlclose(xcb);
  return problem;
}

std::string WaylandProblem(const std::string& name) {
  std::string path = name;
  if (path.empty() || path[0] != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return "the Wayland display " + name + " cannot be found (XDG_RUNTIME_DIR is not set)";
    path = std::string(runtime) + "/" + name;
  }
  return SocketAnswers(path) ? std::string() : "the Wayland display " + name + " cannot be reached";
}

std::string Value(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string DisplayProblem() {
  const std::string chosen = Value("QT_QPA_PLATFORM");
  // The toolkit's own default: Wayland where a compositor is named, X11 otherwise.
  std::string first = chosen.substr(0, chosen.find_first_of(";:"));
  if (first.empty()) first = Set("WAYLAND_DISPLAY") ? "wayland" : "xcb";
  if (first == "xcb" && Set("DISPLAY")) return X11Problem(Value("DISPLAY"));
  if (first.rfind("wayland", 0) == 0 && Set("WAYLAND_DISPLAY")) return WaylandProblem(Value("WAYLAND_DISPLAY"));
  return std::string();
}

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
