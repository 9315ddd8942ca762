#pragma once
// What a child process may not reach: a network namespace of its own, entered between fork and
// exec. Internal to platform/: Process.cpp calls it in the child, where only async-signal-safe
// calls are allowed, so everything the child needs is prepared in the parent first.
//
// A new network namespace holds one loopback interface, down: nothing outside the process
// tree can be reached, while sockets in the file system (the UNO pipe) still connect, since
// they belong to the mount namespace. Root enters one directly; an ordinary user through a
// user namespace that maps only the user's own ids, which changes no file access.
#include <string>

namespace platform::detail {

// The id maps written for the user namespace, formatted before fork.
struct IdMaps {
  char uidMap[48];
  char gidMap[48];
};
IdMaps PrepareIdMaps();

// In the child: 0 once it runs in a network namespace of its own, else the errno of the step
// that failed. Async-signal-safe.
int EnterPrivateNetwork(const IdMaps& maps);

// The shared temporary folders made read-only for a child, in a mount namespace of its own,
// all but one folder below them or elsewhere, which stays writable: a program that puts its
// sockets in the first writable one of /tmp and /var/tmp (the office's pipes) then puts them
// where the caller said. Prepared before fork: the paths and the mount flags each keeps (a user
// namespace may not clear nosuid, nodev or noexec).
struct TempLock {
  char writable[4096];
  struct Folder {
    char path[16];
    unsigned long flags;
    bool present;
  } folders[2];
};
// False with errno when writable is too long, or a shared temporary folder cannot be examined.
bool PrepareTempLock(const std::string& writable, TempLock& lock);

// In the child, after EnterPrivateNetwork (whose user namespace allows the mounts for an
// ordinary user): 0, or the errno of the step that failed. Async-signal-safe.
int LockSharedTemp(const TempLock& lock);

// Whether children can be given read-only shared temporary folders here (LockSharedTemp):
// empty when they can, else the reason. Probed once, in a short-lived child; any thread.
const std::string& TempLockProblem();

// Whether children can be given a private network here: empty when they can, otherwise the
// reason, as a phrase. Probed once, in a short-lived child; any thread.
const std::string& PrivateNetworkProblem();

}  // namespace platform::detail
