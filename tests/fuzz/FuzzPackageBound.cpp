// The inflation bound reads a zip's central directory (zip64 records included) from a file
// whose every byte a stranger chose. Any bytes: no crash, no hang, and a refusal only for a zip
// package, always naming the bound.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "FuzzInput.h"
#include "convert/PackageBound.h"

namespace {

const std::string& InputPath() {
  static const std::string path = "/tmp/qx-fuzz-package-" + std::to_string(::getpid()) + ".docx";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const std::string error = convert::PackageInflationError(InputPath());
  const bool zip = size >= 4 && std::string(reinterpret_cast<const char*>(data), 4) == "PK\x03\x04";
  if (!zip) fuzz::Check(error.empty());
  if (!error.empty()) fuzz::Check(error.rfind("The document's parts would inflate to ", 0) == 0);
  std::remove(InputPath().c_str());
  return 0;
}
