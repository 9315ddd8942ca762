#pragma once
// TcvConvertor: the base of the product's converter workers, and the chain of them that runs
// one conversion. Each worker takes entries from a TcvBatch, computes the target name,
// converts (Convert, overridden by the product's converter), reports each entry through
// OnNode and its own end through OnFinish.
//
// Creating workers: the engine knows no concrete converter. The program installs a factory
// (SetConverterClass) that creates its converter class; CreateConvertors and every member of
// a chain create the following member through it. Without a factory the base class is used.
//
// Threading contract:
//  - CreateConvertors, Start, SetOnFinish and Stop are the front end's; call them from one
//    thread (the main thread in the windowed program). Start only on the head, once.
//  - Every member runs on its own thread. Convert, OnNode, GetTargetFileName and FinishSource
//    run there; OnNode may therefore run on several threads at once.
//  - When a member's loop ends, on its own thread and in this order: ReleaseResources, then
//    OnFinish handed to the main thread (platform::RunOnMainThread) and waited for, then
//    RunningWorkers lowered by one under the batch's list lock. After that it never touches
//    the batch again.
//  - Members free themselves, but not before every member of the chain has ended: the chain
//    stays safe to walk (Stop, SetOnFinish, Count, Next) until the last member has lowered
//    RunningWorkers. Once the front end has seen the last OnFinish (or RunningWorkers reach
//    0 for a chain it counted there), it must not touch the chain again.
//  - A chain that was never started belongs to its creator: deleting its head frees it all.
//  - If the system cannot create a thread, Start throws std::system_error; the members not
//    started count as ended at once (RunningWorkers lowered, no OnFinish), those started run
//    normally, and the chain must not be used again.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "batch/cvBatch.h"

namespace batch {

class TcvConvertor;

using ConverterClass = std::function<TcvConvertor*(TcvBatch* batch, int count, TcvNodeEvent onNode)>;
// Installs the factory of the product's converter class (an empty one restores the base
// class). Set at start-up, before any chain is created.
void SetConverterClass(ConverterClass factory);

// The number of converter workers not yet ended. A front end that waits by polling sets it to
// the head's Count before Start; every worker lowers it once as it ends. Any thread.
void SetRunningWorkers(int value);
int RunningWorkers();
// Waits until RunningWorkers is 0 or bound has passed; true when it is 0. A run whose workers
// end in a few milliseconds (every entry skipped) ends then, not at the next look of a poll.
bool WaitForRunningWorkers(std::chrono::milliseconds bound);

// Builds a suspended chain for batch: the batch's TargetDir becomes NormalizePath(target),
// and the chain has "ThreadsCount" members (at least 1). Returns the head.
TcvConvertor* CreateConvertors(TcvBatch* batch, const std::string& target, TcvNodeEvent onNode);

// The text file a document of batch gets when no other text stands in its way (before any
// "-quillex-" name): below the batch's TargetDir, with the project's TargetExtension(). Any thread.
std::string PlainTargetName(const TcvBatch& batch, const std::string& source);
// True when text exists and was modified no earlier than source: the test of "IsOverwrite"
// Newer. A text that gets its document's time ("KeepFileTime") is then up to date. False when
// either cannot be read.
bool TextIsCurrent(const std::string& source, const std::string& text);

class TcvConvertor : public TcvWorkBase {
 public:
  // Count below 1 counts as 1. For Count > 1 the following members are created through the
  // installed factory with Count - 1, Count - 2 ... 1 (by the member constructed first, in a
  // loop, so a chain of any length needs no deeper stack). Throws when the factory gives no
  // converter; the members made so far are freed.
  TcvConvertor(TcvBatch* batch, int count, TcvNodeEvent onNode);
  ~TcvConvertor() override;

  // Members from this one to the end of the chain.
  int Count() const { return count_; }
  TcvConvertor* Next() const { return next_; }

  // Starts every member, the head first.
  void Start();
  // Sets OnFinish on this member and every following one. Safe while the chain runs.
  void SetOnFinish(TcvEvent onFinish);
  // Asks every member to end after the entry in hand; entries not taken stay in the batch
  // for a new chain. Returns at once.
  void Stop();
  // Abandons the run, for a front end that is going away: every member ends as for Stop, but
  // an entry it has not finished is left as it was (Status Running, nothing counted, no
  // OnNode), so work cut short is never reported as failed; an entry finished meanwhile keeps
  // its outcome. The returned call ends at once what the entries in hand are waiting on (the
  // members' word processors). It refers to no member, so it may run after the chain could
  // have freed itself: outside the list lock that a front end may hold to keep the chain
  // alive. Same callers as Stop.
  std::function<void()> Abandon();
  // True once the chain was abandoned. Any thread.
  bool Abandoned() const { return abandoned_.load(); }

