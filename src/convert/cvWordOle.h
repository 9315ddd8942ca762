#pragma once
// TcvWordOle: a converter worker that owns one word-processor automation server. The server is
// created at the worker's first entry, configured once, serves every later entry of the worker
// and is quit when the worker ends. A server that has gone away (crashed, killed, or killed by
// the conversion time limit) is released, and the next entry creates a new one.
//
// Threads: everything runs on the worker's own thread, except the time limit's kill and the
// abort of an abandoned run, which reach the server from other threads through
// AutoObject::Abort.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "automation/AutoObject.h"
#include "automation/OleError.h"
#include "batch/cvConvertor.h"
#include "convert/ConversionWatchdog.h"

namespace automation {
class Variant;
}

namespace convert {

// No word processor could be started for the worker (as opposed to one that started and then
// refused a setting): its cause is the office's, never a document's.
class EServerStartFailure : public automation::EOleError {
 public:
  explicit EServerStartFailure(const std::string& message)
      : automation::EOleError(message, core::reason::kOffice) {}
};

class TcvWordOle : public batch::TcvConvertor {
 public:
  TcvWordOle(batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode);
  ~TcvWordOle() override;

  // Makes sure a server exists and a document is open. A source with no file behind it fails
  // (a web address is opened as an address), and so does a file the word processor reads only
  // as plain text (see RefusePlainText). Throws automation::EOleError or std::runtime_error.
  void OpenDocument(const std::string& fileName);
  // Closes the open document without saving; harmless when none is open.
  void CloseDocument();
  void Connect();
  void Disconnect();
  // A live server for the next document: a dead one is abandoned, a worn one (kDocumentsPerServer
  // documents) replaced, and a missing one created. Throws as Connect does; EServerStartFailure
  // when no server could be created.
  void EnsureServer();
  bool IsReadOnly() const;
  bool IsSkipPassword() const;

  bool HasMacros() override;
  std::string GetAppFileName() override;

  // The major version of a Version value: 16.0 gives 16, "160" gives 16, "11.1.0.1" gives 0.
  static int32_t ParseVersion(const automation::Variant& value);
  // The fixed password tried on protected documents when "SkipPassword" is set.
  static constexpr int32_t kDummyPassword = 12;
  // Documents one server opens before it is replaced by a fresh one. LibreOffice keeps some
  // memory from every document it has loaded (about 30 KB each, measured on small documents),
  // so a server that lives for the whole of a long run grows without bound; a restart costs
  // about a second.
  static constexpr int kDocumentsPerServer = 500;

  automation::AutoObject App;
  automation::AutoObject Doc;
  int32_t AppVersion = 0;

 protected:
  void ReleaseResources() override;
  // Kills the server in hand, and every office of the program, so that one still starting
  // ends too.
  std::function<void()> AbortWork() override;
  // Starts the conversion's limits for the server in hand: its time ("ConvertTimeout", ms)
  // and its office's memory ("OfficeMemoryLimit", MiB).
  void ArmLimits();
  // Stops them; which limit passed and had the server killed, or None.
  ConversionWatchdog::Expiry DisarmLimits();
  // After a failure: a server that is no longer alive is released, so the next entry gets a
  // new one.
  void DropDeadServer();
  int TimeLimitMs() const;
  int MemoryLimitMiB() const;
  // Releases App and Doc, killing the server first when it is still running.
  void AbandonServer();
  // Runs a call to a member the server may lack; false when it failed. A server that is gone
  // still fails the entry.
  template <class Call>
  static bool Optionally(Call&& call) {
    try {
      call();
      return true;
    } catch (const automation::EOleServerGone&) {
      throw;
    } catch (const std::exception&) {
      return false;
    }
  }

 private:
  static automation::AutoObject CreateServer(const std::string& progId);
  // "Word.Application", tried twice, then "WPS.Application". When both fail, the error gives
  // the first one's cause, then the fallback's error when the fallback has a server at all.
  automation::AutoObject StartServer();
  // The private copy of a local document that the word processor opens instead of it (see
  // platform/PrivateCopy.h), in this worker's own folder; throws core::EReasoned with the kind
  // of failure (a link, too large, unreadable).
  std::string PrivateCopyOf(const std::string& fileName);
  // The name the copy gets: the document's own when plain ASCII, else "document" + extension.
  static std::string CopyName(const std::string& name);
  std::string copyFolder_;  // made at the first copy, removed when the worker ends
  std::string copyPath_;    // the copy of the open document
  // Fails the open document when the word processor read it as plain text (Word's text save
  // formats), unless "AnyFile" keeps the word processor's own choice.
  void RefusePlainText();
  static constexpr int32_t kDocumentFormat = 0;     // wdFormatDocument
  static constexpr int32_t kTextFormat = 2;         // wdFormatText
  static constexpr int32_t kEncodedTextFormat = 7;  // wdFormatEncodedText
  // The handle the watchdog kills: App as the worker last set it.
  void WatchServer(const automation::AutoObject& app);

  int documentsOnServer_ = 0;
  ConversionWatchdog watchdog_;
  std::mutex watchedLock_;
  automation::AutoObject watched_;
  // The office process of the watched server, whose memory the watchdog reads; -1 when the
  // server names none (a scripted one).
  std::atomic<int> watchedPid_{-1};
};

}  // namespace convert
