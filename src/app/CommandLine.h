#pragma once
// Reading of the first command-line argument. Switches begin with "-" only: "/" begins every
// absolute path on Linux. Pure function; any thread.
#include <string>

namespace app {

struct CommandLine {
  enum class Kind { None, Install, Uninstall, Settings, File };
  Kind kind = Kind::None;
  // Install: the extra query text; Settings: the Name=Value lines (CR LF); File: the path.
  std::string text;
};

// -I<text> install report, -U removal report, -P[:]settings with "," and ";" as separators,
// another "-x" is ignored, anything else of two characters or more is a file to open.
CommandLine ParseCommandLine(const std::string& firstParam);

}  // namespace app
