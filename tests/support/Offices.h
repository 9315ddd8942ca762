#pragma once
// The offices a test's own program started, told apart from every other LibreOffice on the
// machine (a user's desktop office, another test program under ctest -j2): an office is the
// program's when its profile lies under the program's private TMPDIR. Tests check and kill
// only these.
#include <string>
#include <vector>

namespace testsupport {

// Process ids of the running offices whose profile lies under folder.
std::vector<int> OfficesUnder(const std::string& folder);
// Paths of the Unix sockets a running process has bound (an office's pipes).
std::vector<std::string> BoundSockets(int pid);

}  // namespace testsupport
