#pragma once
// The batch job of one conversion run: the job list (TcvNode entries), the thread that walks
// the source folder into it (TcvBatch), the counters and distinct failure messages the front
// ends report, and the bare worker loop (TcvWorkBase) that consumes the list.
//
// Ownership: the front end (main window, headless runner) creates a TcvBatch and frees it,
// only after every worker that uses it has ended. The batch owns its entries; an entry's
// address stays valid until the batch is freed. Workers (TcvWorkBase and its descendants)
// free themselves.
//
// Threads and locks:
//  - the enumeration thread runs Execute, Scan and AddFile; workers call NextNode, AddSuccess
//    and AddFailure; the front end calls Start, AddLastFile, Count, LockList and the readers.
//  - one lock (the list lock) guards the list, NextIndex, both counters, Errors and the target
//    names settled in the run. It is held only for those short updates and for settling an
//    entry's target as it is handed out: never while a name is matched, never around OnNode,
//    never while sleeping. LockList/UnlockList expose it to readers outside the engine; a holder must
//    not wait for another thread of the run while holding it.
//  - the text fields (SourceDir, TargetDir, Mask, RegExt) have a lock of their own, so reading
//    them is safe from any thread, also while the list lock is held.
//  - an entry's Status and Message are written only by the worker that took it; Status is
//    atomic, so a front end may show it at any time; read Message in that worker's OnNode or
//    after the run has ended.
//  - waiting for work is polling (NextNode sleeps 1 ms between looks).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Thread.h"

namespace batch {

class TcvBatch;

// Values of TcvNode::Status.
enum : int32_t { NodeRunning = 0, NodeSuccess = 1, NodeFailure = 2 };

// One job entry, created only by the batch.
struct TcvNode {
  std::atomic<int32_t> Status{NodeRunning};
  int32_t Index = 0;       // position in the job list; never changes
  std::string FileName;    // the source: a path, or the text given to AddLastFile (maybe a URL)
  std::string Message;     // target path after a success, error text after a failure
  std::string Reason;      // after a failure: its kind, a word of core/FailureReason.h
  int32_t Unwritten = 0;   // after a success: characters the text's character set could not hold
  int64_t Milliseconds = 0;  // how long its conversion took, once ended
  int32_t Pages = -1;        // the document's pages where the conversion counted them; -1 unknown
};

// The counters of a batch at one moment, read together under the list lock, so that Done()
// never exceeds Found as separate reads could make it.
struct TcvCounts {
  int Found = 0;      // entries in the list so far
  int Succeeded = 0;  // SuccessCount
  int Failed = 0;     // FailedCount
  int Done() const { return Succeeded + Failed; }
};

using TcvNodeEvent = std::function<void(TcvBatch& batch, TcvNode& node)>;
using TcvEvent = std::function<void()>;
using TcvNodeList = std::vector<std::unique_ptr<TcvNode>>;

// A wildcard mask as an expression that must match the end of a full path: "*" any run, "?"
// one character or none, the expression characters "+^$()[]{}" and "." literal; anything
// else (also "|" and "\") passes through. An empty mask gives "$", which accepts every path.
std::string MaskToRegex(const std::string& mask);

// The shard (1..count) of a document's key: its path below the source folder (so that nodes
// which mount the documents at different points agree) without the extension, and without the
// folders when the targets are flat, so that documents whose texts would share a name share a
// shard. A count below 1 gives 0, no shard.
int ShardOf(const std::string& key, int count);

// While on, names beginning with "~$" (a word processor's lock files) never become entries.
// Off until the program turns it on at start-up. Any thread.
void SetSkipLockFiles(bool on);
bool SkipLockFiles();

class TcvBatch : public platform::Thread {
 public:
  TcvBatch();
  // Asks the enumeration thread to end, waits for it, then frees the entries. No worker may
  // still use the batch.
  ~TcvBatch() override;

  // Called for every appended entry, on the thread that appended it (the enumeration thread
  // or the caller of AddLastFile), without any lock held. Set before Start or AddLastFile.
  void SetOnNode(TcvNodeEvent onNode) { onNode_ = std::move(onNode); }

