#pragma once
// Wildcard directory search with attribute sets, in the manner of the classic file-find calls.
// Attributes on Linux: directory = a folder; hidden = a name beginning with "."; read-only = no
// write permission for the owner; archive = a regular file. Only folders and regular files are
// ever listed: FIFOs, sockets and devices would block whoever opens them. A symbolic link is
// listed with the link flag set and the attributes of what it points to (none when that is
// missing), so that a caller decides whether to follow it; an entry that cannot be examined at
// all is listed with its error. Stateless; any thread.
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum FileAttribute : uint32_t {
  faReadOnly = 0x1,
  faHidden = 0x2,
  faSysFile = 0x4,
  faVolumeId = 0x8,
  faDirectory = 0x10,
  faArchive = 0x20,
};

struct DirEntry {
  std::string name;
  uint32_t attributes = 0;
  uint64_t device = 0;  // of what the entry leads to
  uint64_t inode = 0;
  bool link = false;      // the entry itself is a symbolic link
  unsigned linkOwner = 0; // the user owning the link itself, when link
  int statError = 0;      // the entry could not be examined (errno); attributes are then 0
};

// Case-insensitive wildcard test of one name: "*" any run, "?" one character or none at the end
// of the name. "*.*" matches every name; an empty mask matches nothing.
bool MatchesMask(const std::string& name, const std::string& mask);

// Calls visit for each entry of dir (which ends with "/") whose name matches mask, in the order
// the file system gives, leaving out "." and ".." and every entry whose hidden or directory
// attribute is not in attrSet. Stops early when visit returns false. A folder that cannot be
// read lists nothing; failure then receives the reason, unless the folder does not exist.
void FindFiles(const std::string& dir, const std::string& mask, uint32_t attrSet,
               const std::function<bool(const DirEntry&)>& visit, std::string* failure = nullptr);

// Why the folder cannot be listed, in the system's words ("Permission denied"); empty when it
// can be.
std::string FolderListError(const std::string& dir);

// Device and inode of a path (following links); false when it cannot be found.
// Why the entries of a folder that can be listed cannot be examined (it cannot be entered);
// empty when they can, or when the folder cannot be listed at all (FindFiles says why).
std::string FolderEntryError(const std::string& dir);
bool FileIdentity(const std::string& path, uint64_t& device, uint64_t& inode);

}  // namespace platform
