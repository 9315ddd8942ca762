#include "platform/ProgramPath.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string ProgramPath() {
  char buf[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace platform
