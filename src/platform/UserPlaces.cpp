#include "platform/UserPlaces.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The XDG rules ignore a relative value: it would depend on where the program was started.
std::string XdgFolder(const char* variable, const std::string& fallbackBelowHome) {
  std::string value = Env(variable);
  if (!value.empty() && value[0] == '/') return ExcludeTrailingPathDelimiter(value);
  std::string home = HomeFolder();
  return home.empty() ? std::string() : ExcludeTrailingPathDelimiter(home) + "/" + fallbackBelowHome;
}

bool IsInstalled(const std::string& programFolder, const std::string& shortName) {
  if (::access(programFolder.c_str(), W_OK) != 0) return true;
  if (ExtractFileName(programFolder) != "bin") return false;
  return DirectoryExists(ExtractFilePath(programFolder) + "share/doc/" + shortName);
}

void MakePrivateFolder(const std::string& folder) {
  if (folder.empty() || DirectoryExists(folder)) return;
  ForceDirectories(folder);
  ::chmod(folder.c_str(), 0700);
}

}  // namespace

ProgramPlaces PrepareProgramPlaces(const std::string& exeName, const std::string& shortName) {
  ProgramPlaces places;
  std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(exeName));
  places.settingsBase = places.stateBase = exeName;
  if (folder.empty() || !IsInstalled(folder, shortName)) return places;

  std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
  std::string state = XdgFolder("XDG_STATE_HOME", ".local/state");
  // Without a home there is nowhere of the user's: the files stay beside the program, where
  // writes fail silently as they always did.
  if (config.empty() || state.empty()) return places;
  places.installed = true;
  MakePrivateFolder(config + "/" + shortName);
  MakePrivateFolder(state + "/" + shortName);
  places.settingsBase = config + "/" + shortName + "/" + shortName;
  places.stateBase = state + "/" + shortName + "/" + shortName;
  places.manual = ExtractFilePath(folder) + "share/doc/" + shortName + "/" + shortName + ".pdf";
  return places;
}

std::string HomeFolder() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return std::string();
}

std::string ExpandHome(const std::string& path) {
  if (path != "~" && path.rfind("~/", 0) != 0) return path;
  std::string home = HomeFolder();
  if (home.empty()) return path;
  return ExcludeTrailingPathDelimiter(home) + path.substr(1);
}

}  // namespace platform
