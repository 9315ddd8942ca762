#include "automation/LibreOfficeWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>

#include "automation/OleError.h"
#include "automation/ServerRegistry.h"
#include "automation/libreoffice/DocumentOps.h"
#include "automation/libreoffice/FileFormats.h"
#include "automation/libreoffice/ProfileSeed.h"
#include "automation/libreoffice/TextParts.h"
#include "automation/libreoffice/WriterServer.h"

namespace automation {
namespace {

using lo::DocumentPtr;
using lo::WriterServer;
using ServerPtr = std::shared_ptr<WriterServer>;

bool Is(const std::string& member, const char* name) {
  size_t i = 0;
  for (; i < member.size() && name[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(member[i])) != std::tolower(static_cast<unsigned char>(name[i])))
      return false;
  }
  return i == member.size() && !name[i];
}

// A parameterless read may arrive as a property get or as a method call.
bool IsRead(InvokeKind kind) { return kind != InvokeKind::Put; }

const Variant& Arg(const std::vector<Variant>& args, size_t i) {
  static const Variant missing = Variant::Missing();
  return i < args.size() ? args[i] : missing;
}

bool Given(const Variant& v) { return !v.IsMissing() && !v.IsEmpty(); }

// Word's msoEncoding values the Unicode text format writes (UTF-16LE, UTF-8) and its wdCRLF and
// wdLFOnly line ends; a lone CR is refused, since three of them mark a page break.
lo::TextForm TextFormOf(const std::vector<Variant>& args) {
  lo::TextForm form;
  if (Given(Arg(args, 11))) {
    int encoding = Arg(args, 11).AsInt();
    if (encoding != 1200 && encoding != 65001)
      throw EOleError("This text encoding is not supported: " + std::to_string(encoding));
    form.utf8 = encoding == 65001;
  }
  if (Given(Arg(args, 14))) {
    int lineEnding = Arg(args, 14).AsInt();
    if (lineEnding != 0 && lineEnding != 2)
      throw EOleError("This line ending is not supported: " + std::to_string(lineEnding));
    form.lf = lineEnding == 2;
  }
  return form;
}

const Variant& PutValue(const std::vector<Variant>& args) {
  if (args.empty()) throw EOleError("Invalid number of parameters");
  return args.back();
}

// Every object of one server forwards Abort and IsAlive to the server, and runs its members
// under the server's guard, where office failures become our errors.
class ServerObject : public IDispatchable {
 public:
  explicit ServerObject(ServerPtr server) : server_(std::move(server)) {}
  Variant Invoke(const std::string& member, InvokeKind kind, std::vector<Variant>& args) override {
    return server_->Guard([&] { return Member(member, kind, args); });
  }
  void Abort() final { server_->Abort(); }
  bool IsAlive() const final { return server_->IsAlive(); }

 protected:
  virtual Variant Member(const std::string& member, InvokeKind kind, std::vector<Variant>& args) = 0;
  template <class T, class... A>
  AutoObject Make(A&&... a) {
    return AutoObject(std::make_shared<T>(server_, std::forward<A>(a)...));
  }
  ServerPtr server_;
};

// Settings that a headless office has no use for are kept, so that reading them back gives
// what was put.
class PropertyBag {
 public:
  bool Handle(const std::string& member, InvokeKind kind, const std::vector<Variant>& args,
              std::initializer_list<const char*> names, Variant& result) {
    for (const char* name : names) {
      if (!Is(member, name)) continue;
      if (kind == InvokeKind::Put) {
        values_[name] = PutValue(args);
        result = Variant();
      } else {
        result = values_[name];
      }
      return true;
    }
    return false;
  }

 private:
  std::map<std::string, Variant> values_;
};

class WebOptionsObject : public ServerObject {
 public:
  WebOptionsObject(ServerPtr s, DocumentPtr d) : ServerObject(std::move(s)), doc_(std::move(d)) {}
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>& a) override {
    Variant r;
    // The text export writes its own encoding; the web encoding only matters to HTML.
    if (bag_.Handle(m, k, a, {"Encoding"}, r)) return r;
    throw EOleMemberNotFound(m);
  }

 private:
  DocumentPtr doc_;
  PropertyBag bag_;
};

