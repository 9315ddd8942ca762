#include "app/Program.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

#include "app/CommandLine.h"
#include "app/ProductConstants.h"
#include "app/ProgressLine.h"
#include "app/cvApp.h"
#include "app/cvMain.h"
#include "batch/cvBatch.h"
#include "batch/cvConvertor.h"
#include "batch/cvMatch.h"
#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/Account.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Signals.h"
#include "platform/UserPlaces.h"

#ifndef QX_WEB_SITE
#define QX_WEB_SITE "http://www.quillex.example.org"
#endif
#ifndef QX_SUPPORT_MAIL
#define QX_SUPPORT_MAIL "support@quillex.example.org"
#endif

namespace app {

namespace {

// The account every office of a root run runs as: OfficeUser, by default the package's own
// "quillex", else "nobody" (said once). Empty when it is settled; otherwise why the run cannot
// be carried out. A run that is not root's leaves its offices its own account.
std::string ChooseOfficeAccount(const core::TcvProject& project) {
  if (::geteuid() != 0) return std::string();
  const std::string chosen = project.OfficeUser();
  std::optional<platform::Account> account = platform::LookUpAccount(chosen.empty() ? kOfficeAccount : chosen);
  if (!account && chosen.empty()) {
    account = platform::LookUpAccount("nobody");
    if (account && !project.Quiet())
      ProgressLine::Say(std::string("the account ") + kOfficeAccount + " does not exist (the package makes it): " +
                        "LibreOffice runs as nobody");
  }
  if (!account) return "the account " + (chosen.empty() ? std::string("nobody") : chosen) +
                       " (OfficeUser) does not exist; LibreOffice never runs as root";
  if (account->uid == 0) return "OfficeUser=" + chosen + " is root; LibreOffice never runs as root";
  platform::SetOfficeAccount(account);
  return std::string();
}

// Owns the global objects and releases them in reverse order of creation, whichever way the
// program ends.
class GlobalObjects {
 public:
  GlobalObjects(const std::string& exeName, const std::string& firstParam) {
    app_ = std::make_unique<TcvApp>(exeName, firstParam);
    platform::ProgramPlaces places = platform::PrepareProgramPlaces(exeName, kShortName);
    info_ = std::make_unique<core::TcvInfo>(exeName, QX_WEB_SITE, QX_SUPPORT_MAIL, places.stateBase,
                                            places.manual);
    core::SetCvInfo(info_.get());
    project_ = std::make_unique<core::TcvProject>(places.settingsBase);
    core::SetCvProject(project_.get());
    main_ = std::make_unique<TcvMain>();
  }
  ~GlobalObjects() {
    batch::SetCvMatch(nullptr);
    match_.reset();
    main_.reset();
    core::SetCvProject(nullptr);
    project_.reset();
    core::SetCvInfo(nullptr);
    info_.reset();
    app_.reset();
  }
  GlobalObjects(const GlobalObjects&) = delete;
  GlobalObjects& operator=(const GlobalObjects&) = delete;

  void CreateMatcher() {
    match_ = std::make_unique<batch::TcvMatch>();
    batch::SetCvMatch(match_.get());
  }

  TcvApp& App() { return *app_; }
  core::TcvInfo& Info() { return *info_; }
  core::TcvProject& Project() { return *project_; }
  TcvMain& Main() { return *main_; }

 private:
  std::unique_ptr<TcvApp> app_;
  std::unique_ptr<core::TcvInfo> info_;
  std::unique_ptr<core::TcvProject> project_;
  std::unique_ptr<TcvMain> main_;
  std::unique_ptr<batch::TcvMatch> match_;
};

// Why the settings allow no run at all, windowed or headless; empty when they allow one.
std::string SettingsError(const core::TcvProject& project) {
  int index = 0, count = 0;
  if (!project.Shard(index, count))
    return "Shard=" + project.Value("Shard") + " is not K/N with 1 <= K <= N; nothing was converted";
  // A web address runs in the window, which has no standard output to give its text to; it
  // would become a folder named "-" instead.
  if (project.TargetIsStdout() && platform::IsWebAddress(project.Source()))
    return "a web address cannot be converted to standard output (-o -); give a target folder";
  return "";
}

}  // namespace

bool IsHeadless(bool pureConsole, const std::string& source) {
  return pureConsole && !platform::IsWebAddress(source);
}

int RunProgram(const ProgramOptions& options) {
  GlobalObjects globals(options.exeName, options.firstParam);
  core::TcvProject& project = globals.Project();
  ApplyProductConstants(project);
  batch::SetSkipLockFiles(true);

  CommandLine cl = options.commandLine ? *options.commandLine : ParseCommandLine(globals.App().FirstParam);
  switch (cl.kind) {
    case CommandLine::Kind::Install:
      globals.Info().OpenLink("", "ins", cl.text);
      return 0;
    case CommandLine::Kind::Uninstall:
      globals.Info().OpenLink("", "uni", "");
      return 0;
    case CommandLine::Kind::Settings:
      project.CommandLineSettings = cl.text;
      break;
    case CommandLine::Kind::File:
      project.ProjectFile = cl.text;
      break;
    case CommandLine::Kind::None:
      break;
  }
  try {
    project.OpenStartup();
  } catch (const std::exception& e) {
    // A project that cannot be read must not run as an empty one: the one given by name ends
    // the start; an unreadable one beside the program leaves an empty window.
    std::fprintf(stderr, "%s\n", e.what());
    if (cl.kind == CommandLine::Kind::File) return TcvMain::kNotCarriedOut;
  }
  globals.CreateMatcher();

  // Checked before either run mode: shards of one job that disagreed on the split would convert
  // some documents twice and others never.
  if (std::string why = SettingsError(project); !why.empty()) {
    ProgressLine::Say(why);
    return TcvMain::kNotCarriedOut;
  }

  // A root run converts what other users wrote: its offices run as an unprivileged account.
  if (std::string why = ChooseOfficeAccount(project); !why.empty()) {
    ProgressLine::Say(why);
    return TcvMain::kNotCarriedOut;
  }

  // The first line of defence against documents that reach for the network; without it the
  // office's own settings still block what they can, and the user should know the difference.
  if (std::string problem = platform::PrivateNetworkProblem(); !problem.empty())
    ProgressLine::Say("LibreOffice runs on the shared network, since " + problem +
                      "; only its own settings keep documents from fetching linked content");

  // Both runs end in order on a stop signal: the window closes as if the user closed it.
  platform::InstallStopSignals();
  int status = TcvMain::kNotCarriedOut;
  // A filter has no window to show: its texts or its document are the standard streams.
  const bool filter = project.TargetIsStdout() || project.SourceIsStdin();
  if (IsHeadless(project.PureConsole() || filter, project.Source())) {
    status = globals.Main().Run();
  } else if (options.runWindowed) {
    status = options.runWindowed();
  } else {
    ProgressLine::Say(
        "this build has no windows; run headless (--headless, or the setting PureConsole=True)");
  }
  // A worker still starting its word processor after the run was abandoned would touch the
  // global objects as they go. Everything the user needs (texts, log, counters) is written by
  // now; the offices end with the process.
  if (batch::RunningWorkers() > 0) std::_Exit(status);
  return status;
}

}  // namespace app
