#pragma once
// A private copy of a file that another user may control: opened once, through no link but the
// user's own or root's (OpenTrusted), checked to be a regular file within a size bound, and
// copied from that same descriptor. Whatever the other user swaps in afterwards (a link to a file of ours, a FIFO, a
// file that keeps growing) never reaches the reader of the copy. Stateless; any thread.
#include <string>

namespace platform {

struct CopyOutcome {
  enum Kind {
    Copied,
    Link,        // another user's symbolic link lies on the way
    NotAFile,    // a FIFO, device, socket or folder
    TooLarge,    // larger than the bound, or grew past it while being copied
    Unreadable,  // could not be opened or read (error: the errno)
    Unwritable,  // the copy could not be written (error: the errno)
  } kind = Copied;
  int error = 0;
  long long size = 0;  // bytes of the source as found (TooLarge: at least this many)
};

// Copies source into folder/name, created anew (never through a link, never over a file) with
// mode 0600 and handed to the office account (Account.h). A failed copy leaves nothing behind.
CopyOutcome CopyPrivately(const std::string& source, const std::string& folder, const std::string& name,
                          long long maxBytes);

}  // namespace platform
