#include "platform/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

bool GetFileTimes(const std::string& path, FileTimes& times) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  times.hasCreation = (sx.stx_mask & STATX_BTIME) != 0;
  times.creation = {static_cast<time_t>(sx.stx_btime.tv_sec), static_cast<long>(sx.stx_btime.tv_nsec)};
  times.access = {static_cast<time_t>(sx.stx_atime.tv_sec), static_cast<long>(sx.stx_atime.tv_nsec)};
  times.modification = {static_cast<time_t>(sx.stx_mtime.tv_sec), static_cast<long>(sx.stx_mtime.tv_nsec)};
  return true;
}

bool SetFileTimes(const std::string& path, const FileTimes& times) {
  const timespec ts[2] = {times.access, times.modification};
  // A link put in the file's place gets the times itself: its target is never touched.
  return ::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

int32_t DosDateTime(std::time_t moment, bool inUtc) {
  std::tm tm {};
  if ((inUtc ? ::gmtime_r(&moment, &tm) : ::localtime_r(&moment, &tm)) == nullptr) return -1;
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return -1;
  uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) | (static_cast<uint32_t>(tm.tm_mon + 1) << 5) |
                  static_cast<uint32_t>(tm.tm_mday);
  uint32_t time = (static_cast<uint32_t>(tm.tm_hour) << 11) | (static_cast<uint32_t>(tm.tm_min) << 5) |
                  static_cast<uint32_t>(tm.tm_sec / 2);
  return static_cast<int32_t>((date << 16) | time);
}

int32_t FileStamp(const std::string& path, bool useCreationTime, bool inUtc) {
  FileTimes times;
  if (!GetFileTimes(path, times)) return -1;
  if (useCreationTime && !times.hasCreation) return -1;
  return DosDateTime(useCreationTime ? times.creation.tv_sec : times.modification.tv_sec, inUtc);
}

}  // namespace platform
