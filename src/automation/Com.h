#pragma once
// Per-thread initialisation of the automation layer, called by every thread before it creates
// or uses automation objects. Safe to call any number of times on any thread; it never fails
// in a way the caller must handle (as with the COM call it stands for, the result is ignored).

namespace automation {

void CoInitialize();

}  // namespace automation