class DocumentObject : public ServerObject {
 public:
  DocumentObject(ServerPtr s, DocumentPtr d) : ServerObject(std::move(s)), doc_(std::move(d)) {}
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>& a) override {
    if (Is(m, "SaveAs") || Is(m, "SaveAs2")) {
      // FileName, FileFormat (by reference), LockComments, Password, ... Encoding (11),
      // InsertLineBreaks, AllowSubstitutions, LineEnding (14).
      int format = Given(Arg(a, 1)) ? Arg(a, 1).AsInt() : 16;
      std::optional<std::string> password;
      if (Given(Arg(a, 3))) password = Arg(a, 3).AsString();
      std::size_t unwritten =
          lo::SaveDocumentAs(*doc_, Arg(a, 0).AsString(), format, password, TextFormOf(a));
      if (a.size() > 1 && Given(a[1])) a[1] = Variant(format);
      // Word gives nothing back; the count of characters the ANSI text could not hold is ours.
      return Variant(static_cast<int32_t>(std::min<std::size_t>(unwritten, INT32_MAX)));
    }
    // Our own member: what of the document its text carries (Include, Changes, HiddenText).
    if (Is(m, "TextParts") && k != InvokeKind::Put) {
      auto word = [&](std::size_t i) { return Given(Arg(a, i)) ? Arg(a, i).AsString() : std::string(); };
      lo::ShapeDocumentText(*doc_, lo::TextPartsOf(word(0), word(1), word(2)));
      return Variant();
    }
    if (Is(m, "Close")) {
      server_->Close(doc_, Given(Arg(a, 0)) && Arg(a, 0).AsBool());
      return Variant();
    }
    if (IsRead(k) && Is(m, "HasVBProject")) return Variant(lo::DocumentHasMacros(*doc_));
    if (IsRead(k) && Is(m, "WebOptions")) {
      if (!webOptions_) webOptions_ = Make<WebOptionsObject>(doc_);
      return Variant(webOptions_);
    }
    if (IsRead(k) && Is(m, "FullName")) return Variant(doc_->path);
    // Our own property: every address in the files saved next is absolute.
    if (k == InvokeKind::Put && Is(m, "AbsoluteAddresses")) {
      doc_->absoluteAddresses = PutValue(a).AsBool();
      return Variant();
    }
    if (IsRead(k) && Is(m, "SaveFormat")) return Variant(static_cast<int32_t>(lo::SaveFormatOfFilter(doc_->filter)));
    throw EOleMemberNotFound(m);
  }

 private:
  DocumentPtr doc_;
  AutoObject webOptions_;
};

class DocumentsObject : public ServerObject {
 public:
  using ServerObject::ServerObject;
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>& a) override {
    if (Is(m, "Open") && k != InvokeKind::Put) {
      // FileName, ConfirmConversions, ReadOnly, AddToRecentFiles, PasswordDocument
      std::optional<std::string> password;
      if (Given(Arg(a, 4))) password = Arg(a, 4).AsString();
      bool readOnly = Given(Arg(a, 2)) && Arg(a, 2).AsBool();
      return Variant(Make<DocumentObject>(server_->Open(Arg(a, 0).AsString(), readOnly, password)));
    }
    // Our own member: CopyName, FileName, ReadOnly, PasswordDocument. Opens a copy as the
    // document FileName, so that what it names by a relative address resolves beside FileName.
    if (Is(m, "OpenCopy") && k != InvokeKind::Put) {
      std::optional<std::string> password;
      if (Given(Arg(a, 3))) password = Arg(a, 3).AsString();
      bool readOnly = Given(Arg(a, 2)) && Arg(a, 2).AsBool();
      return Variant(
          Make<DocumentObject>(server_->Open(Arg(a, 0).AsString(), readOnly, password, Arg(a, 1).AsString())));
    }
    if (Is(m, "Add") && k != InvokeKind::Put) return Variant(Make<DocumentObject>(server_->Add()));
    if (IsRead(k) && Is(m, "Count")) return Variant(static_cast<int32_t>(server_->DocumentCount()));
    throw EOleMemberNotFound(m);
  }
};

class OptionsObject : public ServerObject {
 public:
  using ServerObject::ServerObject;
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>& a) override {
    Variant r;
    // Nothing is printed here, so the print-time updates have nothing to act on.
    if (bag_.Handle(m, k, a, {"UpdateFieldsAtPrint", "UpdateLinksAtPrint"}, r)) return r;
    throw EOleMemberNotFound(m);
  }

 private:
  PropertyBag bag_;
};

class PagesObject : public ServerObject {
 public:
  PagesObject(ServerPtr s, DocumentPtr d) : ServerObject(std::move(s)), doc_(std::move(d)) {}
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>&) override {
    if (IsRead(k) && Is(m, "Count")) return Variant(static_cast<int32_t>(lo::DocumentPageCount(*doc_)));
    throw EOleMemberNotFound(m);
  }

 private:
  DocumentPtr doc_;
};

class PaneObject : public ServerObject {
 public:
  PaneObject(ServerPtr s, DocumentPtr d) : ServerObject(std::move(s)), doc_(std::move(d)) {}
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>&) override {
    if (IsRead(k) && Is(m, "Pages")) return Variant(Make<PagesObject>(doc_));
    throw EOleMemberNotFound(m);
  }

 private:
  DocumentPtr doc_;
};

class WindowObject : public ServerObject {
 public:
  WindowObject(ServerPtr s, DocumentPtr d) : ServerObject(std::move(s)), doc_(std::move(d)) {}
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>&) override {
    if (IsRead(k) && Is(m, "ActivePane")) return Variant(Make<PaneObject>(doc_));
    throw EOleMemberNotFound(m);
  }

 private:
  DocumentPtr doc_;
};

