#pragma once
// Memory figures of this machine and of its processes, for the bounds a run puts on its
// offices. Stateless; any thread.

namespace platform {

// The machine's physical memory in bytes; 0 when it cannot be read.
long long PhysicalMemoryBytes();

// The resident memory of a running process in bytes, from /proc; -1 when it cannot be read
// (the process has ended). Cheap enough to ask ten times a second.
long long ResidentMemoryBytes(int pid);

}  // namespace platform
