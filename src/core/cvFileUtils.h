#pragma once
// TcvFileUtils: file helpers of the information store. Stateless; any thread.
#include <cstdint>
#include <string>

namespace core {

class TcvFileUtils {
 public:
  // Creation (else last-write) time of a file or folder as a DOS date-time, UTC or local;
  // -1 when it cannot be found or converted.
  static int32_t FileStamp(const std::string& path, bool useCreationTime, bool inUtc);
  // The whole file taken as UTF-16LE code units, no byte-order-mark processing; empty when the
  // file is empty or cannot be read.
  static std::u16string ReadFileText(const std::string& fileName);
  // Writes text as UTF-16LE without a byte-order mark, creating missing folders (ignoring
  // failures), appending or replacing the contents. Throws platform::EFileError.
  static void WriteFileText(const std::string& fileName, const std::u16string& text, bool append);
};

}  // namespace core
