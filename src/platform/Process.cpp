#include "platform/Process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "platform/ChildIsolation.h"

extern char** environ;

namespace platform {
namespace {

struct SpawnResult {
  int pid = -1;
  int error = 0;  // errno of the failed fork or exec
  std::string what;
};

// Runs in the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void ExecChild(char* const* argv, char* const* envp, const ProcessOptions& options, pid_t parent,
                            int reportFd, const detail::IdMaps* isolation, const detail::TempLock* tempLock) {
  // Before the death signal is asked for: entering a user namespace changes the credentials,
  // and a later request then certainly holds. A refusal was found by the probe already; the
  // child then runs on the shared network, as the caller was told.
  if (isolation) detail::EnterPrivateNetwork(*isolation);
  // The caller relies on where the child's sockets go: a lock that fails fails the start.
  if (tempLock) {
    if (int err = detail::LockSharedTemp(*tempLock)) {
      [[maybe_unused]] ssize_t n = write(reportFd, &err, sizeof err);
      _exit(127);
    }
  }
  // Also before the death signal, which a change of credentials clears. A child that cannot
  // give up root must not run at all.
  if (options.runAsUid >= 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(options.runAsGid, options.runAsGid, options.runAsGid) != 0 ||
        setresuid(options.runAsUid, options.runAsUid, options.runAsUid) != 0) {
      int err = errno;
      [[maybe_unused]] ssize_t n = write(reportFd, &err, sizeof err);
      _exit(127);
    }
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // A new session keeps the death signal above: it is tied to the parent, not to the group.
  if (options.ownSession) setsid();
  // The parent may have ended before the request above took effect.
  if (getppid() != parent) _exit(127);
  sigset_t all;
  sigemptyset(&all);
  sigprocmask(SIG_SETMASK, &all, nullptr);
  signal(SIGPIPE, SIG_DFL);
  if (options.largestFile > 0) {
    const rlimit size{options.largestFile, options.largestFile};
    const rlimit noCore{0, 0};
    if (setrlimit(RLIMIT_FSIZE, &size) != 0 || setrlimit(RLIMIT_CORE, &noCore) != 0) {
      int err = errno;
      [[maybe_unused]] ssize_t n = write(reportFd, &err, sizeof err);
      _exit(127);
    }
  }
  int devNull = open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    dup2(devNull, 0);
    if (!options.keepOutput) {
      dup2(devNull, 1);
      dup2(devNull, 2);
    }
  }
  // Descriptors of the program (sockets, files of other jobs) must not leak into the child;
  // the report pipe is close-on-exec and survives until exec.
  for (int fd = 3; fd < 4096; ++fd) {
    if (fd != reportFd) close(fd);
  }
  execve(argv[0], argv, envp);
  int err = errno;
  [[maybe_unused]] ssize_t n = write(reportFd, &err, sizeof err);
  _exit(127);
}

std::vector<std::string> BuildEnvironment(const ProcessOptions& options) {
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    std::string name = nameOf(entry);
    bool drop = false;
    if (!options.keepOnlyEnvironment.empty()) {
      drop = true;
      for (const auto& k : options.keepOnlyEnvironment) drop = drop && k != name;
    }
    for (const auto& r : options.removeEnvironment) drop = drop || r == name;
    for (const auto& x : options.extraEnvironment) drop = drop || nameOf(x) == name;
    if (!drop) env.push_back(entry);
  }
  for (const auto& x : options.extraEnvironment) env.push_back(x);
  return env;
}

SpawnResult Spawn(const ProcessOptions& options) {
  SpawnResult result;
  if (options.argv.empty()) {
    result.what = "No program given";
    return result;
  }
  std::vector<std::string> envStrings = BuildEnvironment(options);
  std::vector<char*> argv, envp;
  for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  std::optional<detail::IdMaps> isolation;
  if (options.privateNetwork && detail::PrivateNetworkProblem().empty()) isolation = detail::PrepareIdMaps();
  std::optional<detail::TempLock> tempLock;
  if (isolation && !options.onlyWritableTemp.empty() && detail::TempLockProblem().empty()) {
    tempLock.emplace();
    if (!detail::PrepareTempLock(options.onlyWritableTemp, *tempLock)) {
      result.error = errno;
      result.what = "The shared temporary folders cannot be examined";
      return result;
    }
  }

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    result.error = errno;
    return result;
  }
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0)
    ExecChild(argv.data(), envp.data(), options, parent, report[1], isolation ? &*isolation : nullptr,
              tempLock ? &*tempLock : nullptr);
  close(report[1]);
  if (pid < 0) {
    result.error = errno;
    close(report[0]);
    return result;
  }
  int childErr = 0;
  ssize_t n;
  do {
    n = read(report[0], &childErr, sizeof childErr);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof childErr)) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.error = childErr;
    return result;
  }
  result.pid = pid;
  return result;
}

