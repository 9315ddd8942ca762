#pragma once
// The windowed run as the program main sees it: the main window and its message loop, or
// nothing in a build without windows.
#include <functional>

namespace app {

std::function<int()> WindowedRunner(int& argc, char** argv);

}  // namespace app
