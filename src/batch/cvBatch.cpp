#include "batch/cvBatch.h"

#include "core/FailureReason.h"

#include "batch/cvMatch.h"
#include "core/Globals.h"
#include "core/SettingsList.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace batch {

namespace {

std::atomic<bool> g_skipLockFiles{false};

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
}

}  // namespace

std::string MaskToRegex(const std::string& mask) {
  // The order matters: the dots brought in by "*" and "?" must stay unescaped.
  static const std::pair<const char*, const char*> kSteps[] = {
      {".", "\\."}, {"*", ".*"},  {"?", ".?"},  {"+", "\\+"}, {"^", "\\^"}, {"$", "\\$"},
      {"(", "\\("}, {")", "\\)"}, {"[", "\\["}, {"]", "\\]"}, {"{", "\\{"}, {"}", "\\}"},
  };
  std::string result = mask;
  for (const auto& [from, to] : kSteps) ReplaceAll(result, from, to);
  return result + "$";
}

namespace {

// Documents whose texts would take one name (a.doc and a.docx; with a flat target, x.doc in two
// folders) share a shard: only within one run does the name settled for one keep the other from
// overwriting it.
std::string ShardKey(const std::string& relativePath, bool keepSubdirs) {
  return platform::ChangeFileExt(keepSubdirs ? relativePath : platform::ExtractFileName(relativePath), "");
}

}  // namespace

int ShardOf(const std::string& key, int count) {
  if (count < 1) return 0;
  // FNV-1a 64 of the key's bytes, then MurmurHash3's 64-bit finaliser: both fixed by their
  // definitions, so every node, build and version of the program computes the same shard. FNV
  // alone spreads similar names badly: its last bytes barely reach the high bits, and its bit 0
  // is the parity of the bytes' low bits.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdull;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53ull;
  hash ^= hash >> 33;
  return static_cast<int>(hash % static_cast<uint64_t>(count)) + 1;
}

void SetSkipLockFiles(bool on) { g_skipLockFiles.store(on); }
bool SkipLockFiles() { return g_skipLockFiles.load(); }

// ---- TcvBatch ------------------------------------------------------------------------------

TcvBatch::TcvBatch() : platform::Thread(false) {}

TcvBatch::~TcvBatch() {
  Terminate();
  WaitFor();
  // A worker lowers RunningWorkers while it holds the list lock, and a front end that sees the
  // count reach 0 may free the batch at once; taking the lock here waits until that worker
  // has let go of it, so the mutex is never destroyed under its feet.
  std::lock_guard<std::mutex> guard(listLock_);
}

std::string TcvBatch::NormalizePath(const std::string& path) { return platform::FileUrlToPath(path); }

void TcvBatch::Start(const std::string& source, const std::string& target, bool recursive) {
  std::string src = NormalizePath(source);
  std::string tgt = NormalizePath(target);
  SetTargetDir(tgt);
  platform::ForceDirectoriesOrThrow(tgt);
  std::string mask = platform::ExtractFileName(src), sourceDir = platform::ExtractFilePath(src);
  bool namedFile = false;
  // A folder written with its final "/" (as shells complete it) is that folder too: read as an
  // empty mask it would match nothing, and the run would end successfully having done nothing.
  const bool folder = mask.empty() ? !sourceDir.empty() && platform::DirectoryExists(sourceDir)
                                   : platform::DirectoryExists(src);
  if (folder) {
    const core::TcvProject* project = core::cvProject();
    mask = project && !project->SourceMask.empty() ? project->SourceMask : std::string("*.doc?");
    sourceDir = platform::IncludeTrailingPathDelimiter(src);
  } else if (!mask.empty() && platform::FileExists(src)) {
    // Read as a mask, a name holding "\", "|" or "[" no longer matches itself, and one holding
    // "*" or "?" matches its neighbours too: the document the user named would be skipped
    // without a word, or others converted in its place.
    namedFile = true;
  }
  {
    std::lock_guard<std::mutex> guard(fieldsLock_);
    mask_ = mask;
    sourceDir_ = sourceDir;
    recursive_ = recursive;
    namedFile_ = namedFile;
  }
  if (!done_.load() && !Started()) platform::Thread::Start();
}

bool TcvBatch::Accepts(const std::string& fileName) const {
  TcvMatchBase* match = cvMatch();
  if (!match) return true;
  std::string mask, regExt;
  bool namedFile = false;
  {
    std::lock_guard<std::mutex> guard(fieldsLock_);
    mask = mask_;
    regExt = regExt_;
    namedFile = namedFile_;
  }
  bool result = namedFile || match->Matches(fileName, MaskToRegex(mask));
  if (result && !regExt.empty()) result = match->Matches(fileName, regExt);
  return result;
}

TcvNode& TcvBatch::Append(std::unique_ptr<TcvNode> entry) {
  TcvNode* node = entry.get();
  {
    std::lock_guard<std::mutex> guard(listLock_);
    entry->Index = static_cast<int32_t>(nodes_.size());
    nodes_.push_back(std::move(entry));
  }
  platform::Sleep(0);
  if (onNode_) onNode_(*this, *node);
  return *node;
}

bool TcvBatch::InShard(const std::string& fileName) const {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  if (shardCount_ == 1) return true;
  if (shardCount_ < 1) return false;
  bool below = fileName.compare(0, sourceDir_.size(), sourceDir_) == 0;
  std::string key = ShardKey(below ? fileName.substr(sourceDir_.size()) : fileName, shardKeepsSubdirs_);
  return shardIndex_ == ShardOf(key, shardCount_);
}

