#include "app/WindowedRunner.h"

#include <cstdio>

#include "platform/Display.h"
#include "ui/WindowedRun.h"

namespace app {

std::function<int()> WindowedRunner(int& argc, char** argv) {
  return [&argc, argv] {
    // The toolkit aborts the whole process when it finds no display: decide before it exists.
    if (!platform::DisplayAvailable()) {
      std::fputs(
          "quillex: no display to open the window on; use --headless (or the setting PureConsole=True) to "
          "convert without a window\n",
          stderr);
      return 2;
    }
    return ui::RunWindowed(argc, argv);
  };
}

}  // namespace app
