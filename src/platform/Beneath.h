#pragma once
// Opening what lies below a folder without following any link below it: how a run reaches into
// folders that other users can change (a shared drop folder, an upload area), so that a link
// planted there, or a folder swapped for a link between two looks, never leads the run to
// another user's files. The folder itself is taken as the caller names it: a link there is
// the caller's own choice. Below it every step is checked; a link, "..", or an absolute step
// fails with ELOOP (a link) or EXDEV (a step out).
//
// Uses openat2 with RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH where the kernel has it (5.6 and
// later), else a walk of openat calls with O_NOFOLLOW, which gives the same answers. Any
// thread; the descriptors returned are the caller's to close.
#include <optional>
#include <string>

namespace platform {

// A descriptor of folder (links in its own path followed), opened for the calls below; -1 with
// errno when it is no folder or cannot be opened.
int OpenFolder(const std::string& folder);

// Opens relative below the folder rootFd (flags as for open; O_NOFOLLOW and O_CLOEXEC are
// added). relative is a path of plain names ("a/b.doc"); empty names the folder itself. Returns
// a descriptor, or -1 with errno.
int OpenBeneath(int rootFd, const std::string& relative, int flags, unsigned mode = 0);

// As OpenBeneath for a folder, creating each missing folder on the way with mode (mkdirat: a
// name that appears meanwhile as a link is refused, never followed). -1 with errno.
int OpenFolderBeneath(int rootFd, const std::string& relative, bool create, unsigned mode = 0777);

// Whether a link owned by uid is followed: one of this process's user or of root is the caller's
// own choice; one of anybody else is another user's, and never followed.
bool TrustedLinkOwner(unsigned uid);

// Opens path (flags as for open; O_CLOEXEC added), following a link on the way only when it
// belongs to this process's user or to root: another user's link, anywhere in the path, fails
// with ELOOP. So a root run named /srv/drop/x.doc opens what the administrator's own links
// lead to, never what a user who can write /srv/drop put there. O_CREAT on a last name that
// is a link follows the same rule. -1 with errno.
int OpenTrusted(const std::string& path, int flags, unsigned mode = 0);

// Makes the folder path and every missing folder on its way (mkdirat: never through a link),
// following only links that OpenTrusted follows. 0, or -1 with errno (ELOOP: another user's
// link on the way).
int MakeFoldersTrusted(const std::string& path, unsigned mode = 0777);

// The folder of path, opened as OpenTrusted opens it (O_RDONLY | O_DIRECTORY), and in name the
// last name of path. -1 with errno.
int OpenParentTrusted(const std::string& path, std::string& name);

// Deletes the regular file at path, or renames it to to (in the same folder, never over an
// existing name), through its folder opened as OpenTrusted opens it. A link, folder or anything
// but a regular file at that name is left alone. False when nothing was done.
bool RemoveEntryTrusted(const std::string& path);
bool RenameEntryTrusted(const std::string& path, const std::string& to);

// The part of path below folder ("a/b.doc" for /in/ and /in/a/b.doc), or nullopt when path
// does not lie below folder or climbs out with "..". Compares text only.
std::optional<std::string> PathBelow(const std::string& folder, const std::string& path);

}  // namespace platform

namespace platform::detail {
// Tests take the walk that kernels without openat2 get.
void SetOpenat2Allowed(bool allowed);
}  // namespace platform::detail
