#include "batch/cvConvertor.h"

#include <chrono>
#include <condition_variable>
#include <stdexcept>
#include <vector>

#include "core/FailureReason.h"
#include "core/Globals.h"
#include "core/cvProject.h"
#include "platform/MainThread.h"

namespace batch {

namespace {

std::mutex g_factoryLock;
ConverterClass g_factory;
std::atomic<int> g_runningWorkers{0};
// Told when a worker ends. Never destroyed: a worker that has just lowered the count may still
// be telling it while the program exits.
struct WorkersEnded {
  std::mutex lock;
  std::condition_variable changed;
};
WorkersEnded& g_workersEnded = *new WorkersEnded;

void LowerRunningWorkers(int by) {
  g_runningWorkers.fetch_sub(by);
  std::lock_guard<std::mutex> guard(g_workersEnded.lock);
  g_workersEnded.changed.notify_all();
}
// Set while a member constructs the rest of its chain: the members it creates then leave the
// chain to it instead of each creating the next, which would recurse once per member.
thread_local bool t_buildingChain = false;

TcvConvertor* MakeConverter(TcvBatch* batch, int count, const TcvNodeEvent& onNode) {
  ConverterClass factory;
  {
    std::lock_guard<std::mutex> guard(g_factoryLock);
    factory = g_factory;
  }
  TcvConvertor* converter = factory ? factory(batch, count, onNode) : new TcvConvertor(batch, count, onNode);
  if (!converter) throw std::runtime_error("The converter class created no converter");
  return converter;
}

}  // namespace

// What the members of a started chain share. A member that has ended waits here until every
// member has ended (and Start has finished starting them) before it lets its thread free it,
// so nobody walking the chain can reach a freed member while the run lasts.
struct TcvConvertor::Chain {
  std::mutex lock;
  std::condition_variable changed;
  int pending = 0;       // members that have not finished their end
  bool starting = true;  // Start is still starting members

  // Waiters are woken only when all have ended: waking every waiting member at each end would
  // cost a chain of N members N * N wake-ups.
  void Leave(int members) {
    std::lock_guard<std::mutex> guard(lock);
    pending -= members;
    if (AllEnded()) changed.notify_all();
  }
  void FinishStarting() {
    std::lock_guard<std::mutex> guard(lock);
    starting = false;
    if (AllEnded()) changed.notify_all();
  }
  void WaitForAll() {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return AllEnded(); });
  }
  bool AllEnded() const { return pending <= 0 && !starting; }
};

void SetConverterClass(ConverterClass factory) {
  std::lock_guard<std::mutex> guard(g_factoryLock);
  g_factory = std::move(factory);
}

void SetRunningWorkers(int value) { g_runningWorkers.store(value); }
int RunningWorkers() { return g_runningWorkers.load(); }

bool WaitForRunningWorkers(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> guard(g_workersEnded.lock);
  return g_workersEnded.changed.wait_for(guard, bound, [] { return g_runningWorkers.load() <= 0; });
}

TcvConvertor* CreateConvertors(TcvBatch* batch, const std::string& target, TcvNodeEvent onNode) {
  batch->SetTargetDir(TcvBatch::NormalizePath(target));
  const core::TcvProject* project = core::cvProject();
  int count = project ? project->ThreadsCount() : 1;
  return MakeConverter(batch, count < 1 ? 1 : count, onNode);
}

TcvConvertor::TcvConvertor(TcvBatch* batch, int count, TcvNodeEvent onNode)
    : TcvWorkBase(batch, count, onNode), count_(count < 1 ? 1 : count), onNode_(std::move(onNode)) {
  if (count_ <= 1 || t_buildingChain) return;
  t_buildingChain = true;
  try {
    TcvConvertor* last = this;
    for (int rest = count_ - 1; rest >= 1; --rest) last = last->next_ = MakeConverter(batch, rest, onNode_);
  } catch (...) {
    t_buildingChain = false;
    FreeFollowingMembers();
    throw;
  }
  t_buildingChain = false;
}

TcvConvertor::~TcvConvertor() {
  if (chain_) return;  // started members free themselves
  // An unstarted chain is its creator's.
  FreeFollowingMembers();
}

void TcvConvertor::FreeFollowingMembers() {
  // Without recursing once per member.
  TcvConvertor* member = next_;
  next_ = nullptr;
  while (member) {
    TcvConvertor* following = member->next_;
    member->next_ = nullptr;
    delete member;
    member = following;
  }
}

