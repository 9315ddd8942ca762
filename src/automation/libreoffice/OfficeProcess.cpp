#include "automation/libreoffice/OfficeProcess.h"

#include <rtl/digest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>

#include "automation/LibreOfficeWriter.h"
#include "automation/OleError.h"
#include "automation/libreoffice/ProfileSeed.h"
#include "automation/libreoffice/TextExport.h"
#include "automation/libreoffice/UnoSession.h"
#include "platform/Account.h"
#include "platform/FileSystem.h"
#include "platform/TextEncoding.h"

namespace automation::lo {
namespace {

namespace fs = std::filesystem;

constexpr auto kCopyAsIs = fs::copy_options::recursive | fs::copy_options::copy_symlinks;

// The prepared profile that later offices start from; empty until the first office has
// finished its first-start pass.
class ProfileTemplate {
 public:
  static ProfileTemplate& Instance() {
    static ProfileTemplate instance;
    return instance;
  }
  ~ProfileTemplate() {
    if (!folder_.empty()) platform::RemoveTree(folder_);
  }

  // Copies the template into an empty profile folder; false when there is none yet.
  bool CopyInto(const std::string& profile) {
    std::lock_guard lock(mutex_);
    if (folder_.empty()) return false;
    std::error_code ec;
    fs::copy(folder_, profile, kCopyAsIs, ec);
    return !ec;
  }

  // Keeps a copy of a profile that has just been prepared; the first one wins.
  void Adopt(const std::string& profile) {
    std::lock_guard lock(mutex_);
    if (!folder_.empty()) return;
    try {
      std::string folder = platform::MakeTempDirectory("qx-lo-template-");
      std::error_code ec;
      // The profile was the office's: a link it left there is copied as a link, never read.
      fs::copy(profile, folder, kCopyAsIs, ec);
      if (ec) {
        platform::RemoveTree(folder);
        return;
      }
      folder_ = folder;
    } catch (const std::exception&) {
      // Without a template every office prepares its own profile: slower, not wrong.
    }
  }

 private:
  std::mutex mutex_;
  std::string folder_;
};

std::string NewPipeName() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  return "qx_lo_" + std::to_string(rd()) + "_" + std::to_string(counter++);
}

// The profile's URL, encoded as every URL handed to the office is: a TMPDIR with a blank, "%"
// or "#" must not make the office look for another folder.
std::string FolderUrl(const std::string& path) { return FileUrlFromPath(path); }

// The uid the office runs as, which names its pipes.
unsigned OfficeUid() {
  const auto account = platform::OfficeAccount();
  return account ? account->uid : platform::CurrentUserId();
}

// An office puts its pipes in the first writable one of /tmp, /var/tmp and its OSL_SOCKET_PATH,
// whatever TMPDIR says, named with the uid of the office that listens on them.
std::string PipeSocketPath(const std::string& folder, const std::string& pipeName, unsigned uid) {
  return folder + "/OSL_PIPE_" + std::to_string(uid) + "_" + pipeName;
}

// Whether the office's pipes can go in folder: the shared folders can be made read-only for
// it, the folder's name survives the office's reading of it (no "$" or "\\", which it would
// expand), and the longest pipe's path fits a socket address.
bool PipesCanGoIn(const std::string& folder) {
  if (!platform::TempLockProblem().empty()) return false;
  if (folder.find_first_of("$\\") != std::string::npos) return false;
  const std::string longest = PipeSocketPath(folder, SingleInstancePipeName(FileUrlFromPath(folder)), 4294967295u);
  return longest.size() < 108;
}

// The accept pipes of offices of earlier runs that failed to start or were killed with their
// program: sockets of our own naming that nobody listens on any more. Once per process.
void RemoveStalePipes() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Named with the uid of the office that listened: this program's own, or its office account's.
    const std::string mine = "OSL_PIPE_" + std::to_string(platform::CurrentUserId()) + "_qx_lo_";
    const std::string offices = "OSL_PIPE_" + std::to_string(OfficeUid()) + "_qx_lo_";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/tmp", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(mine, 0) != 0 && name.rfind(offices, 0) != 0) continue;
      const std::string path = entry.path().string();
      if (!platform::SocketAnswers(path, 200)) platform::DeleteSocket(path);
    }
  });
}

}  // namespace

std::string SingleInstancePipeName(const std::string& profileUrl) {
  OUString url = ToOU(profileUrl);
  sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5];
  rtl_digest_MD5(url.getStr(), static_cast<sal_uInt32>(url.getLength() * sizeof(sal_Unicode)), digest,
                 sizeof digest);
  static const char kHex[] = "0123456789abcdef";
  std::string name = "SingleOfficeIPC_";
  for (sal_uInt8 byte : digest) {
    if (byte >= 16) name += kHex[byte >> 4];
    name += kHex[byte & 15];
  }
  return name;
}

