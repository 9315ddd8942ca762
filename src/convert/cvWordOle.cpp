#include "convert/cvWordOle.h"

#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "automation/Com.h"
#include "automation/OleError.h"
#include "automation/ServerRegistry.h"
#include "automation/Variant.h"
#include "convert/PackageBound.h"
#include "core/FailureReason.h"
#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/PrivateCopy.h"
#include "platform/Process.h"

namespace convert {

using automation::AutoObject;
using automation::Variant;

namespace {

// Longer than any start that fails at once, shorter than any start limit.
constexpr auto kPassingStartFailure = std::chrono::seconds(10);

bool SettingBool(const char* key, bool def) {
  auto* project = core::cvProject();
  return project ? project->Bool(key, def) : def;
}

}  // namespace

TcvWordOle::TcvWordOle(batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode)
    : TcvConvertor(batch, count, std::move(onNode)) {}

// Also when the worker ends, not only here: once the last worker has ended, the program may exit
// before a self-freeing worker's destructor has run.
TcvWordOle::~TcvWordOle() { TcvWordOle::ReleaseResources(); }

void TcvWordOle::ReleaseResources() {
  Disconnect();
  if (!copyFolder_.empty()) platform::RemoveTree(copyFolder_);
  copyFolder_.clear();
}

AutoObject TcvWordOle::CreateServer(const std::string& progId) {
  automation::CoInitialize();
  return automation::CreateOleObject(progId);
}

int32_t TcvWordOle::ParseVersion(const Variant& value) {
  int32_t result = 0;
  try {
    double d = value.AsDouble();
    if (!std::isfinite(d) || d < INT32_MIN || d > INT32_MAX) throw automation::EOleError("Overflow");
    result = static_cast<int32_t>(std::trunc(d));
  } catch (const std::exception&) {
    std::string text;
    try {
      text = value.AsString();
    } catch (const std::exception&) {
    }
    auto dot = text.find('.');
    if (dot != std::string::npos) text.erase(dot, 1);
    result = core::ReadInt(text, 0);
  }
  if (result > 77) result /= 10;
  return result;
}

AutoObject TcvWordOle::StartServer() {
  // Under load a start sometimes fails and then succeeds at once; a ProgID with no server
  // behind it never will.
  std::string cause;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto started = std::chrono::steady_clock::now();
    try {
      return CreateServer("Word.Application");
    } catch (const automation::EOleClassNotRegistered&) {
      break;
    } catch (const std::exception& e) {
      // An abandoned run ended this start on purpose: another would only delay its end.
      if (Abandoned()) throw;
      cause = e.what();
      // A start that failed at its time limit is no passing hiccup: a second one would only
      // double the wait.
      if (std::chrono::steady_clock::now() - started > kPassingStartFailure) break;
    }
  }
  // The fallback's own failure would hide why the first server failed, which is what the user
  // can act on: that reason leads.
  try {
    return CreateServer("WPS.Application");
  } catch (const automation::EOleClassNotRegistered&) {
    if (cause.empty()) throw;
    throw automation::EOleError(cause);
  } catch (const std::exception& e) {
    if (cause.empty()) throw;
    throw automation::EOleError(cause + "; " + e.what());
  }
}

void TcvWordOle::Connect() {
  try {
    App = StartServer();
  } catch (const std::exception& e) {
    // An abandoned run's start was ended on purpose; its error is no start failure.
    if (Abandoned()) throw;
    throw EServerStartFailure(e.what());
  }
  documentsOnServer_ = 0;
  WatchServer(App);
  try {
    watchedPid_ = App.Get("ProcessID").AsInt();
  } catch (const std::exception&) {
    watchedPid_ = -1;
  }
  try {
    AppVersion = ParseVersion(App.Get("Version"));
    if (auto* info = core::cvInfo()) info->UpdateCounter("W", AppVersion, 1);
  } catch (const std::exception&) {
  }
  if (SettingBool("AppVisible", false)) {
    App.Put("Visible", Variant(true));
    App.Put("WindowState", Variant(int32_t{2}));
  }
  try {
    App.Put("DisplayAlerts", Variant(int32_t{0}));
  } catch (const std::exception&) {
  }
}

void TcvWordOle::Disconnect() {
  CloseDocument();
  if (App) {
    try {
      App.Call("Quit", {Variant(false)});
    } catch (const std::exception&) {
    }
  }
  App.Release();
  WatchServer(AutoObject());
}