class SelectionObject : public ServerObject {
 public:
  SelectionObject(ServerPtr s, DocumentPtr d) : ServerObject(std::move(s)), doc_(std::move(d)) {}
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>& a) override {
    if (k != InvokeKind::Put) {
      if (Is(m, "HomeKey")) {
        lo::SelectionHomeKey(*doc_, Given(Arg(a, 0)) ? Arg(a, 0).AsInt() : 5);
        return Variant();
      }
      if (Is(m, "GotoNext")) {
        lo::SelectionGotoNext(*doc_, Arg(a, 0).AsInt());
        return Variant();
      }
      if (Is(m, "TypeText")) {
        lo::SelectionTypeText(*doc_, Arg(a, 0).AsString());
        return Variant();
      }
    }
    throw EOleMemberNotFound(m);
  }

 private:
  DocumentPtr doc_;
};

class ApplicationObject : public ServerObject {
 public:
  using ServerObject::ServerObject;
  // Quit must clean up even after the office died: it reaps the process and removes the
  // profile now rather than when the last object goes.
  Variant Invoke(const std::string& member, InvokeKind kind, std::vector<Variant>& args) override {
    if (Is(member, "Quit") && kind != InvokeKind::Put) {
      server_->Quit();
      return Variant();
    }
    return ServerObject::Invoke(member, kind, args);
  }
  Variant Member(const std::string& m, InvokeKind k, std::vector<Variant>& a) override {
    Variant r;
    // A headless office has no window to show or minimise and no dialogs to suppress.
    if (bag_.Handle(m, k, a, {"Visible", "WindowState", "DisplayAlerts"}, r)) return r;
    if (!IsRead(k)) throw EOleMemberNotFound(m);
    if (Is(m, "Version")) return Variant(server_->Version());
    // Ours, not Word's: a value of the office's configuration (node path, property), so that
    // a caller can check what the office really applies of the profile it was given.
    if (Is(m, "OfficeSetting")) return Variant(server_->Setting(Arg(a, 0).AsString(), Arg(a, 1).AsString()));
    if (Is(m, "OfficeReaches")) return Variant(server_->Reaches(Arg(a, 0).AsString()));
    // Ours: whether this office can save in a format number (its filter is installed).
    if (Is(m, "CanSaveAs")) return Variant(server_->HasFilter(lo::ExportFilterOf(Arg(a, 0).AsInt())));
    if (Is(m, "Path")) return Variant(LibreOfficeProgramFolder());
    if (Is(m, "Name")) return Variant("LibreOffice");
    if (Is(m, "Documents")) return Variant(Make<DocumentsObject>());
    if (Is(m, "Options")) {
      if (!options_) options_ = Make<OptionsObject>();
      return Variant(options_);
    }
    if (Is(m, "ActiveDocument")) return Variant(Make<DocumentObject>(server_->Active()));
    if (Is(m, "ActiveWindow")) return Variant(Make<WindowObject>(server_->ActiveWithView()));
    if (Is(m, "Selection")) return Variant(Make<SelectionObject>(server_->ActiveWithView()));
    if (Is(m, "ProcessID")) return Variant(static_cast<int32_t>(server_->OfficePid()));
    throw EOleMemberNotFound(m);
  }

 private:
  PropertyBag bag_;
  AutoObject options_;
};

// The reasons an office fails to start are many (no profile folder, an office that exits or
// never listens); the user first needs to know that it was the start that failed.
std::string StartFailure(const std::string& cause) {
  static const std::string kLead = "LibreOffice could not be started";
  std::string why = cause;
  if (why.rfind(kLead, 0) == 0) {
    why.erase(0, kLead.size());
    while (!why.empty() && (why[0] == '.' || why[0] == ':' || why[0] == ' ')) why.erase(0, 1);
  }
  return why.empty() ? kLead : kLead + ": " + why;
}

}  // namespace

std::string LibreOfficeProgramFolder() { return QX_LO_PROGRAM_DIR; }

std::string InstalledOfficeVersion() { return lo::OfficeReleaseVersion(LibreOfficeProgramFolder()); }

std::string WhyOfficeCannotBeUsed() {
  const std::string version = InstalledOfficeVersion();
  // An installation whose version cannot be read is given its chance: its start says more.
  if (version.empty()) return std::string();
  int major = 0, minor = 0;
  if (std::sscanf(version.c_str(), "%d.%d", &major, &minor) < 1) return std::string();
  if (major > kOldestOfficeMajor || (major == kOldestOfficeMajor && minor >= kOldestOfficeMinor))
    return std::string();
  return "LibreOffice " + version + " is older than " + std::to_string(kOldestOfficeMajor) + "." +
         std::to_string(kOldestOfficeMinor) + ", the oldest release this program can drive";
}

void RegisterLibreOfficeWriter() {
  RegisterServer("Word.Application", [] {
    std::shared_ptr<WriterServer> server;
    try {
      server = std::make_shared<WriterServer>();
    } catch (const std::exception& e) {
      throw EOleError(StartFailure(e.what()));
    }
    return AutoObject(std::make_shared<ApplicationObject>(std::move(server)));
  });
}

}  // namespace automation