OfficeProcess::OfficeProcess() : pipeName_(NewPipeName()) {
  RemoveStalePipes();
  try {
    profile_ = platform::MakeTempDirectory("qx-lo-profile-");
  } catch (const std::exception& e) {
    throw EOleError(std::string("Cannot create the LibreOffice profile folder: ") + e.what());
  }
  if (!ProfileTemplate::Instance().CopyInto(profile_)) SeedProfile(profile_);
  platform::HandToOfficeAccount(profile_);
  // The office would fail on a profile it cannot reach, without saying why.
  if (std::string barrier = platform::FolderBarringOfficeAccount(profile_); !barrier.empty()) {
    platform::RemoveTree(profile_);
    throw EOleError("LibreOffice runs as " + platform::OfficeAccount()->name + ", which may not pass through " +
                    barrier + " on the way to its profile: give others search permission there (chmod o+x), " +
                    "or set TMPDIR to another folder");
  }
  if (PipesCanGoIn(profile_)) pipeFolder_ = profile_;
  try {
    Launch();
  } catch (...) {
    platform::RemoveTree(profile_);
    throw;
  }
}

OfficeProcess::~OfficeProcess() {
  if (process_) process_->KillAndReap();
  // Removed while the profile still holds its name, so that no later office can have been
  // given the same profile, and with it the same single-instance pipe, in the meantime.
  try {
    for (const auto& socket : SocketPaths()) platform::DeleteSocket(socket);
  } catch (const std::exception&) {
  }
  platform::RemoveTree(profile_);
}

std::string OfficeProcess::AcceptPipePath() const { return PipeSocketPath(pipeFolder_, pipeName_, OfficeUid()); }

unsigned OfficeProcess::Uid() const { return OfficeUid(); }

std::vector<std::string> OfficeProcess::SocketPaths() const {
  return {PipeSocketPath(pipeFolder_, pipeName_, OfficeUid()),
          PipeSocketPath(pipeFolder_, SingleInstancePipeName(FolderUrl(profile_)), OfficeUid())};
}

std::string OfficeProcess::ProgramPath() { return LibreOfficeProgramFolder() + "/soffice.bin"; }

void OfficeProcess::Launch() {
  platform::ProcessOptions options;
  options.argv = {ProgramPath(),
                  "--headless",
                  "--invisible",
                  "--norestore",
                  "--nologo",
                  "--nodefault",
                  "--nolockcheck",
                  "--accept=" + ConnectString() + ";urp;StarOffice.ComponentContext",
                  "-env:UserInstallation=" + FolderUrl(profile_)};
  if (pipeFolder_ == profile_) {
    options.argv.push_back("-env:OSL_SOCKET_PATH=" + pipeFolder_);
    options.onlyWritableTemp = profile_;
  }
  // A hidden office has no business with the user's display, session or secrets: it gets only
  // the locale and the search path. Its home and temporary files are inside the profile, so that
  // removing the profile cleans up after a killed office too.
  std::string tmp = profile_ + "/tmp";
  platform::ForceDirectories(tmp);
  platform::HandToOfficeAccount(tmp);
  options.keepOnlyEnvironment = {"PATH",        "LANG",     "LANGUAGE",   "LC_ALL",          "LC_CTYPE",
                                 "LC_COLLATE",  "LC_NUMERIC", "LC_TIME",  "LC_MONETARY",     "LC_MESSAGES",
                                 "TZ",          "FONTCONFIG_FILE", "FONTCONFIG_PATH"};
  options.extraEnvironment = {"SAL_USE_VCLPLUGIN=svp", "TMPDIR=" + tmp, "HOME=" + profile_};
  options.largestFile = kLargestOfficeFile;
  // A root run's office parses what strangers wrote: it runs as the unprivileged account.
  if (const auto account = platform::OfficeAccount()) {
    options.runAsUid = static_cast<int>(account->uid);
    options.runAsGid = static_cast<int>(account->gid);
  }
  options.ownSession = true;
  // Documents come from strangers: a linked picture or object must not reach any host, on the
  // user's network or beyond. The UNO pipe is a socket in the file system and still connects.
  options.privateNetwork = true;
  try {
    process_ = platform::Process::Start(options);
  } catch (const std::exception& e) {
    throw EOleError(std::string("LibreOffice could not be started. ") + e.what());
  }
}

void OfficeProcess::Restart() {
  if (process_) {
    auto exit = process_->Exit();
    if (exit && !exit->signaled && exit->code == kRestartRequested)
      ProfileTemplate::Instance().Adopt(profile_);
    process_->KillAndReap();
  }
  Launch();
}

}  // namespace automation::lo
