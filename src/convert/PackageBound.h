#pragma once
// The bound on what a zip package (.docx, .docm, and any document that is a zip inside) may
// inflate to, checked from its central directory before the word processor loads it. A 2 MB
// package can hold gigabytes of XML; the office would take them all into memory. Real
// documents inflate to a few dozen times their size at most (the shared corpus: 32 times).
// The sizes are the package's own declarations: one that lies about them still meets the
// office's memory limit. Stateless; any thread.
#include <cstdint>
#include <string>

namespace convert {

// A package may inflate to this many times its size on disk...
constexpr std::int64_t kMaxInflationRatio = 100;
// ...and to this many bytes in all.
constexpr std::int64_t kMaxInflatedBytes = std::int64_t(1) << 30;

// Empty when the file is no zip package, cannot be read, or stays within both bounds;
// otherwise the message the document fails with, naming the bound.
std::string PackageInflationError(const std::string& path);

}  // namespace convert
