#include "core/cvFileUtils.h"

#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "platform/TextEncoding.h"

namespace core {

int32_t TcvFileUtils::FileStamp(const std::string& path, bool useCreationTime, bool inUtc) {
  return platform::FileStamp(path, useCreationTime, inUtc);
}

std::u16string TcvFileUtils::ReadFileText(const std::string& fileName) {
  std::string bytes;
  if (!platform::ReadFileBytes(fileName, bytes, 64u << 20)) return std::u16string();
  return platform::LeBytesToUtf16(bytes);
}

void TcvFileUtils::WriteFileText(const std::string& fileName, const std::u16string& text, bool append) {
  std::string folder = platform::ExtractFilePath(fileName);
  if (!folder.empty() && !platform::DirectoryExists(folder)) platform::ForceDirectories(folder);
  platform::WriteFileInPlace(fileName, platform::Utf16ToLeBytes(text), append);
}

}  // namespace core
