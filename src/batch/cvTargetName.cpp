// The per-entry file work of TcvConvertor: the target name with its overwrite policy, and
// what happens to the source after a success.
#include <algorithm>

#include "batch/cvConvertor.h"
#include "core/FailureReason.h"
#include "core/Globals.h"
#include "core/cvProject.h"
#include "platform/DirectorySearch.h"
#include "platform/Beneath.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"

namespace batch {

namespace {

// Far more than any folder holds; past it the entry fails rather than overwrite a file.
constexpr int kMaxFreeNameTries = 10000;

std::string Replaced(std::string text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

std::string Flattened(const std::string& text) { return Replaced(Replaced(text, ':', '_'), '/', '_'); }

// Every segment a plain name: no empty, "." or ".." segment can lead out of the target folder.
bool IsPlainRelativePath(const std::string& path) {
  if (path.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = path.find('/', start);
    std::string segment = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// The source's name below the target folder. A file under the source folder keeps its
// sub-folders; a web address becomes one flat name; any other source (a file given by hand
// from elsewhere, or one whose path climbs out with "..") keeps only its file name, so that
// no source can place its target outside the target folder.
std::string RelativeTargetName(const std::string& source, const std::string& sourceDir, bool keepSubdirs) {
  // An address given by hand is never a path below the source folder.
  if (platform::HasUrlScheme(source)) return Flattened(source.substr(source.find(':') + 1));
  if (keepSubdirs && !sourceDir.empty() && source.compare(0, sourceDir.size(), sourceDir) == 0) {
    std::string below = source.substr(sourceDir.size());
    if (IsPlainRelativePath(below)) return Replaced(below, ':', '_');
  }
  return Replaced(platform::ExtractFileName(source), ':', '_');
}

bool IsSameFile(const std::string& a, const std::string& b) {
  uint64_t deviceA = 0, inodeA = 0, deviceB = 0, inodeB = 0;
  return platform::FileIdentity(a, deviceA, inodeA) && platform::FileIdentity(b, deviceB, inodeB) &&
         deviceA == deviceB && inodeA == inodeB;
}

// The names beside an existing target, in the order they are tried: -quillex-a.txt, then
// -quillex-2-a.txt and so on.
std::string NewName(const std::string& dir, const std::string& shortName, const std::string& fileName,
                    int n) {
  return dir + "-" + shortName + "-" + (n > 1 ? std::to_string(n) + "-" : std::string()) + fileName;
}

}  // namespace

std::string PlainTargetName(const TcvBatch& batch, const std::string& source) {
  const core::TcvProject* project = core::cvProject();
  bool keepSubdirs = project ? project->KeepTargetSubdirs() : true;
  std::string targetDir = batch.TargetDir();
  if (!targetDir.empty()) targetDir = platform::IncludeTrailingPathDelimiter(targetDir);
  std::string name = targetDir + RelativeTargetName(source, batch.SourceDir(), keepSubdirs);
  std::string ext = project ? project->TargetExtension() : std::string(".txt");
  return ext.empty() ? name : platform::ChangeFileExt(name, ext);
}

bool TextIsCurrent(const std::string& source, const std::string& text) {
  platform::FileTimes sourceTimes, textTimes;
  if (!platform::GetFileTimes(source, sourceTimes) || !platform::GetFileTimes(text, textTimes)) return false;
  const timespec& s = sourceTimes.modification;
  const timespec& t = textTimes.modification;
  return t.tv_sec > s.tv_sec || (t.tv_sec == s.tv_sec && t.tv_nsec >= s.tv_nsec);
}

TcvConvertor::Settled TcvConvertor::SettleTarget(TcvBatch& batch, TcvNode& node) {
  Settled settled;
  settled.node = &node;
  // An entry the enumeration settled (a folder it could not read) only needs counting.
  if (node.Status.load() != NodeRunning) {
    if (node.Status.load() == NodeFailure) settled.failures.push_back(node.Message);
    return settled;
  }
  const core::TcvProject* project = core::cvProject();
  const std::string& source = node.FileName;
  std::string name = AdjustTargetName(PlainTargetName(batch, source));

  std::string dir = platform::ExtractFilePath(name);
  auto fail = [&](const std::string& message, const char* reason) {
    node.Message = message;
    node.Reason = reason;
    node.Status = NodeFailure;
    settled.failures.push_back(message);
    return settled;
  };
  // The entry fails here with the real reason, rather than later with whatever the word
  // processor makes of a folder that is not there.
  if (!dir.empty() && !platform::DirectoryExists(dir) && !platform::ForceDirectories(dir))
    return fail("CreateDir Failed: " + dir, core::reason::kWrite);

  auto take = [&](const std::string& target, bool claimed) {
    batch.SettleTargetLocked(target);
    settled.target = target;
    settled.claimed = claimed && platform::FileIdentity(target, settled.claimDevice, settled.claimInode);
    return settled;
  };
  // No path in the text: the row already shows it, and Errors should hold it once per run.
  if (platform::FileExists(name) && IsSameFile(source, name))
    return fail("The target file is the source file itself", core::reason::kOther);

  const core::TOverwrite policy = project ? project->IsOverwrite() : core::TOverwrite::Overwrite;
  const bool replaces = policy == core::TOverwrite::Overwrite || policy == core::TOverwrite::Newer;
  // A current text is this entry's for the rest of the run: a later entry writing over it
  // (a.docx edited, after an unchanged a.doc) would leave a.doc's text to another document.
  auto replace = [&](const std::string& target) {
    if (policy != core::TOverwrite::Newer || !TextIsCurrent(source, target)) return take(target, false);
    batch.SettleTargetLocked(target);
    node.Status = NodeSuccess;
    return settled;
  };
  const bool settledBefore = batch.TargetSettledLocked(name);
  // Overwriting is for files that were there before the run, never for another entry's text.
  if (replaces && !settledBefore) return replace(name);
  if (!settledBefore && !replaces) {
    platform::ClaimResult claim = platform::ClaimNewFile(name);
    if (claim == platform::ClaimResult::Claimed) return take(name, true);
    // Nothing there, yet it cannot be claimed (a folder that cannot be written): the
    // conversion then fails with the reason.
    if (claim == platform::ClaimResult::Failed || !platform::PathExists(name)) return take(name, false);
  }
  if (policy == core::TOverwrite::Skip) {
    node.Status = NodeSuccess;
    return settled;
  }
  const std::string shortName = project ? project->ShortName : std::string();
  const std::string fileName = platform::ExtractFileName(name);
  for (int n = 1; n <= kMaxFreeNameTries; ++n) {
    std::string candidate = NewName(dir, shortName, fileName, n);
    if (batch.TargetSettledLocked(candidate)) continue;
    // Overwriting reaches the new names too, so a repeated run replaces its own earlier texts
    // instead of adding a further name each time.
    if (replaces && !platform::DirectoryExists(candidate)) return replace(candidate);
    platform::ClaimResult claim = platform::ClaimNewFile(candidate);
    if (claim == platform::ClaimResult::Claimed) return take(candidate, true);
    if (claim == platform::ClaimResult::Failed) return take(candidate, false);
  }
  return fail("No free name is left for the text file beside " + name + " (" +
              std::to_string(kMaxFreeNameTries) + " names are taken)",
              core::reason::kWrite);
}

std::string TcvConvertor::GetTargetFileName(TcvBatch& batch, TcvNode& node) {
  // An entry not handed out through this worker (a caller of its own) is settled here.
  if (settled_.node != &node) {
    batch.LockList();
    try {
      settled_ = SettleTarget(batch, node);
    } catch (...) {
      batch.UnlockList();
      throw;
    }
    batch.UnlockList();
  }
  RecordSettledFailures(batch);
  return settled_.target;
}

void TcvConvertor::RecordSettledFailures(TcvBatch& batch) {
  std::vector<std::string> failures;
  failures.swap(settled_.failures);
  for (const auto& message : failures) batch.AddFailure(message);
}

bool TcvConvertor::TargetWritten(const std::string& target) const {
  if (!platform::FileExists(target)) return false;
  if (!settled_.claimed || target != settled_.target) return true;
  uint64_t device = 0, inode = 0;
  return !platform::FileIdentity(target, device, inode) || device != settled_.claimDevice ||
         inode != settled_.claimInode || !platform::IsEmptyFile(target);
}

void TcvConvertor::DropUnusedClaim(const TcvNode& node) {
  if (settled_.node != &node || !settled_.claimed || node.Status.load() == NodeSuccess) return;
  settled_.claimed = false;
  platform::DeleteEmptyFile(settled_.target);
}

void TcvConvertor::FinishSource(TcvBatch&, TcvNode& node, const std::string& target) {
  try {
    const std::string& source = node.FileName;
    // What lies at target may be an older text: only the entry's own success counts.
    if (node.Status.load() != NodeSuccess || !platform::FileExists(target) || IsSameFile(source, target))
      return;
    const core::TcvProject* project = core::cvProject();
    if (!project) return;
    if (project->KeepFileTime()) CopyFileTime(source, target);
    // Through the document's own folder, reached without another user's link, and only on a
    // regular file: a name swapped meanwhile for a link is left alone.
    if (project->DeleteSource()) platform::RemoveEntryTrusted(source);
    std::string suffix = project->RenameSource();
    if (!suffix.empty()) platform::RenameEntryTrusted(source, source + suffix);
  } catch (...) {
    // Follow-up work after a success never turns it into a failure.
  }
}

bool TcvConvertor::CopyFileTime(const std::string& source, const std::string& target) {
  platform::FileTimes times;
  return platform::GetFileTimes(source, times) && platform::SetFileTimes(target, times);
}

}  // namespace batch
