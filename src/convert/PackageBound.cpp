#include "convert/PackageBound.h"

#include <algorithm>

#include "platform/FileSystem.h"

namespace convert {
namespace {

std::uint64_t Le(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

bool Has(const std::string& bytes, std::size_t at, std::size_t length) {
  return at <= bytes.size() && length <= bytes.size() - at;
}

// The central directory's offset and size, from the end records; false when there are none.
bool FindCentralDirectory(const std::string& path, long long fileSize, std::uint64_t& offset,
                          std::uint64_t& size) {
  // The end record is 22 bytes and a comment of up to 64 KiB, plus the zip64 locator before it.
  const std::size_t tailLength = 22 + 65535 + 20;
  long long tailStart = fileSize > static_cast<long long>(tailLength) ? fileSize - tailLength : 0;
  std::string tail;
  long long ignored = 0;
  if (!platform::ReadFileRange(path, tailStart, tailLength, tail, ignored) || tail.size() < 22) return false;
  std::size_t end = tail.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos || !Has(tail, end, 22)) return false;
  size = Le(tail, end + 12, 4);
  offset = Le(tail, end + 16, 4);
  if (offset != 0xFFFFFFFF && size != 0xFFFFFFFF) return true;
  // Zip64: the locator just before the end record points at the zip64 end record.
  if (end < 20 || tail.compare(end - 20, 4, std::string("PK\x06\x07", 4)) != 0) return false;
  std::string record;
  if (!platform::ReadFileRange(path, static_cast<long long>(Le(tail, end - 20 + 8, 8)), 56, record,
                               ignored) ||
      record.size() < 56 || record.compare(0, 4, std::string("PK\x06\x06", 4)) != 0)
    return false;
  size = Le(record, 40, 8);
  offset = Le(record, 48, 8);
  return true;
}

// The sum of every entry's declared inflated size.
bool InflatedSize(const std::string& directory, std::uint64_t& total) {
  total = 0;
  std::size_t at = 0;
  while (Has(directory, at, 46) && directory.compare(at, 4, std::string("PK\x01\x02", 4)) == 0) {
    std::uint64_t inflated = Le(directory, at + 24, 4);
    std::size_t nameLength = Le(directory, at + 28, 2), extraLength = Le(directory, at + 30, 2),
                commentLength = Le(directory, at + 32, 2);
    std::size_t extra = at + 46 + nameLength;
    if (!Has(directory, extra, extraLength)) return false;
    if (inflated == 0xFFFFFFFF) {
      // The zip64 field holds the real size first.
      for (std::size_t field = extra; field + 4 <= extra + extraLength;) {
        std::size_t id = Le(directory, field, 2), length = Le(directory, field + 2, 2);
        if (id == 1 && length >= 8 && Has(directory, field + 4, 8)) inflated = Le(directory, field + 4, 8);
        field += 4 + length;
      }
    }
    total += inflated;
    at = extra + extraLength + commentLength;
  }
  return true;
}

}  // namespace

std::string PackageInflationError(const std::string& path) {
  std::string head;
  long long fileSize = 0;
  if (!platform::ReadFileRange(path, 0, 4, head, fileSize) || head != std::string("PK\x03\x04", 4)) return {};
  std::uint64_t offset = 0, size = 0, inflated = 0;
  // A central directory of over 256 MiB belongs to no document; the office would refuse it too.
  if (!FindCentralDirectory(path, fileSize, offset, size) || size > (256u << 20)) return {};
  std::string directory;
  long long ignored = 0;
  if (!platform::ReadFileRange(path, static_cast<long long>(offset), size, directory, ignored) ||
      !InflatedSize(directory, inflated))
    return {};
  const auto bound =
      std::min<std::uint64_t>(kMaxInflatedBytes, kMaxInflationRatio * static_cast<std::uint64_t>(fileSize));
  if (inflated <= bound) return {};
  return "The document's parts would inflate to " + std::to_string(inflated >> 20) +
         " MiB, past the bound for a document package (" + std::to_string(kMaxInflationRatio) +
         " times its size, " + std::to_string(kMaxInflatedBytes >> 20) + " MiB at most); it was not opened";
}

}  // namespace convert
