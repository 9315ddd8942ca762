#include "batch/SourceCheck.h"

#include "platform/DirectorySearch.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace batch {

namespace {

bool HasWildcards(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

}  // namespace

std::string WhySourceCannotBeRead(const std::string& source) {
  std::string name = platform::ExtractFileName(source);
  // A name without wildcards is one document; a folder named that way is the batch's to
  // expand, and passes here.
  if (!name.empty() && !HasWildcards(name)) {
    if (platform::PathExists(source)) return std::string();
    return "the source document " + source + " does not exist";
  }
  std::string folder = platform::ExtractFilePath(source);
  if (folder.empty()) folder = "./";
  std::string bare = folder == "/" ? folder : platform::ExcludeTrailingPathDelimiter(folder);
  if (platform::FileExists(bare)) return "the source folder " + folder + " is a file, not a folder";
  if (!platform::DirectoryExists(bare)) return "the source folder " + folder + " does not exist";
  std::string error = platform::FolderListError(folder);
  if (!error.empty()) return "the source folder " + folder + " cannot be read (" + error + ")";
  return std::string();
}

}  // namespace batch
