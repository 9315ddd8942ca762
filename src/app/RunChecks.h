#pragma once
// What keeps a headless run from being carried out at all, found before anything is created
// or converted, in words for the person who started it. Main thread.
#include <string>
#include <vector>

namespace core {
class TcvProject;
}

namespace app {

// Empty when the project can run; otherwise one sentence saying why it cannot: no target, a
// RegExt that does not compile, no source, a source folder that is missing, a file, or
// unreadable, or a named document that does not exist. Touches nothing on disk.
std::string WhyRunCannotStart(const core::TcvProject& project);

// Empty unless the texts go to standard output (Target "-") with a setting that needs a text
// file or standard output of its own: DeleteSource, RenameSource, KeepFileTime, LogFile. Then
// one sentence naming the setting.
std::string WhyFilterCannotRun(const core::TcvProject& project);

// With Format=Markdown, one sentence for each set setting that means nothing there (PageBreaks,
// an encoding other than UTF-8): the run goes on without it.
std::vector<std::string> IgnoredByMarkdown(const core::TcvProject& project);

// What a LibreOffice of one worker takes, measured on long runs: the figure a user needs to see
// what more workers than processors will cost.
constexpr int kWorkerMiB = 120;
// Empty when workers (ThreadsCount, below 1 read as 1) do not outnumber cpus; otherwise one
// sentence with both numbers and the memory they take. The run still starts them all: a user
// may mean it (documents that wait on slow storage).
std::string WorkersBeyondCpus(int workers, int cpus);

}  // namespace app