void TcvBatch::AddFile(const std::string& fileName) {
  if (!Accepts(fileName) || !InShard(fileName)) return;
  auto entry = std::make_unique<TcvNode>();
  entry->FileName = fileName;
  Append(std::move(entry));
}

void TcvBatch::AddFailedFile(const std::string& fileName, const std::string& message,
                             const std::string& reason) {
  if (!InShard(fileName)) return;  // one shard reports it, not every one
  // The worker that takes it counts the failure, so the counters match what was reported.
  auto entry = std::make_unique<TcvNode>();
  entry->FileName = fileName;
  entry->Message = message;
  entry->Reason = reason;
  entry->Status = NodeFailure;
  Append(std::move(entry));
}

void TcvBatch::AddLastFile(const std::string& fileName) {
  // The list completes even when the filter or OnNode throws, or waiting workers never end.
  struct Complete {
    std::atomic<bool>& done;
    ~Complete() { done.store(true); }
  } complete{done_};
  AddFile(fileName);
}

int TcvBatch::Count() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return static_cast<int>(nodes_.size());
}

TcvNode* TcvBatch::NextNode() { return NextNode(nullptr); }

TcvNode* TcvBatch::NextNode(const std::function<void(TcvNode&)>& prepare) {
  for (;;) {
    // Done is read before the list is looked at: the producer sets it only after its last
    // append, so a list found empty after seeing Done is truly exhausted. Reading it after
    // the look could miss an entry appended just before the list completed.
    bool complete = done_.load();
    {
      std::lock_guard<std::mutex> guard(listLock_);
      if (nextIndex_ < static_cast<int>(nodes_.size())) {
        TcvNode* node = nodes_[nextIndex_++].get();
        if (prepare) prepare(*node);
        return node;
      }
    }
    ListFoundEmpty();
    if (complete) {
      drained_.store(true);
      return nullptr;
    }
    platform::Sleep(1);
  }
}

void TcvBatch::AddSuccess() {
  std::lock_guard<std::mutex> guard(listLock_);
  ++successCount_;
}

void TcvBatch::AddFailure(const std::string& message) {
  std::lock_guard<std::mutex> guard(listLock_);
  ++failedCount_;
  for (const auto& known : errors_)
    if (core::SameText(known, message)) return;
  errors_.push_back(message);
}

const TcvNodeList& TcvBatch::LockList() {
  listLock_.lock();
  return nodes_;
}

void TcvBatch::UnlockList() { listLock_.unlock(); }

int TcvBatch::NextIndex() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return nextIndex_;
}

bool TcvBatch::GiveUpRun(const std::string& cause) {
  std::lock_guard<std::mutex> guard(listLock_);
  if (successCount_ > 0) return false;
  if (runFault_.empty())
    runFault_ = (cause.empty() ? std::string("Unknown error") : cause) + "; the run was given up before converting anything";
  return true;
}

void TcvBatch::StopRun(const std::string& line) {
  std::lock_guard<std::mutex> guard(listLock_);
  if (runFault_.empty()) runFault_ = line;
}

std::string TcvBatch::RunFault() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return runFault_;
}

int TcvBatch::SuccessCount() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return successCount_;
}

int TcvBatch::FailedCount() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return failedCount_;
}

TcvCounts TcvBatch::Counts() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return TcvCounts{static_cast<int>(nodes_.size()), successCount_, failedCount_};
}

std::vector<std::string> TcvBatch::Errors() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return errors_;
}

bool TcvBatch::Recursive() const {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  return recursive_;
}

bool TcvBatch::SkipHidden() const {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  return skipHidden_;
}

std::string TcvBatch::Mask() const {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  return mask_;
}

std::string TcvBatch::RegExt() const {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  return regExt_;
}

std::string TcvBatch::SourceDir() const {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  return sourceDir_;
}

std::string TcvBatch::TargetDir() const {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  return targetDir_;
}

void TcvBatch::SetTargetDir(const std::string& targetDir) {
  std::lock_guard<std::mutex> guard(fieldsLock_);
  targetDir_ = targetDir;
}

// ---- TcvWorkBase ---------------------------------------------------------------------------

TcvWorkBase::TcvWorkBase(TcvBatch* batch, int, TcvNodeEvent) : platform::Thread(true), batch_(batch) {}

void TcvWorkBase::FailEscapedNode(TcvNode& node, const std::string& message, const std::string& reason) {
  node.Message = message;
  node.Reason = reason;
  node.Status = NodeFailure;
  batch_->AddFailure(message);
}

void TcvWorkBase::Execute() {
  try {
    while (!Terminated() && batch_->RunFault().empty()) {
      node_ = batch_->NextNode([this](TcvNode& node) { PrepareNode(node); });
      if (!node_) {
        Terminate();
        break;
      }
      std::string escaped;
      std::string reason = core::reason::kOther;
      bool failed = false;
      try {
        ProcessNode();
      } catch (const std::exception& e) {
        failed = true;
        escaped = e.what();
        reason = core::ReasonOf(e);
      } catch (...) {
        failed = true;
        escaped = "Unknown error";
      }
      // An entry the conversion already settled (its OnNode threw, say) keeps its outcome:
      // failing it again would count it twice.
      if (failed && node_->Status.load() == NodeRunning) {
        try {
          FailEscapedNode(*node_, escaped, reason);
        } catch (...) {
        }
      }
      node_ = nullptr;
    }
  } catch (...) {
    // NextNode itself failed (out of memory): end this worker rather than spin.
  }
  Ended();
}

}  // namespace batch