  // Converts one entry; it must settle the entry itself (Status, Message, AddSuccess or
  // AddFailure) and let no error escape. The base does nothing.
  virtual void Convert(TcvBatch& batch, TcvNode& node);
  virtual std::string AdjustTargetName(const std::string& name);
  virtual std::string GetAppFileName();
  virtual bool HasMacros();

  // The path the conversion must write, its folder created. Empty means: do not convert;
  // the entry is then already settled (Success when "IsOverwrite" is Skip and the target
  // exists, or Newer and the target is current; Failure when the target would be the source file itself, its
  // folder cannot be made, or no free name is left). The name is settled once per entry, when the entry is
  // handed to this worker, in list order: a target settled earlier in the run counts as an
  // existing file, so no two entries of a run share one ("IsOverwrite" True and False then
  // give the next "-quillex-" name not yet settled, True replacing files from before the run,
  // Newer likewise unless the file there is current, False only a name that is free). Under False and Skip
  // the name is claimed on disk as an empty file, so that another run at the same time cannot settle on it;
  // the claim is removed when the entry does not succeed.
  std::string GetTargetFileName(TcvBatch& batch, TcvNode& node);
  // True when target exists and is not this worker's claim on it left as it was: for writers
  // that can report success without having written anything.
  bool TargetWritten(const std::string& target) const;
  // After a successful conversion (the entry's Status is Success already), when target exists
  // and is not the source: copies file times ("KeepFileTime"), deletes ("DeleteSource") or
  // renames ("RenameSource") the source. An entry that has not succeeded keeps its source
  // whatever lies at target. Every error is ignored; a rename never replaces an existing file.
  void FinishSource(TcvBatch& batch, TcvNode& node, const std::string& target);
  // FinishSource for the entry in hand, once its outcome has been reported (OnNode) and only
  // while the run goes on: a source is never deleted or renamed before its record is written.
  // For Convert.
  void FinishSourceAfterReport(const std::string& target) { sourceTarget_ = target; }
  // Gives target the access and modification times of source (Linux keeps no settable birth
  // time). False when either file cannot be reached.
  static bool CopyFileTime(const std::string& source, const std::string& target);

 protected:
  // Convert, then OnNode. An entry settled when it was handed out is not converted.
  void ProcessNode() override;
  void PrepareNode(TcvNode& node) override;
  void FailEscapedNode(TcvNode& node, const std::string& message, const std::string& reason) override;
  // Runs on the worker's thread when its loop has ended, before OnFinish: the product's
  // converter releases what it holds here (its word-processor server).
  virtual void ReleaseResources() {}
  // For Abandon, on the front end's thread: a call that ends at once what this member's entry
  // in hand is waiting on. It must not refer to the member. The base has nothing to end.
  virtual std::function<void()> AbortWork() { return {}; }
  void Ended() final;

 private:
  struct Chain;
  // The target settled for the entry in hand.
  struct Settled {
    const TcvNode* node = nullptr;
    std::string target;    // empty: not to be converted, the entry is settled
    bool claimed = false;  // target is an empty file this worker created
    uint64_t claimDevice = 0, claimInode = 0;
    std::vector<std::string> failures;  // to record once the list lock is free again
  };
  // Decides the entry's target; the batch's list lock must be held.
  Settled SettleTarget(TcvBatch& batch, TcvNode& node);
  void RecordSettledFailures(TcvBatch& batch);
  // Removes the claimed target of an entry that did not succeed.
  void DropUnusedClaim(const TcvNode& node);
  void FreeFollowingMembers();

  const int count_;
  const TcvNodeEvent onNode_;
  TcvConvertor* next_ = nullptr;
  std::mutex finishLock_;
  TcvEvent onFinish_;
  std::atomic<bool> abandoned_{false};
  std::shared_ptr<Chain> chain_;
  Settled settled_;
  std::string sourceTarget_;  // FinishSourceAfterReport's target for the entry in hand
};

}  // namespace batch
