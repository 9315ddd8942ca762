#pragma once
// Child processes: start a program with an argument vector (never through a shell), wait for
// it with a timeout, kill it, and always reap it. Used by the automation layer to run one
// private office per server.
//
// Every child is forked by one long-lived helper thread and asks the kernel to SIGKILL it when
// that thread's process goes away (PR_SET_PDEATHSIG). Linux sends that signal when the *thread*
// that forked ends, so forking from a short-lived worker thread would kill a server still in
// use; the helper thread lives as long as the program.
//
// A Process object belongs to whoever started it, but Kill, IsRunning and WaitFor may be called
// from any thread at the same time: the pid is never signalled after it has been reaped, so a
// recycled pid is never hit. The destructor kills and reaps a child that is still running.
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

class EProcessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ProcessOptions {
  // argv[0] is the program path, run as it stands (no PATH search).
  std::vector<std::string> argv;
  // "NAME=VALUE" entries added to (or replacing those of) the current environment.
  std::vector<std::string> extraEnvironment;
  // Names removed from the child's environment.
  std::vector<std::string> removeEnvironment;
  // Standard input reads /dev/null; output and error go to /dev/null unless kept.
  bool keepOutput = false;
  // The child leads a session of its own, so that signals a terminal sends to the foreground
  // process group (Ctrl-C and the like) never reach it; it still dies with this process.
  bool ownSession = false;
  // The child runs in a network namespace of its own, with no interface but a loopback that
  // is down: it reaches no host, not even this one, except through sockets in the file system.
  // Where the system refuses one (PrivateNetworkProblem), the child runs on the shared network.
  bool privateNetwork = false;
  // With privateNetwork: /tmp and /var/tmp are read-only for the child, in a mount namespace of
  // its own, and this folder alone stays writable (a program that puts its sockets in the
  // first writable shared folder puts them where it is told instead). Empty, or where the
  // system refuses it (TempLockProblem): the folders as they are.
  std::string onlyWritableTemp;
  // The child runs as this account (uid and gid, no supplementary groups), switched to after
  // its private network is entered; -1: as this process. Needs root.
  int runAsUid = -1;
  int runAsGid = -1;
  // When not empty, the child's environment holds only these variables (and extraEnvironment):
  // nothing else of this process's environment, secrets included, reaches it.
  std::vector<std::string> keepOnlyEnvironment;
  // The largest file the child may write, in bytes (RLIMIT_FSIZE: the write that would pass it
  // fails, and the child gets SIGXFSZ); 0: no limit. With a limit the child dumps no core:
  // a program stopped there may abort, and its core could be as large as its memory.
  unsigned long long largestFile = 0;
};

// How a child ended.
struct ProcessExit {
  bool signaled = false;  // true: ended by signal `code`; false: exited with status `code`
  int code = 0;
};

// "signal 9 (SIGKILL)" or "exit status 1", for messages.
std::string Describe(const ProcessExit& exit);

class Process {
 public:
  // Starts the child. Throws EProcessError with the reason when it cannot be started (the
  // program missing or not executable included: the exec failure is reported, not hidden).
  static std::unique_ptr<Process> Start(const ProcessOptions& options);

  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  int Pid() const { return pid_; }
  // False once the child has ended (and then it has been reaped).
  bool IsRunning();
  // Waits until the child ends or the timeout passes; the exit when it ended.
  std::optional<ProcessExit> WaitFor(std::chrono::milliseconds timeout);
  // SIGKILL, when still running; returns at once. Idempotent.
  void Kill();
  // Kill, then wait for the end (bounded; a killed process ends within milliseconds).
  void KillAndReap();
  // The exit once known.
  std::optional<ProcessExit> Exit();

 private:
  explicit Process(int pid) : pid_(pid) {}
  // Reaps without blocking; caller holds mutex_.
  bool PollLocked();

  const int pid_;
  std::mutex mutex_;
  std::optional<ProcessExit> exit_;
};

// For a program that gives up all its work at once: kills every child started through Process
// that still runs (also one whose owner is still waiting for it to come up), and from now on
// Start kills a new child at once and throws EProcessError. Any thread; returns at once (the
// owners reap their children as usual).
void KillStartedProcesses();

// Why children cannot be given a private network here, as a phrase ("the system refused a
// network namespace (Operation not permitted)"); empty when they can. Probed once; any thread.
std::string PrivateNetworkProblem();
// Whether ProcessOptions::onlyWritableTemp can be honoured here: empty when it can, else why not.
std::string TempLockProblem();

// The real user id of this program (names of per-user files such as the office's pipes).
int CurrentUserId();

// True when a process with this pid exists (and is not a zombie of ours already reaped).
bool ProcessExists(int pid);

}  // namespace platform
