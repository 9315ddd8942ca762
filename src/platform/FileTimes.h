#pragma once
// File times and DOS date-times. Stateless; any thread.
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

struct FileTimes {
  // Birth time where the file system records it; hasCreation is false otherwise.
  bool hasCreation = false;
  timespec creation{};
  timespec access{};
  timespec modification{};
};

// False when the path cannot be found.
bool GetFileTimes(const std::string& path, FileTimes& times);
// Sets the access and modification times (Linux cannot set a birth time). False on failure.
bool SetFileTimes(const std::string& path, const FileTimes& times);

// The DOS date-time of a moment: date in the high 16 bits (year-1980, month, day), time in the
// low 16 bits (hour, minute, seconds/2). -1 when the moment cannot be expressed (before 1980
// or after 2107).
int32_t DosDateTime(std::time_t moment, bool inUtc);

// The creation time (else the last-write time) of a file or folder as a DOS date-time, in UTC
// or local time; -1 when the path cannot be found or the time cannot be converted (also when a
// creation time is asked for and the file system records none).
int32_t FileStamp(const std::string& path, bool useCreationTime, bool inUtc);

}  // namespace platform
