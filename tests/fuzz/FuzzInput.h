#pragma once
// Splitting one fuzzer input into several strings, shared by the fuzz targets. The fuzzer
// owns the bytes; single-threaded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// The input cut at NUL bytes into at most n parts (the last part keeps any further NULs).
inline std::vector<std::string> Parts(const uint8_t* data, std::size_t size, std::size_t n) {
  std::vector<std::string> parts;
  std::string all(reinterpret_cast<const char*>(data), size);
  std::size_t pos = 0;
  while (parts.size() + 1 < n) {
    std::size_t nul = all.find('\0', pos);
    if (nul == std::string::npos) break;
    parts.push_back(all.substr(pos, nul - pos));
    pos = nul + 1;
  }
  parts.push_back(all.substr(pos));
  parts.resize(n);
  return parts;
}

// A failed invariant: abort so that the fuzzer keeps the input as a crash.
inline void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace fuzz