// The long-lived thread every child is forked from (see the header for why). It is never
// joined: it sleeps on its queue until the program ends.
class Spawner {
 public:
  static Spawner& Instance() {
    static Spawner* instance = new Spawner();  // never destroyed: exit must not join it
    return *instance;
  }

  SpawnResult Run(const ProcessOptions& options) {
    auto job = std::make_shared<Job>();
    job->options = &options;
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(job);
    }
    wake_.notify_one();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return job->finished; });
    return job->result;
  }

 private:
  struct Job {
    const ProcessOptions* options = nullptr;
    SpawnResult result;
    bool finished = false;
  };

  Spawner() {
    std::thread([this] { Loop(); }).detach();
  }

  void Loop() {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return !queue_.empty(); });
        job = queue_.front();
        queue_.pop_front();
      }
      SpawnResult r = Spawn(*job->options);
      {
        std::lock_guard lock(mutex_);
        job->result = std::move(r);
        job->finished = true;
      }
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<std::shared_ptr<Job>> queue_;
};

// Every Process object alive, for KillStartedProcesses. Taken before a Process's own lock.
std::mutex g_liveLock;
std::set<Process*> g_live;
bool g_killingAll = false;

ProcessExit Decode(int status) {
  ProcessExit e;
  if (WIFSIGNALED(status)) {
    e.signaled = true;
    e.code = WTERMSIG(status);
  } else {
    e.code = WEXITSTATUS(status);
  }
  return e;
}

}  // namespace

std::string Describe(const ProcessExit& exit) {
  if (!exit.signaled) return "exit status " + std::to_string(exit.code);
  const char* name = sigabbrev_np(exit.code);
  return "signal " + std::to_string(exit.code) + (name ? std::string(" (SIG") + name + ")" : std::string());
}

std::unique_ptr<Process> Process::Start(const ProcessOptions& options) {
  SpawnResult r = Spawner::Instance().Run(options);
  if (r.pid < 0) {
    std::string program = options.argv.empty() ? std::string() : options.argv[0];
    std::string reason = r.what.empty() ? std::strerror(r.error) : r.what;
    throw EProcessError("Cannot start " + program + ": " + reason);
  }
  std::unique_ptr<Process> process(new Process(r.pid));
  {
    std::lock_guard lock(g_liveLock);
    if (!g_killingAll) {
      g_live.insert(process.get());
      return process;
    }
  }
  // Registered only while no kill of all is under way, so that no child started meanwhile
  // (an office restarting after its first-start pass, say) escapes it.
  process.reset();
  std::string program = options.argv.empty() ? std::string() : options.argv[0];
  throw EProcessError("Cannot start " + program + ": the program is ending");
}

Process::~Process() {
  {
    std::lock_guard lock(g_liveLock);
    g_live.erase(this);
  }
  KillAndReap();
}

void KillStartedProcesses() {
  std::lock_guard lock(g_liveLock);
  g_killingAll = true;
  for (Process* process : g_live) process->Kill();
}

bool Process::PollLocked() {
  if (exit_) return false;
  int status;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    exit_ = Decode(status);
    return false;
  }
  if (r < 0 && errno == ECHILD) {
    // Someone else reaped it (a SIGCHLD handler set to ignore): it has ended all the same.
    exit_ = ProcessExit{true, SIGKILL};
    return false;
  }
  return true;
}

bool Process::IsRunning() {
  std::lock_guard lock(mutex_);
  return PollLocked();
}

std::optional<ProcessExit> Process::WaitFor(std::chrono::milliseconds timeout) {
  // Polling keeps Kill safe from any thread: a blocking waitpid could reap the pid while
  // another thread is about to signal it.
  auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!PollLocked()) return exit_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

void Process::Kill() {
  std::lock_guard lock(mutex_);
  if (PollLocked()) kill(pid_, SIGKILL);
}

void Process::KillAndReap() {
  Kill();
  if (WaitFor(std::chrono::seconds(10))) return;
  // A process in uninterruptible sleep can outlive SIGKILL for a while; reaping it then
  // must not be skipped, or it stays a zombie for the program's life.
  std::lock_guard lock(mutex_);
  if (!exit_) {
    int status;
    if (waitpid(pid_, &status, 0) == pid_) exit_ = Decode(status);
  }
}

std::optional<ProcessExit> Process::Exit() {
  std::lock_guard lock(mutex_);
  PollLocked();
  return exit_;
}

std::string PrivateNetworkProblem() { return detail::PrivateNetworkProblem(); }

std::string TempLockProblem() { return detail::TempLockProblem(); }

int CurrentUserId() { return static_cast<int>(getuid()); }

bool ProcessExists(int pid) {
  if (pid <= 0) return false;
  if (kill(pid, 0) != 0 && errno != EPERM) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  auto close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

}  // namespace platform
