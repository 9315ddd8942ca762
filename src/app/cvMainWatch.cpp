// The watch of TcvMain: after the first pass, rounds over what was written or moved into the
// source tree, each an ordinary run of its own (its own workers and offices, which end with it,
// so an idle watch holds no office however long it runs).
#include <chrono>
#include <map>

#include "app/ProgressLine.h"
#include "app/WatchMemory.h"
#include "app/cvMain.h"
#include "batch/cvBatch.h"
#include "batch/cvConvertor.h"
#include "platform/DirectorySearch.h"
#include "platform/FileSystem.h"
#include "platform/FileWatch.h"
#include "platform/Paths.h"
#include "platform/Signals.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;
using Change = platform::FileWatch::Change;
using ChangeKind = platform::FileWatch::ChangeKind;

// A copy that pauses longer than this between two writes is converted half-done; one that
// closes its file at the end never is.
constexpr auto kQuiet = std::chrono::milliseconds(1000);
// How often a stop signal is looked for while nothing happens.
constexpr int kWaitMs = 200;
// While folders go unwatched (the system's limit), how often the whole tree is compared.
constexpr auto kRescanEvery = std::chrono::seconds(60);
// How often the memory of handled documents lets go of those no longer there.
constexpr auto kForgetEvery = std::chrono::minutes(10);

// The paths reported and not yet converted. A path is due once it was closed after writing,
// moved in or made (a folder), and nothing more was reported of it for kQuiet; one written to
// and not closed since waits for its close. A close with no write before it changed nothing:
// the office opens the documents it reads for writing, and would otherwise feed the watch
// each document it converts, for ever.
class QuietPaths {
 public:
  void Note(const Change& change, Clock::time_point now) {
    if (change.kind == ChangeKind::Closed && !Holds(change.path)) return;
    const bool writing = Holds(change.path) && !entries_[change.path].closed;
    Entry& entry = entries_[change.path];
    entry.last = now;
    // A touch says nothing of a file still being written: it waits for its close all the same.
    entry.closed = change.kind == ChangeKind::Touched ? !writing : change.kind != ChangeKind::Writing;
  }
  std::vector<std::string> TakeDue(Clock::time_point now) {
    std::vector<std::string> due;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->second.closed && now - it->second.last >= kQuiet) {
        due.push_back(it->first);
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
    return due;
  }
  bool Holds(const std::string& path) const { return entries_.count(path) > 0; }

 private:
  struct Entry {
    Clock::time_point last;
    bool closed = false;
  };
  std::map<std::string, Entry> entries_;
};

bool SameFolder(const std::string& a, uint64_t device, uint64_t inode) {
  uint64_t d = 0, i = 0;
  return platform::FileIdentity(a, d, i) && d == device && i == inode;
}

// The folder the batch walks for this source: the source itself when it names a folder.
std::string SourceFolder(const std::string& source) {
  std::string path = platform::FileUrlToPath(source);
  return platform::DirectoryExists(path) ? platform::IncludeTrailingPathDelimiter(path)
                                         : platform::ExtractFilePath(path);
}

}  // namespace

std::unique_ptr<platform::FileWatch> TcvMain::StartWatch() const {
  const std::string folder = SourceFolder(source_);
  if (folder.empty() || platform::IsWebAddress(source_))
    throw platform::EFileError("Watch needs a source folder on this machine, not " + source_);
  // The texts must not feed the watch that wrote them (a target inside the source tree).
  uint64_t device = 0, inode = 0;
  const bool identified = platform::FileIdentity(target_, device, inode);
  auto watch = std::make_unique<platform::FileWatch>(
      subdir_, [=](const std::string& child) { return identified && SameFolder(child, device, inode); });
  watch->Add(folder);
  return watch;
}

void TcvMain::KeepWatching(platform::FileWatch& watch) {
  const std::string folder = SourceFolder(source_);
  QuietPaths pending;
  bool overflowSaid = false, refusalSaid = false, rescan = false;
  auto nextRescan = Clock::time_point::max();
  auto nextForget = Clock::now() + kForgetEvery;
  while (!platform::StopRequested()) {
    for (const auto& change : watch.Wait(kWaitMs)) {
      if (change.kind != ChangeKind::Overflow) {
        pending.Note(change, Clock::now());
        continue;
      }
      if (!overflowSaid)
        ProgressLine::Say("the system dropped reports of changes in " + folder +
                          "; the documents are compared with their texts instead");
      overflowSaid = rescan = true;
    }
    const auto now = Clock::now();
    if (!watch.Refusal().empty()) {
      if (!refusalSaid)
        ProgressLine::Say("not every folder of " + folder + " can be watched: " + watch.Refusal() +
                          "; the documents are compared with their texts every minute");
      refusalSaid = true;
      if (nextRescan == Clock::time_point::max()) nextRescan = now + kRescanEvery;
    }
    if (now >= nextRescan) {
      rescan = true;
      nextRescan = Clock::time_point::max();
      watch.Add(folder);  // the limit may have been raised, or folders gone
    }
    if (now >= nextForget) {
      watched_->ForgetGone();
      nextForget = now + kForgetEvery;
    }
    std::vector<std::string> due = pending.TakeDue(now);
    for (auto& path : watched_->DueRetries(now))
      if (!pending.Holds(path)) due.push_back(std::move(path));
    // Each change once: a document the kernel reported twice, or that the round before took
    // already, is left as it is.
    auto changed = [this](const std::string& path) { return watched_->Admit(path, Clock::now()); };
    if (!due.empty()) RunRound(std::move(due), changed);
    if (rescan && !platform::StopRequested()) {
      rescan = false;
      // What the lost reports would have brought: documents without a current text. Those
      // still being written wait for their own report.
      RunRound({}, [this, &pending, &changed](const std::string& path) {
        return !pending.Holds(path) && !batch::TextIsCurrent(path, batch::PlainTargetName(*batch_, path)) &&
               changed(path);
      });
    }
    ShowProgress();
  }
}

}  // namespace app