bool TcvWordOle::IsReadOnly() const { return SettingBool("ReadOnly", false); }
bool TcvWordOle::IsSkipPassword() const { return SettingBool("SkipPassword", false); }

void TcvWordOle::EnsureServer() {
  // A server killed between two entries would fail this entry for nothing: start afresh.
  if (App && !App.IsAlive()) AbandonServer();
  if (App && !Doc && documentsOnServer_ >= kDocumentsPerServer) Disconnect();
  if (!App) Connect();
}

void TcvWordOle::OpenDocument(const std::string& fileName) {
  EnsureServer();
  if (Doc) return;
  bool exists = platform::FileExists(fileName);
  if (!exists && !platform::IsWebAddress(fileName)) {
    // Messages name no file: the log names the source, and equal failures read alike.
    if (platform::DirectoryExists(fileName))
      throw core::EReasoned("The source is a folder, not a document", core::reason::kUnreadable);
    throw core::EReasoned("The source file does not exist", core::reason::kUnreadable);
  }
  // The office reads a private copy: the document's own name may be swapped by its owner for a
  // link or a FIFO at any moment, and a root run's office must not need the source tree at all.
  const std::string opened = exists ? PrivateCopyOf(fileName) : fileName;
  if (exists) {
    if (std::string why = PackageInflationError(opened); !why.empty())
      throw core::EReasoned(why, core::reason::kBomb);
  }
  AutoObject documents = App.Get("Documents").AsObject();
  // The copy is opened as the document itself: a hyperlink or a linked picture with a relative
  // address leads beside the document, not into the private folder.
  std::vector<Variant> args = {Variant(opened), exists ? Variant(fileName) : Variant::Missing(), Variant(IsReadOnly())};
  if (exists && IsSkipPassword()) args.push_back(Variant(kDummyPassword));
  Doc = documents.Call(exists ? "OpenCopy" : "Open", std::move(args)).AsObject();
  if (!Doc) throw automation::EOleError("The word processor returned no document");
  ++documentsOnServer_;
  RefusePlainText();
  try {
    AutoObject options = App.Get("Options").AsObject();
    options.Put("UpdateFieldsAtPrint", Variant(false));
    options.Put("UpdateLinksAtPrint", Variant(false));
  } catch (const std::exception&) {
  }
}

void TcvWordOle::RefusePlainText() {
  auto* project = core::cvProject();
  if (project && project->AnyFile()) return;
  int32_t format = kDocumentFormat;
  // A server that cannot say what it read is taken at its word that it read a document.
  if (!Optionally([&] { format = Doc.Get("SaveFormat").AsInt(); })) return;
  // The office's type detection falls back to plain text for any bytes it does not know:
  // random data, an empty file, an archive. Its "text" would be a success made of garbage.
  if (format == kTextFormat || format == kEncodedTextFormat)
    throw core::EReasoned("not a word-processor document (LibreOffice reads it as plain text)",
                          core::reason::kNotADocument);
}

void TcvWordOle::CloseDocument() {
  if (Doc) {
    try {
      Doc.Call("Close", {Variant(false)});
    } catch (const std::exception&) {
    }
  }
  Doc.Release();
  if (!copyPath_.empty()) platform::DeleteFile(copyPath_);
  copyPath_.clear();
}

std::string TcvWordOle::PrivateCopyOf(const std::string& fileName) {
  if (copyFolder_.empty()) {
    try {
      copyFolder_ = platform::MakeTempDirectory("qx-doc-");
    } catch (const std::exception& e) {
      throw core::EReasoned(std::string("The document could not be copied for the word processor (") + e.what() + ")",
                            core::reason::kWrite);
    }
    // The office may run as another account: it may pass through, and read only its own copy.
    ::chmod(copyFolder_.c_str(), 0711);
  }
  if (!copyPath_.empty()) platform::DeleteFile(copyPath_);
  // The document's own name where the office can read it back (a FILENAME field shows it).
  const std::string name = CopyName(platform::ExtractFileName(fileName));
  auto* project = core::cvProject();
  const long long limit = project ? project->MaxDocumentSize() : (1LL << 30);
  platform::CopyOutcome outcome = platform::CopyPrivately(fileName, copyFolder_, name, limit);
  // Another user's link that the walk followed (FollowLinks, inside the tree): what it leads to,
  // resolved now, is read through no link at all.
  if (outcome.kind == platform::CopyOutcome::Link && Batch())
    if (const std::string inside = Batch()->FollowedLinkTarget(fileName); !inside.empty())
      outcome = platform::CopyPrivately(inside, copyFolder_, name, limit);
  switch (outcome.kind) {
    case platform::CopyOutcome::Copied:
      copyPath_ = copyFolder_ + "/" + name;
      return copyPath_;
    case platform::CopyOutcome::Link:
      throw core::EReasoned("a link; links are not followed", core::reason::kLink);
    case platform::CopyOutcome::NotAFile:
      throw core::EReasoned("The source is not a regular file", core::reason::kUnreadable);
    case platform::CopyOutcome::TooLarge:
      throw core::EReasoned("The document is larger than " + std::to_string(limit) +
                                " bytes, the most a document may have (MaxDocumentSize)",
                            core::reason::kTooLarge);
    case platform::CopyOutcome::Unreadable:
      throw core::EReasoned(std::string("The document cannot be read (") + std::strerror(outcome.error) + ")",
                            core::reason::kUnreadable);
    case platform::CopyOutcome::Unwritable:
      break;
  }
  throw core::EReasoned(std::string("The document could not be copied for the word processor (") +
                            std::strerror(outcome.error) + ")",
                        core::reason::kWrite);
}

