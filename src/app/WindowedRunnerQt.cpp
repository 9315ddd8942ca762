#include "app/WindowedRunner.h"

#include "ui/WindowedRun.h"

namespace app {

std::function<int()> WindowedRunner(int& argc, char** argv) {
  return [&argc, argv] { return ui::RunWindowed(argc, argv); };
}

}  // namespace app
