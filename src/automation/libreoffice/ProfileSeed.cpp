#include "automation/libreoffice/ProfileSeed.h"

#include "automation/LibreOfficeWriter.h"
#include "platform/FileSystem.h"

namespace automation::lo {

std::string OfficeProductVersion(const std::string& programFolder) {
  std::string xcd;
  if (!platform::ReadFileBytes(programFolder + "/../share/registry/main.xcd", xcd)) return {};
  // The schema declares the property with its type ("ooSetupVersion" oor:type=...); the value
  // sits in the data part, where the name closes the tag.
  const std::string name = "oor:name=\"ooSetupVersion\">";
  std::size_t at = xcd.find(name);
  if (at == std::string::npos) return {};
  std::size_t open = xcd.find("<value>", at);
  std::size_t close = xcd.find("</value>", open);
  if (open == std::string::npos || close == std::string::npos || xcd.find("</prop>", at) < open) return {};
  std::string version = xcd.substr(open + 7, close - open - 7);
  // Only a plain version can go into the record unescaped, and only one compares as intended.
  if (version.empty() || version.find_first_not_of("0123456789.") != std::string::npos) return {};
  return version;
}

void SeedProfile(const std::string& profile) {
  static const std::string version = OfficeProductVersion(LibreOfficeProgramFolder());
  if (version.empty()) return;
  const std::string record =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
      "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
      "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
      "oor:op=\"fuse\"><value>" +
      version + "</value></prop></item>\n</oor:items>\n";
  try {
    platform::ForceDirectoriesOrThrow(profile + "/user");
    platform::WriteFileInPlace(profile + "/user/registrymodifications.xcu", record, false);
  } catch (const std::exception&) {
    // An unseeded profile starts slower, not wrong.
  }
}

}  // namespace automation::lo