void TcvConvertor::Start() {
  if (chain_) return;
  std::vector<TcvConvertor*> members;
  for (TcvConvertor* m = this; m; m = m->next_) members.push_back(m);
  auto chain = std::make_shared<Chain>();
  chain->pending = static_cast<int>(members.size());
  for (TcvConvertor* m : members) m->chain_ = chain;

  std::size_t started = 0;
  try {
    for (TcvConvertor* m : members) {
      m->platform::Thread::Start();
      ++started;
    }
  } catch (...) {
    int abandoned = static_cast<int>(members.size() - started);
    Batch()->LockList();
    LowerRunningWorkers(abandoned);
    Batch()->UnlockList();
    chain->Leave(abandoned);
    chain->FinishStarting();
    throw;
  }
  chain->FinishStarting();
}

void TcvConvertor::SetOnFinish(TcvEvent onFinish) {
  for (TcvConvertor* m = this; m; m = m->next_) {
    std::lock_guard<std::mutex> guard(m->finishLock_);
    m->onFinish_ = onFinish;
  }
}

void TcvConvertor::Stop() {
  // The tail first, as each member stops the one after it before itself.
  std::vector<TcvConvertor*> members;
  for (TcvConvertor* m = this; m; m = m->next_) members.push_back(m);
  for (auto it = members.rbegin(); it != members.rend(); ++it) (*it)->Terminate();
}

std::function<void()> TcvConvertor::Abandon() {
  std::vector<TcvConvertor*> members;
  for (TcvConvertor* m = this; m; m = m->next_) members.push_back(m);
  // Every member knows before any server goes, so no member mistakes the abort for a failure.
  for (TcvConvertor* m : members) m->abandoned_.store(true);
  std::vector<std::function<void()>> aborts;
  for (auto it = members.rbegin(); it != members.rend(); ++it) {
    (*it)->Terminate();
    if (auto abort = (*it)->AbortWork()) aborts.push_back(std::move(abort));
  }
  return [aborts = std::move(aborts)] {
    for (const auto& abort : aborts) abort();
  };
}

void TcvConvertor::Convert(TcvBatch&, TcvNode&) {}
std::string TcvConvertor::AdjustTargetName(const std::string& name) { return name; }
std::string TcvConvertor::GetAppFileName() { return std::string(); }
bool TcvConvertor::HasMacros() { return true; }

void TcvConvertor::PrepareNode(TcvNode& node) {
  std::string error;
  try {
    settled_ = SettleTarget(*Batch(), node);
    return;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown error";
  }
  // Settled all the same, so that the entry is never converted to an unchecked name.
  settled_ = Settled{};
  settled_.node = &node;
  settled_.failures.push_back(error);
  node.Message = error;
  node.Reason = core::reason::kOther;
  node.Status = NodeFailure;
}

void TcvConvertor::ProcessNode() {
  TcvNode& node = *Node();
  // The claim goes also when the conversion throws or the run is abandoned: an empty file must
  // not pass for its text.
  struct DropClaim {
    TcvConvertor& self;
    TcvNode& node;
    ~DropClaim() { self.DropUnusedClaim(node); }
  } dropClaim{*this, node};
  // A worker waiting for the list may still be handed an entry after the run was abandoned.
  if (Abandoned()) return;
  RecordSettledFailures(*Batch());
  sourceTarget_.clear();
  if (node.Status.load() == NodeRunning) {
    const auto started = std::chrono::steady_clock::now();
    Convert(*Batch(), node);
    node.Milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
  }
  DropUnusedClaim(node);
  // An entry in hand when the run was given up has no outcome to report.
  if ((Abandoned() || !Batch()->RunFault().empty()) && node.Status.load() == NodeRunning) return;
  if (onNode_) onNode_(*Batch(), node);
  // Once its line is written the document is finished, a stop notwithstanding: the log must
  // not say converted of a source that a run stopped a moment later left half treated. A line
  // that could not be written stops the run (RunFault), and the source stays as it was.
  if (!sourceTarget_.empty() && Batch()->RunFault().empty()) FinishSource(*Batch(), node, sourceTarget_);
}

void TcvConvertor::FailEscapedNode(TcvNode& node, const std::string& message, const std::string& reason) {
  // What escapes an abandoned conversion is the abort itself, not the document's fault.
  if (Abandoned()) return;
  TcvWorkBase::FailEscapedNode(node, message, reason);
  DropUnusedClaim(node);
  if (onNode_) onNode_(*Batch(), node);
}

void TcvConvertor::Ended() {
  try {
    ReleaseResources();
  } catch (...) {
  }
  TcvEvent onFinish;
  {
    std::lock_guard<std::mutex> guard(finishLock_);
    onFinish = onFinish_;
  }
  if (onFinish) {
    try {
      platform::RunOnMainThread(onFinish);
    } catch (...) {
    }
  }
  Batch()->LockList();
  LowerRunningWorkers(1);
  Batch()->UnlockList();
  // From here on the batch may already be gone.
  if (chain_) {
    chain_->Leave(1);
    chain_->WaitForAll();
  }
}

}  // namespace batch
