#pragma once
// The state of one LibreOffice Writer server: its office process, the UNO session to it, and
// the documents open in it (the most recently opened one is the active document). Shared by
// every automation object of the server; the office ends with Quit or when the last object
// goes.
//
// Threads: one thread at a time calls in (the thread that owns the server); Abort and IsAlive
// may come from any thread while a call is in progress.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <com/sun/star/lang/XComponent.hpp>

#include "automation/OleError.h"
#include "automation/libreoffice/UnoSession.h"

namespace automation::lo {

class OfficeProcess;
class SourceLink;

struct WriterDocument {
  Reference<css::lang::XComponent> component;
  std::string path;  // as given to Open; empty for a new document
  bool closed = false;
  // Loaded as a model without a view (no layout): WithView loads it again with one.
  bool viewless = false;
  std::string url;
  std::vector<std::pair<std::string, css::uno::Any>> loadProperties;
  // The ASCII name the office opened instead of path, while the document is open.
  std::shared_ptr<SourceLink> link;
  // The import filter the office read the file with ("MS Word 97", "Text", ...); empty when
  // it does not say.
  std::string filter;
  // A folder the office may write in (its profile): texts are saved below it, since the shared
  // temporary folders may be read-only for the office.
  std::string scratch;
  // Addresses in a saved file (a Markdown file's linked pictures) lead from the file's own place,
  // or, set, from nowhere: every one absolute, for a file bound for a stream, which has no place.
  bool absoluteAddresses = false;
};
using DocumentPtr = std::shared_ptr<WriterDocument>;

class WriterServer {
 public:
  // Starts the office and connects; throws EOleError.
  WriterServer();
  ~WriterServer();
  WriterServer(const WriterServer&) = delete;
  WriterServer& operator=(const WriterServer&) = delete;

  // Runs one member's work: refuses at once when the server has gone, and turns every failure
  // into EOleError, or EOleServerGone when the office went away meanwhile.
  template <class F>
  auto Guard(F&& work) -> decltype(work()) {
    if (!IsAlive()) throw EOleServerGone(GoneMessage());
    try {
      return work();
    } catch (...) {
      try {
        RethrowAsOle(!IsAlive(), GoneMessage());
      } catch (const EOleServerGone&) {
        MarkLost();
        throw;
      }
    }
  }

  // False once the office or its connection has gone, and from the moment a call has been
  // answered with EOleServerGone: the bridge reports a dead office to the call in progress
  // before its own disposal notice arrives, and the process may take a while to be reaped.
  bool IsAlive() const;
  // SIGKILL of the office and disposal of the bridge; any thread, returns at once.
  void Abort();
  // Closes every document unsaved, asks the office to end, waits, kills it when it does not,
  // and removes its profile. Later calls fail with EOleServerGone.
  void Quit();

  std::string Version();
  // A value of the office's configuration as the office itself reads it (a node path such as
  // "/org.openoffice.Inet/Settings" and a property), as text; empty when it has no such
  // property. Booleans read "true" or "false".
  std::string Setting(const std::string& nodePath, const std::string& name);
  // Whether the office can fetch an address of this scheme ("ftp", "http") at all: it has a
  // content provider for it. A proxy guard matters only where it can.
  bool Reaches(const std::string& scheme);
  // Whether the office has a filter of this name (its filter factory knows it).
  bool HasFilter(const std::string& name);
  // Path may be a local path or an address ("scheme://..."). Throws EOleError with a clear
  // message when nothing is opened.
  // addressedAs: where the document really lives when path is a copy of it. What the document
  // names by a relative address (a hyperlink, a linked picture) is then found beside the
  // original, as the office would find it opening the original itself.
  DocumentPtr Open(const std::string& path, bool readOnly, const std::optional<std::string>& password,
                   const std::string& addressedAs = std::string());
  DocumentPtr Add();
  void Close(const DocumentPtr& doc, bool saveChanges);
  // The most recently opened document still open; throws EOleError when there is none.
  DocumentPtr Active();
  // The active document with a view: pages and the view cursor need its layout.
  DocumentPtr ActiveWithView();
  size_t DocumentCount();
  // The office process id, for tests and diagnostics (-1 once ended).
  int OfficePid();

 private:
  std::string GoneMessage() const;
  void MarkLost();
  void DisableLockFiles();
  DocumentPtr Load(const std::string& url, const std::vector<std::pair<std::string, css::uno::Any>>& extra,
                   std::shared_ptr<std::atomic<bool>> passwordAsked = nullptr);
  Reference<css::lang::XComponent> LoadWithView(const std::string& url,
                                                const std::vector<std::pair<std::string, css::uno::Any>>& props);
  Reference<css::lang::XComponent> LoadWithoutView(const std::string& url, const std::string& filter,
                                                   std::vector<std::pair<std::string, css::uno::Any>> props);
  // The filter of a Writer text document for the file, or empty when it is none (or unknown).
  std::string WriterFilterFor(const std::string& url);
  DocumentPtr WithView(const DocumentPtr& doc);
  void Shutdown(std::chrono::milliseconds grace);

  mutable std::mutex mutex_;  // guards the members below against Abort from another thread
  std::shared_ptr<OfficeProcess> office_;
  std::shared_ptr<UnoSession> session_;
  std::vector<DocumentPtr> documents_;
  bool aborted_ = false;
  bool quit_ = false;
  bool lost_ = false;  // a call found the office gone
};

}  // namespace automation::lo
