#include "automation/libreoffice/ProfileSeed.h"

#include "automation/LibreOfficeWriter.h"
#include "platform/FileSystem.h"

namespace automation::lo {

namespace {

// A property of the installation's product record, as a plain version ("7.4", "7.4.7.2");
// empty when it cannot be read.
std::string ProductRecord(const std::string& programFolder, const std::string& property) {
  std::string xcd;
  if (!platform::ReadFileBytes(programFolder + "/../share/registry/main.xcd", xcd)) return {};
  // The schema declares the property with its type (oor:name="..." oor:type=...); the value
  // sits in the data part, where the name closes the tag.
  const std::string name = "oor:name=\"" + property + "\">";
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

}  // namespace

std::string OfficeProductVersion(const std::string& programFolder) {
  return ProductRecord(programFolder, "ooSetupVersion");
}

std::string OfficeReleaseVersion(const std::string& programFolder) {
  return ProductRecord(programFolder, "ooSetupVersionAboutBox");
}

namespace {

// In the form the office writes its own user settings; the schema gives each value its type.
std::string Prop(const std::string& name, const std::string& value) {
  return "<prop oor:name=\"" + name + "\" oor:op=\"fuse\"><value>" + value + "</value></prop>";
}

std::string Item(const std::string& path, const std::string& props) {
  return "<item oor:path=\"" + path + "\">" + props + "</item>\n";
}

// No web request leaves the office but to this proxy, where nothing listens: the discard port
// of this machine, which in the office's private network is not even up.
std::string ProxyGuard() {
  std::string props = Prop("ooInetProxyType", "1") + Prop("ooInetNoProxy", "");
  for (const char* scheme : {"HTTP", "HTTPS", "FTP"}) {
    props += Prop(std::string("ooInet") + scheme + "ProxyName", "127.0.0.1");
    props += Prop(std::string("ooInet") + scheme + "ProxyPort", "9");
  }
  return Item("/org.openoffice.Inet/Settings", props);
}

}  // namespace

void SeedProfile(const std::string& profile) {
  static const std::string version = OfficeProductVersion(LibreOfficeProgramFolder());
  std::string items = Item("/org.openoffice.Office.Common/Security/Scripting",
                           Prop("BlockUntrustedRefererLinks", "true") +
                               Prop("DisableMacrosExecution", "true") + Prop("MacroSecurityLevel", "3")) +
                      ProxyGuard();
  if (!version.empty()) items += Item("/org.openoffice.Setup/Product", Prop("ooSetupLastVersion", version));
  const std::string record =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
      "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n" +
      items + "</oor:items>\n";
  try {
    platform::ForceDirectoriesOrThrow(profile + "/user");
    platform::WriteFileInPlace(profile + "/user/registrymodifications.xcu", record, false);
  } catch (const std::exception&) {
  }
}

}  // namespace automation::lo
