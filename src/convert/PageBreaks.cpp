#include "convert/PageBreaks.h"

#include "platform/FileSystem.h"

namespace convert {

std::string ReplacePageMarksUtf16(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  auto isCr = [&](std::size_t at) { return at + 1 < bytes.size() && bytes[at] == '\r' && bytes[at + 1] == '\0'; };
  while (i + 1 < bytes.size()) {
    if (isCr(i) && isCr(i + 2) && isCr(i + 4)) {
      out += '\f';
      out += '\0';
      i += 6;
    } else {
      out += bytes[i];
      out += bytes[i + 1];
      i += 2;
    }
  }
  if (i < bytes.size()) out += bytes[i];
  return out;
}

std::string ReplacePageMarksBytes(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    if (i + 2 < bytes.size() && bytes[i] == '\r' && bytes[i + 1] == '\r' && bytes[i + 2] == '\r') {
      out += '\f';
      i += 3;
    } else {
      out += bytes[i++];
    }
  }
  return out;
}

void RewritePageBreaks(const std::string& fileName, bool utf16) {
  std::string bytes;
  if (!platform::ReadFileBytes(fileName, bytes)) throw platform::EFileError("Cannot read \"" + fileName + "\"");
  std::string rewritten = utf16 ? ReplacePageMarksUtf16(bytes) : ReplacePageMarksBytes(bytes);
  if (rewritten == bytes) return;
  platform::WriteFileAtomic(fileName, rewritten);
}

}  // namespace convert
