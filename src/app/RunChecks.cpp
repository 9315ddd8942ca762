#include "app/RunChecks.h"

#include <exception>

#include "batch/SourceCheck.h"
#include "batch/cvBatch.h"
#include "batch/cvMatch.h"
#include "core/cvProject.h"

namespace app {

std::string WorkersBeyondCpus(int workers, int cpus) {
  if (workers < 1) workers = 1;
  if (workers <= cpus) return std::string();
  return std::to_string(workers) + " workers run on " + std::to_string(cpus) +
         (cpus == 1 ? " CPU" : " CPUs") + "; each is a LibreOffice of about " + std::to_string(kWorkerMiB) +
         " MiB (" + std::to_string(static_cast<long long>(workers) * kWorkerMiB) + " MiB in all)";
}

std::string WhyRunCannotStart(const core::TcvProject& project) {
  if (project.Target().empty()) return "no target folder is set (Target)";
  std::string regExt = project.Value("RegExt");
  std::string patternError = batch::RegExtError(regExt);
  if (!patternError.empty()) return "the RegExt pattern " + regExt + " cannot be used: " + patternError;
  std::string source;
  try {
    source = batch::TcvBatch::NormalizePath(project.Source());
  } catch (const std::exception& e) {
    return "the source " + project.Source() + " cannot be read: " + e.what();
  }
  if (source.empty()) return "no source is set (Source)";
  return batch::WhySourceCannotBeRead(source);
}

}  // namespace app