std::string TcvWordOle::CopyName(const std::string& name) {
  bool plain = !name.empty() && name[0] != '.';
  for (unsigned char c : name) plain = plain && c >= 0x20 && c < 0x7F;
  if (plain) return name;
  // The office reads names through its locale: one it might not read gets a plain one with the
  // same extension, so that detection by extension still sees it.
  std::string ext;
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) ext = name.substr(dot);
  for (unsigned char c : ext.substr(ext.empty() ? 0 : 1))
    if (!std::isalnum(c)) ext.clear();
  return "document" + ext;
}

bool TcvWordOle::HasMacros() {
  if (AppVersion >= 12) {
    try {
      return Doc.Get("HasVBProject").AsBool();
    } catch (const std::exception&) {
    }
  }
  return TcvConvertor::HasMacros();
}

std::string TcvWordOle::GetAppFileName() { return App.Get("Path").AsString() + "/WINWORD.EXE"; }

int TcvWordOle::TimeLimitMs() const {
  auto* project = core::cvProject();
  return project ? project->ConvertTimeout() : 300000;
}

int TcvWordOle::MemoryLimitMiB() const {
  auto* project = core::cvProject();
  return project ? project->OfficeMemoryLimit() : core::DefaultOfficeMemoryLimit(1);
}

void TcvWordOle::WatchServer(const AutoObject& app) {
  {
    std::lock_guard<std::mutex> guard(watchedLock_);
    watched_ = app;
  }
  if (!app) watchedPid_ = -1;
  // A server whose start outlasted the abandon of the run must not convert anything more. The
  // flag is set before AbortWork looks at watched_, so one of the two always sees the other.
  if (app && Abandoned()) {
    AutoObject late = app;
    late.Abort();
  }
}

std::function<void()> TcvWordOle::AbortWork() {
  AutoObject app;
  {
    std::lock_guard<std::mutex> guard(watchedLock_);
    app = watched_;
  }
  return [app]() mutable {
    app.Abort();
    // A server still starting is not in hand yet, but its office is already one of the
    // program's processes; an abandoned run needs none of them, and a start would otherwise
    // hold the worker until the office answers.
    platform::KillStartedProcesses();
  };
}

void TcvWordOle::ArmLimits() {
  // The watchdog kills through its own handle, so the kill works even while this thread is
  // blocked inside a call on the same server, and also reaches a server created after arming.
  auto kill = [this] {
    AutoObject app;
    {
      std::lock_guard<std::mutex> guard(watchedLock_);
      app = watched_;
    }
    app.Abort();
  };
  std::function<bool()> overMemory;
  if (int limit = MemoryLimitMiB(); limit > 0) {
    const long long bytes = static_cast<long long>(limit) * 1024 * 1024;
    overMemory = [this, bytes] { return platform::ResidentMemoryBytes(watchedPid_) > bytes; };
  }
  watchdog_.Arm(TimeLimitMs(), kill, std::move(overMemory));
}

ConversionWatchdog::Expiry TcvWordOle::DisarmLimits() { return watchdog_.Disarm(); }

void TcvWordOle::AbandonServer() {
  Doc.Release();
  App.Abort();
  App.Release();
  WatchServer(AutoObject());
}

void TcvWordOle::DropDeadServer() {
  if (App && !App.IsAlive()) AbandonServer();
}

}  // namespace convert
