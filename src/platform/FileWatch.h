#pragma once
// FileWatch: what changes in a folder, or a folder tree, as the kernel reports it (inotify).
// It reports files being written, files open for writing closed, files whose times or
// permissions changed (touch), files moved in, folders made or
// moved in (which it then watches too, for a tree), and says when the kernel dropped reports
// (its queue overflowed) or refused to watch a folder (the watch limit, most often): whoever
// relies on it must then look at the folders themselves.
//
// Owned by one thread, which calls every member. Not copyable.
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

class FileWatch {
 public:
  enum class ChangeKind {
    Writing,   // a file was written to and may still be open
    Closed,    // a file open for writing was closed (a reader may open it so, and write nothing)
    MovedIn,   // a file was moved in
    Touched,   // a file's times, permissions or owner changed (touch); its content may not have
    Folder,    // a folder was made or moved in; its contents were not reported
    Overflow,  // the kernel dropped reports: anything may have changed
  };
  struct Change {
    ChangeKind kind;
    std::string path;  // empty for Overflow
  };

  // tree: sub-folders are watched too, also those made later, except hidden ones and those
  // for which skip returns true (given the folder's path with a final "/"). Throws EFileError
  // when the system gives no watch (the limit of watch instances reached).
  FileWatch(bool tree, std::function<bool(const std::string& folder)> skip);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // Watches folder (and its sub-folders, for a tree); watching one again is harmless. False
  // when some folder could not be watched for lack of watches (Refusal then says why); a
  // folder that cannot be read is left out silently, as a search leaves it.
  bool Add(const std::string& folder);
  // The changes reported so far, waiting up to timeoutMs for the first; empty when none came
  // or a signal arrived.
  std::vector<Change> Wait(int timeoutMs);
  // Why a folder could not be watched, by the last Add or since it (a folder made later);
  // empty while every one could.
  const std::string& Refusal() const { return refusal_; }

 private:
  void AddTree(const std::string& folder);
  // One folder; false when it was watched already (a link back into the tree).
  bool AddOne(const std::string& folder);
  void Read(std::vector<Change>& changes);

  const bool tree_;
  const std::function<bool(const std::string&)> skip_;
  int fd_ = -1;
  std::map<int, std::string> folders_;  // watch descriptor -> folder, with a final "/"
  std::string refusal_;
};

}  // namespace platform
