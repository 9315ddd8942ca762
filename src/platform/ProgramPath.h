#pragma once
// The full path of the running program (the resolved /proc/self/exe). Any thread.
#include <string>

namespace platform {

std::string ProgramPath();

}  // namespace platform