  // Sets source and target ("file:" URLs normalised), creates the target folder, splits the
  // source at its last "/" into SourceDir and Mask (a source that names an existing folder is
  // that folder with the project's SourceMask; one that names an existing file lists that file
  // alone, whatever bytes its name holds: its name is then no mask, in no folder, with or
  // without Recursive), and starts the enumeration thread unless the
  // list is already complete or the thread was started before. Throws
  // platform::EFileError("Unable to create directory") when the target cannot be created (an
  // empty target included); the batch then stays unstarted. Front end thread.
  void Start(const std::string& source, const std::string& target, bool recursive);
  // Narrows the walk of Start to these paths below the source folder, for a front end that
  // knows what changed: a file is listed when it passes what the walk would ask of it, a
  // folder is walked as the source folder is (with its sub-folders when recursive); a path
  // named twice, or reached both ways, is listed once. Empty: the whole source. Before Start.
  void SetOnly(std::vector<std::string> paths) { only_ = std::move(paths); }
  // A further test of every document the walk finds, on the enumeration thread: false leaves
  // it out of the list, as if it were not there. Before Start.
  void SetListFilter(std::function<bool(const std::string& path)> filter) { listFilter_ = std::move(filter); }
  // Filters the name (Accepts, then the Shard read by the enumeration); when it passes, appends
  // an entry and calls OnNode.
  void AddFile(const std::string& fileName);
  // AddFile, then marks the list complete: for a file or web address given by hand.
  void AddLastFile(const std::string& fileName);

  int Count() const;
  // The next entry in list order, each handed out exactly once. While the list may still
  // grow it polls every 1 ms; when the list is complete and handed out it sets Drained and
  // returns nullptr. It ignores the caller's terminate request.
  TcvNode* NextNode();
  // As NextNode; prepare runs on the entry under the list lock before it is handed out, so
  // what it decides follows list order whatever the number of workers. It must not throw and
  // must not take the list lock.
  TcvNode* NextNode(const std::function<void(TcvNode&)>& prepare);
  bool IsDrained() const { return drained_.load(); }
  void AddSuccess();
  // Counts the failure; records message unless Errors holds it already (letter case ignored).
  void AddFailure(const std::string& message);
  // Gives up the whole run for a cause no document is to blame for (a word processor that
  // cannot start before anything succeeded): workers take no further entry, the entry in hand
  // keeps no outcome, and the front end names the cause once. The first cause stays. Returns
  // false, recording nothing, once any entry has succeeded: the word processor did work then,
  // and each later failure is the document's own.
  bool GiveUpRun(const std::string& cause);
  // Stops the run, whatever has succeeded, for a cause that makes going on wrong (its record, the
  // log, can no longer be written): as GiveUpRun, with line as the front end's whole line.
  void StopRun(const std::string& line);
  // The line a given-up or stopped run ends with; empty while the run goes on. Any thread.
  std::string RunFault() const;

  // Takes the list lock and returns the list; every LockList needs its UnlockList.
  const TcvNodeList& LockList();
  void UnlockList();

  // The target files settled in this run so far. Only while the list lock is held (inside a
  // NextNode prepare call, or between LockList and UnlockList).
  bool TargetSettledLocked(const std::string& path) const { return settledTargets_.count(path) > 0; }
  void SettleTargetLocked(const std::string& path) { settledTargets_.insert(path); }

  // A "file:" URL as a path (platform::FileUrlToPath): file:///home/a/x.doc gives
  // /home/a/x.doc, file:/// an empty string; anything else comes back unchanged.
  static std::string NormalizePath(const std::string& path);

  // The name filter: the mask (not for a source that names a file), then RegExt, both on the
  // full path through cvMatch().
  bool Accepts(const std::string& fileName) const;

  // Readers; any thread.
  int NextIndex() const;
  int SuccessCount() const;
  int FailedCount() const;
  std::vector<std::string> Errors() const;
  // Count, SuccessCount and FailedCount in one look. Any thread; cheap enough for a front end
  // to call a few times a second during a run.
  TcvCounts Counts() const;
  bool Done() const { return done_.load(); }
  bool Recursive() const;
  bool SkipHidden() const;
  std::string Mask() const;
  std::string RegExt() const;
  std::string SourceDir() const;
  std::string TargetDir() const;
  // What path, a link that FollowLinks follows, leads to inside the source tree, with every
  // link resolved; empty when it is not followed.
  std::string FollowedLinkTarget(const std::string& path) const;
  // The target a chain of workers writes to (CreateConvertors replaces the one of Start).
  void SetTargetDir(const std::string& targetDir);

