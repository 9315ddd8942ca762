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

std::string WhyFilterCannotRun(const core::TcvProject& project) {
  // A watch never ends, and a pipe on either side waits for an end.
  if (project.Watch() && (project.TargetIsStdout() || project.SourceIsStdin()))
    return "Watch cannot be used with standard input or output as source or target (-)";
  if (!project.TargetIsStdout()) return std::string();
  // A source deleted or renamed for a text that a closed pipe may never have delivered would
  // be lost; file times need a file; the log would be mixed into the texts.
  const char* setting = project.DeleteSource()            ? "DeleteSource"
                        : !project.RenameSource().empty() ? "RenameSource"
                        : project.KeepFileTime()          ? "KeepFileTime"
                        : !project.LogFile().empty()      ? "LogFile"
                                                          : nullptr;
  if (!setting) return std::string();
  if (project.LogFile() == "-" && std::string(setting) == "LogFile")
    return "the log and the texts cannot both go to standard output (--log - with -o -)";
  return std::string(setting) + " cannot be used when the texts go to standard output (-o -)";
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

std::vector<std::string> IgnoredByMarkdown(const core::TcvProject& project) {
  std::vector<std::string> said;
  if (project.Format() != core::TFormat::Markdown) return said;
  if (project.Bool("PageBreaks", false)) said.push_back("PageBreaks has no meaning in Markdown; it is ignored");
  const std::string encoding = project.Value("Encoding");
  if ((!encoding.empty() || project.Bool("Ansi", false)) && project.TextEncoding() != core::TEncoding::Utf8)
    said.push_back("Markdown is always UTF-8; " + (encoding.empty() ? std::string("Ansi") : "Encoding=" + encoding) +
                   " is ignored");
  return said;
}

}  // namespace app
