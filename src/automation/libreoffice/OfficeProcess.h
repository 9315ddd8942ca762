#pragma once
// One private headless office process: its own profile folder and its own pipe name, so that
// any number of them run side by side without touching the user's own office. Owned by one
// server (WriterServer); Kill and IsRunning may be called from any thread, the rest from the
// owner's thread. The destructor kills the office if it still runs and removes the profile.
//
// Starting is the expensive part of a server, so a new profile is seeded (ProfileSeed.h) and
// prepared once per program run (the office's first-start pass, which ends with exit status 81),
// then copied for every later office; the template is removed when the program ends.
//
// An office that ends abnormally (killed, crashed, stopped at a time limit) leaves its pipe
// sockets in the system's temporary folder. Their names follow from the pipe name and the
// profile, so the destructor removes exactly this office's sockets and never another's.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/Process.h"

namespace automation::lo {

// The largest file an office may write; the kernel stops it there. Some documents make the
// text export run on forever, writing gigabytes a minute into the office's private folder
// (a tmpfs /tmp holds them in memory) until the time limit; no text this large is read back.
inline constexpr unsigned long long kLargestOfficeFile = 1ULL << 30;

class OfficeProcess {
 public:
  // Starts soffice.bin; the connection is the caller's business (it retries until the office
  // listens, and calls Restart when the office ends on its own during start-up). Throws
  // EOleError when the office cannot be started.
  OfficeProcess();
  ~OfficeProcess();
  OfficeProcess(const OfficeProcess&) = delete;
  OfficeProcess& operator=(const OfficeProcess&) = delete;

  // The UNO connect string of the office's pipe ("pipe,name=...").
  std::string ConnectString() const { return "pipe,name=" + pipeName_; }
  // The office binary, as messages name it.
  static std::string ProgramPath();
  int Pid() const { return process_->Pid(); }
  bool IsRunning() { return process_->IsRunning(); }
  std::optional<platform::ProcessExit> Exit() { return process_->Exit(); }
  // The office ended during start-up: the first-start pass (status 81) asks for exactly this;
  // the profile is then ready and kept as the template for later offices.
  void Restart();
  std::optional<platform::ProcessExit> WaitFor(std::chrono::milliseconds timeout) {
    return process_->WaitFor(timeout);
  }
  void Kill() { process_->Kill(); }
  const std::string& ProfileFolder() const { return profile_; }
  // The socket of the accept pipe, and the uid the office runs as: what its listener must be.
  std::string AcceptPipePath() const;
  unsigned Uid() const;
  // The sockets the office listens on while it runs: the accept pipe and its single-instance
  // pipe.
  std::vector<std::string> SocketPaths() const;

 private:
  void Launch();

  std::string profile_;
  std::string pipeName_;
  // Where the office's pipes are: its profile, where the system lets /tmp be made read-only
  // for it (a folder nobody else can enter, so no other user can bind a pipe's name first);
  // else the shared /tmp, where the peer check (PeerConnection.h) tells a stranger's socket.
  std::string pipeFolder_ = "/tmp";
  std::unique_ptr<platform::Process> process_;
};

// The single-instance pipe of an office started on the profile at profileUrl: the office names
// it after the MD5 of the URL's UTF-16 code units, each byte in hex without leading zeros.
std::string SingleInstancePipeName(const std::string& profileUrl);

// The office's exit status that asks to be started again after the first-start pass.
constexpr int kRestartRequested = 81;

}  // namespace automation::lo