 protected:
  // Reads "RegExt", "SkipHidden", "Shard" and "KeepTargetSubdirs" from the project, walks the
  // source, and completes the list, also when told to terminate or when the walk fails. A Shard
  // that cannot be read lists nothing: taking every document would convert other shards'
  // documents twice.
  void Execute() override;
  // Called by NextNode each time it found no entry to hand out, without the lock held. Lets
  // a test append between a worker's look at the list and its decision to wait or end.
  virtual void ListFoundEmpty() {}

 private:
  void Scan(const std::string& root, const std::string& mask, bool recursive, uint32_t attrSet);
  // Lists the one file a source named, when it is a regular file the attribute set admits.
  // named: the user named it (a link of the user's own is then resolved), else a path of the
  // tree that a watch reported.
  void ScanNamedFile(const std::string& dir, const std::string& name, uint32_t attrSet, bool named);
  // False when the folder could not be read; it is then listed as a failed entry.
  bool ScanFiles(const std::string& dir, const std::string& mask, uint32_t attrSet);
  // AddFile for what the walk found, after the list filter; once per path with SetOnly.
  void AddFound(const std::string& fileName);
  // A link the walk found in the place of a document: followed (AddFound) when FollowLinks is
  // set and it leads inside the source tree, else a failed entry of its own.
  void AddLinkFound(const std::string& path);
  bool LinkStaysInside(const std::string& path) const;
  // Appends an entry that is settled already: a Failure with message and its kind.
  void AddFailedFile(const std::string& fileName, const std::string& message, const std::string& reason);
  // Gives entry its Index, appends it, then calls OnNode.
  TcvNode& Append(std::unique_ptr<TcvNode> entry);
  // True when the file belongs to this run's shard (always without a Shard).
  bool InShard(const std::string& fileName) const;

  mutable std::mutex listLock_;
  TcvNodeList nodes_;
  int nextIndex_ = 0;
  int successCount_ = 0;
  int failedCount_ = 0;
  std::vector<std::string> errors_;
  std::string runFault_;
  std::set<std::string> settledTargets_;

  std::atomic<bool> done_{false};
  std::atomic<bool> drained_{false};

  mutable std::mutex fieldsLock_;
  std::string mask_;
  std::string sourceDir_;
  std::string targetDir_;
  std::string regExt_;
  bool recursive_ = false;
  bool namedFile_ = false;  // Mask is the name of the one file the source named
  bool skipHidden_ = false;
  int shardIndex_ = 1;  // this run's shard of shardCount_; 1 of 1 takes every document
  int shardCount_ = 1;
  bool shardKeepsSubdirs_ = true;

  TcvNodeEvent onNode_;
  std::vector<std::string> only_;
  bool followLinks_ = false;  // FollowLinks, read by the walk
  std::string realRoot_;      // the source folder with every link resolved, ending with "/"
  std::set<std::string> foundOnce_;  // with only_: the paths listed so far
  std::function<bool(const std::string&)> listFilter_;
};

// The bare worker: a self-freeing thread that takes entries from its batch until none is left
// or it is told to terminate. It is created suspended; Start runs it once.
//
// An error that escapes ProcessNode fails the entry in hand (Status 2, the message, one
// failure counted) when that entry is still Running, so no entry outlives its run unsettled;
// an entry the conversion already settled keeps its outcome.
class TcvWorkBase : public platform::Thread {
 public:
  TcvWorkBase(TcvBatch* batch, int count, TcvNodeEvent onNode);

  TcvBatch* Batch() const { return batch_; }
  // The entry in hand; the worker's own thread only.
  TcvNode* Node() const { return node_; }

 protected:
  // Works on Node(). The base does nothing.
  virtual void ProcessNode() {}
  // Runs under the batch's list lock as node is handed to this worker (see NextNode). Must
  // not throw. The base does nothing.
  virtual void PrepareNode(TcvNode&) {}
  // Settles an entry whose processing threw: Status 2, Message, Reason, AddFailure.
  virtual void FailEscapedNode(TcvNode& node, const std::string& message, const std::string& reason);
  // Runs on the worker's thread once its loop has ended, as the last step of its run.
  virtual void Ended() {}

  void Execute() final;

 private:
  TcvBatch* const batch_;
  TcvNode* node_ = nullptr;
};

}  // namespace batch
