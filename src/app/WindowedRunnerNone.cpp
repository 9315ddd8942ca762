#include "app/WindowedRunner.h"

namespace app {

std::function<int()> WindowedRunner(int&, char**) { return nullptr; }

}  // namespace app
