#include "platform/Memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace platform {

long long PhysicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? static_cast<long long>(pages) * size : 0;
}

long long ResidentMemoryBytes(int pid) {
  if (pid <= 0) return -1;
  // statm is one short line of page counts; the second is the resident set.
  int fd = open(("/proc/" + std::to_string(pid) + "/statm").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buffer[128];
  ssize_t n = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  if (n <= 0) return -1;
  buffer[n] = '\0';
  long long size = 0, resident = 0;
  if (std::sscanf(buffer, "%lld %lld", &size, &resident) != 2) return -1;
  return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace platform
