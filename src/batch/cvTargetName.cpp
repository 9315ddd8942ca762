// The per-entry file work of TcvConvertor: the target name with its overwrite policy, and
// what happens to the source after a success.
#include "batch/cvConvertor.h"

#include <algorithm>

#include "core/Globals.h"
#include "core/cvProject.h"
#include "platform/DirectorySearch.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"

namespace batch {

namespace {

// Far more than any folder holds; past it the plain new name is used, as before free names.
constexpr int kMaxFreeNameTries = 10000;

std::string Replaced(std::string text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

std::string Flattened(const std::string& text) { return Replaced(Replaced(text, ':', '_'), '/', '_'); }

// "scheme://...": an address given by hand, never a path below the source folder.
bool IsWebAddress(const std::string& text) {
  std::size_t colon = text.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    char c = text[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return false;
  }
  return true;
}

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
  if (IsWebAddress(source)) return Flattened(source.substr(source.find(':') + 1));
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

// Beside an existing target: -quillex-a.txt, or when that is taken too -quillex-2-a.txt and
// so on, so that the new name never overwrites an older file.
std::string FreeName(const std::string& dir, const std::string& shortName, const std::string& fileName) {
  std::string first = dir + "-" + shortName + "-" + fileName;
  if (!platform::PathExists(first)) return first;
  for (int n = 2; n <= kMaxFreeNameTries; ++n) {
    std::string candidate = dir + "-" + shortName + "-" + std::to_string(n) + "-" + fileName;
    if (!platform::PathExists(candidate)) return candidate;
  }
  return first;
}

}  // namespace

std::string TcvConvertor::GetTargetFileName(TcvBatch& batch, TcvNode& node) {
  const core::TcvProject* project = core::cvProject();
  const std::string& source = node.FileName;
  bool keepSubdirs = project ? project->KeepTargetSubdirs() : true;

  std::string targetDir = batch.TargetDir();
  if (!targetDir.empty()) targetDir = platform::IncludeTrailingPathDelimiter(targetDir);
  std::string name = targetDir + RelativeTargetName(source, batch.SourceDir(), keepSubdirs);

  std::string ext = project ? project->TargetExt : std::string(".txt");
  if (!ext.empty()) name = platform::ChangeFileExt(name, ext);
  name = AdjustTargetName(name);

  std::string dir = platform::ExtractFilePath(name);
  if (!dir.empty() && !platform::DirectoryExists(dir) && !platform::ForceDirectories(dir)) {
    // The entry fails here with the real reason, rather than later with whatever the word
    // processor makes of a folder that is not there.
    const std::string message = "CreateDir Failed: " + dir;
    node.Message = message;
    node.Status = NodeFailure;
    batch.AddFailure(message);
    return std::string();
  }

  if (!platform::FileExists(name)) return name;
  if (IsSameFile(source, name)) {
    // No path in the text: the row already shows it, and Errors should hold it once per run.
    const std::string message = "The target file is the source file itself";
    node.Message = message;
    node.Status = NodeFailure;
    batch.AddFailure(message);
    return std::string();
  }
  switch (project ? project->IsOverwrite() : core::TOverwrite::Overwrite) {
    case core::TOverwrite::Skip:
      node.Status = NodeSuccess;
      return std::string();
    case core::TOverwrite::NewName:
      return FreeName(dir, project ? project->ShortName : std::string(), platform::ExtractFileName(name));
    case core::TOverwrite::Overwrite:
      break;
  }
  return name;
}

void TcvConvertor::FinishSource(TcvBatch&, TcvNode& node, const std::string& target) {
  try {
    const std::string& source = node.FileName;
    if (!platform::FileExists(target) || IsSameFile(source, target)) return;
    const core::TcvProject* project = core::cvProject();
    if (!project) return;
    if (project->KeepFileTime()) CopyFileTime(source, target);
    if (project->DeleteSource()) platform::DeleteFile(source);
    std::string suffix = project->RenameSource();
    if (!suffix.empty() && platform::FileExists(source)) {
      std::string renamed = source + suffix;
      if (!platform::PathExists(renamed)) platform::RenameFile(source, renamed);
    }
  } catch (...) {
    // Follow-up work after a success never turns it into a failure.
  }
}

bool TcvConvertor::CopyFileTime(const std::string& source, const std::string& target) {
  platform::FileTimes times;
  return platform::GetFileTimes(source, times) && platform::SetFileTimes(target, times);
}

}  // namespace batch
