// The program's first argument, as any caller may pass it.
#include "FuzzInput.h"
#include "app/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string arg(reinterpret_cast<const char*>(data), size);
  app::CommandLine cl = app::ParseCommandLine(arg);
  // A settings switch yields lines, never separators the settings list would take for more.
  if (cl.kind == app::CommandLine::Kind::Settings) fuzz::Check(cl.text.find(';') == std::string::npos);
  return 0;
}
