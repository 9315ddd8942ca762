#include "app/WindowedRunner.h"

#include "app/ProgressLine.h"
#include "platform/Display.h"
#include "ui/WindowedRun.h"

namespace app {

std::function<int()> WindowedRunner(int& argc, char** argv) {
  return [&argc, argv] {
    // The toolkit aborts the whole process when it finds no display: decide before it exists.
    if (!platform::DisplayAvailable()) {
      ProgressLine::Say(
          "no display to open the window on; use --headless (or the setting PureConsole=True) to convert "
          "without a window");
      return 2;
    }
    if (std::string problem = platform::DisplayProblem(); !problem.empty()) {
      ProgressLine::Say(problem + "; use --headless (or the setting PureConsole=True) to convert without a window");
      return 2;
    }
    std::string why;
    int status = ui::RunWindowed(argc, argv, &why);
    // The window has shown why (an empty box focused, an error reported); a script that
    // started it unattended reads standard error.
    if (status == 2 && !why.empty())
      ProgressLine::Say(why);
    else if (status == 2)
      ProgressLine::Say(
          "the automatic run could not be carried out: no source or target, or its log could not be written");
    return status;
  };
}

}  // namespace app
