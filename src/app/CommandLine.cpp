#include "app/CommandLine.h"

namespace app {

namespace {

std::string SettingsLines(std::string text) {
  if (!text.empty() && text[0] == ':') text.erase(0, 1);
  std::string out;
  for (char c : text) {
    if (c == ',' || c == ';')
      out += "\r\n";
    else
      out += c;
  }
  return out;
}

}  // namespace

CommandLine ParseCommandLine(const std::string& firstParam) {
  CommandLine cl;
  if (firstParam.size() < 2) return cl;
  if (firstParam[0] != '-') {
    cl.kind = CommandLine::Kind::File;
    cl.text = firstParam;
    return cl;
  }
  switch (firstParam[1]) {
    case 'I':
    case 'i':
      cl.kind = CommandLine::Kind::Install;
      cl.text = firstParam.substr(2);
      break;
    case 'U':
    case 'u':
      cl.kind = CommandLine::Kind::Uninstall;
      break;
    case 'P':
    case 'p':
      cl.kind = CommandLine::Kind::Settings;
      cl.text = SettingsLines(firstParam.substr(2));
      break;
    default:
      break;
  }
  return cl;
}

}  // namespace app
