#pragma once
// Files and folders: existence tests, folder creation, deletion, renaming and whole-file
// reads and writes. Stateless; any thread. Failures are reported as false (or an exception
// where a caller needs the platform's message), never as a crash.
#include <stdexcept>
#include <string>

namespace platform {

// The platform's file errors, with the message callers show to the user.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True for anything that is not a folder (a link to a file counts as the file).
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool PathExists(const std::string& path);
// Creates the folder and every missing parent. True when the folder exists afterwards.
bool ForceDirectories(const std::string& path);
// As ForceDirectories, but throws EFileError("Unable to create directory") on failure or an
// empty path.
void ForceDirectoriesOrThrow(const std::string& path);
// Why files cannot be made in the folder at path (missing, a file, no permission, a read-only
// file system); empty when they can.
std::string FolderWriteError(const std::string& path);
bool DeleteFile(const std::string& path);
// Removes path only when it is a Unix socket (a link to one is left alone); true when removed.
bool DeleteSocket(const std::string& path);
// Whether a stream socket at path takes a connection within waitMs (a listener is there).
bool SocketAnswers(const std::string& path, int waitMs = 3000);

// The outcome of ClaimNewFile.
enum class ClaimResult { Claimed, Taken, Failed };
// Creates path as a new empty file only if nothing of that name exists, atomically even
// between processes: Claimed when this call created it, Taken when the name exists already
// (a folder too), Failed for any other reason (a folder that cannot be written).
ClaimResult ClaimNewFile(const std::string& path);
// Deletes path only while it is an empty regular file: a claim that nothing was written to.
bool DeleteEmptyFile(const std::string& path);
// True for a regular file of no bytes (a link to one included).
bool IsEmptyFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);

// Reads the whole file; false when it cannot be read (contents then empty). Files larger than
// maxBytes are refused, so that a huge file given by mistake cannot exhaust memory.
// Without followLinks a link in the last place is refused: for files another process wrote.
bool ReadFileBytes(const std::string& path, std::string& contents,
                   std::size_t maxBytes = std::size_t(1) << 30, bool followLinks = true);
// Reads up to length bytes of a regular file from offset on (fewer at its end); false when it
// cannot be read. size receives the file's size.
bool ReadFileRange(const std::string& path, long long offset, std::size_t length, std::string& contents,
                   long long& size);
// Writes the whole file. A regular file, or a name where nothing is yet, is written into a
// temporary file beside it ("NAME.tmp-<pid>.<host>-XXXXXX", see TempNames.h), then renamed over
// it, so that an interrupted write never leaves a half-written file; a replaced file keeps its
// permission bits (ownerOnly: 0600 whatever it had) and, where the system allows, its owner.
// Links are followed and the file they name is replaced, the link left as it is. What is not a
// regular file is never replaced: a character device, FIFO or socket is written through, and so
// is an open descriptor named through /proc/.../fd/ (/dev/stdout). A FIFO that nobody reads fails
// at once instead of waiting. Throws EFileError with the reason.
void WriteFileAtomic(const std::string& path, const std::string& contents, bool ownerOnly = false);
// Opens (creating) the file and writes contents at its end or after truncating it, in place.
// Throws EFileError with the reason.
void WriteFileInPlace(const std::string& path, const std::string& contents, bool append);

// A file opened once and written piece by piece as a run goes (the run log). Each Write goes to
// the system at once, so a program killed later leaves every piece written so far. A link on
// the way is followed only when it belongs to this user or to root (OpenTrusted): /dev/stdout
// works, another user's link to a file of ours does not. A regular file is truncated, or
// appended to (created when missing), and refused at once when its file system has no room; a
// character device, socket or open descriptor is written through; a FIFO only when somebody
// reads it. One owner, which serialises its writes.
class OutputFile {
 public:
  // Opens path for writing; throws EFileError with the reason.
  explicit OutputFile(const std::string& path, bool append = false);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Writes all of data: empty on success, else the system's reason.
  std::string Write(const std::string& data);

 private:
  int fd_ = -1;
};

// A fresh private folder under the system's temporary folder, named prefix + "<pid>.<host>-XXXXXX"
// (TempNames.h); throws EFileError.
std::string MakeTempDirectory(const std::string& prefix);
// The same in parent instead of the system's temporary folder.
std::string MakeTempDirectoryIn(const std::string& parent, const std::string& prefix);
// Removes a folder tree; errors are ignored.
void RemoveTree(const std::string& path);

}  // namespace platform
