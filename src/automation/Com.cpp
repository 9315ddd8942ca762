#include "automation/Com.h"

namespace automation {

// The UNO runtime keeps no per-thread state that callers must set up: the process-wide
// context is made on first use by the first server. This stays the one entry point so that
// a future bridge with per-thread needs has a place to put them.
void CoInitialize() {}

}  // namespace automation
