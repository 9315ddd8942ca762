#include "convert/cvQUILLEX.h"

#include "automation/OleError.h"
#include "automation/Variant.h"
#include "convert/PageBreaks.h"
#include "core/FailureReason.h"
#include "core/Globals.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"

namespace convert {

using automation::AutoObject;
using automation::Variant;

namespace {

bool SettingBool(const char* key) {
  auto* project = core::cvProject();
  return project ? project->Bool(key, false) : false;
}

}  // namespace

TcvQUILLEX::TcvQUILLEX(batch::TcvBatch* batch, int count, batch::TcvNodeEvent onNode)
    : TcvWordOle(batch, count, std::move(onNode)) {}

int32_t TcvQUILLEX::MarkPages() {
  int32_t pages = App.Get("ActiveWindow")
                      .AsObject()
                      .Get("ActivePane")
                      .AsObject()
                      .Get("Pages")
                      .AsObject()
                      .Get("Count")
                      .AsInt();
  AutoObject selection = App.Get("Selection").AsObject();
  selection.Call("HomeKey", {Variant(int32_t{6})});
  for (int32_t page = 1; page < pages; ++page) {
    selection.Call("GotoNext", {Variant(int32_t{1})});
    selection.Call("TypeText", {Variant(kPageMarker)});
  }
  return pages;
}

int32_t TcvQUILLEX::SaveDocument(const std::string& target, int32_t format) {
  // FileName, FileFormat, then LockComments .. SaveAsAOCELetter, Encoding (11), InsertLineBreaks,
  // AllowSubstitutions, LineEnding (14). The default text leaves the last ones out, as before.
  auto* project = core::cvProject();
  const bool utf8 = project && project->Encoding() == core::TEncoding::Utf8;
  const bool lf = project && project->LineEnds() == core::TLineEnds::Lf;
  std::vector<Variant> args{Variant(target), Variant(format)};
  for (int i = 0; i < 9; ++i) args.push_back(Variant::Missing());
  args.push_back(utf8 ? Variant(kUtf8Encoding) : Variant::Missing());
  args.push_back(Variant(false));
  if (lf) {
    args.push_back(Variant::Missing());
    args.push_back(Variant(kLfOnly));
  }
  // A text bound for standard output is made in a private folder that is gone when it is read:
  // its addresses had better be absolute. A server without the member writes what it writes.
  if (project && project->TargetIsStdout()) Optionally([&] { Doc.Put("AbsoluteAddresses", Variant(true)); });
  Variant unwritten = Doc.CallRef("SaveAs", args);
  return unwritten.type() == automation::VariantType::Int ? unwritten.AsInt() : 0;
}

void TcvQUILLEX::RequireFormat() {
  auto* project = core::cvProject();
  if (!project || project->Format() != core::TFormat::Markdown) return;
  if (App.Call("CanSaveAs", {Variant(kMarkdown)}).AsBool()) return;
  std::string version;
  try {
    version = " " + App.Get("Version").AsString();
  } catch (const std::exception&) {
  }
  throw EServerStartFailure("Markdown needs LibreOffice 26.2 or later, with its Markdown filter; LibreOffice" +
                            version + " has none");
}

bool TcvQUILLEX::StartServerFor(batch::TcvBatch& batch, batch::TcvNode& node) {
  if (!batch.RunFault().empty()) return false;
  try {
    EnsureServer();
    // One office of the run answers for all: they are the same installation.
    if (!formatChecked_) RequireFormat();
    formatChecked_ = true;
    return true;
  } catch (const std::exception& e) {
    if (Abandoned()) return false;
    // Before any success the fault is the office's, not this document's: every other document
    // would fail alike, each after its own start attempt. The run ends with one line instead.
    if (dynamic_cast<const EServerStartFailure*>(&e) && batch.GiveUpRun(e.what())) return false;
    node.Message = e.what();
    node.Reason = core::ReasonOf(e, core::reason::kOffice);
    node.Status = batch::NodeFailure;
    batch.AddFailure(node.Message);
    return false;
  }
}

void TcvQUILLEX::Convert(batch::TcvBatch& batch, batch::TcvNode& node) {
  std::string target = GetTargetFileName(batch, node);
  if (target.empty()) return;

  using Expiry = ConversionWatchdog::Expiry;
  std::string failure;
  std::string reason;
  bool failed = false;
  Expiry expiry = Expiry::None;
  // The limits are for the conversion: starting an office has a bound of its own.
  if (!StartServerFor(batch, node)) return;
  try {
    ArmLimits();
    OpenDocument(node.FileName);
    auto* project = core::cvProject();
    const core::TEncoding encoding = project ? project->Encoding() : core::TEncoding::Utf16;
    const bool markdown = project && project->Format() == core::TFormat::Markdown;
    int32_t format = markdown ? kMarkdown : encoding == core::TEncoding::Locale ? kAnsiText : kUnicodeText;
    Optionally([&] { Doc.Get("WebOptions").AsObject().Put("Encoding", Variant(int32_t{65001})); });
    // Markdown has no page breaks; the run said so once.
    bool pageBreaks = !markdown && SettingBool("PageBreaks");
    if (pageBreaks) Optionally([&] { node.Pages = MarkPages(); });
    if (project && !project->TextPartsAsExported())
      Doc.Call("TextParts", {Variant(project->Include()), Variant(project->Changes()), Variant(project->HiddenText())});
    int32_t unwritten = SaveDocument(target, format);
    CloseDocument();
    expiry = DisarmLimits();
    if (expiry != Expiry::None) throw automation::EOleServerGone("stopped at a limit");
    // The word processor reports success for some failed writes: trust only the file itself.
    if (!TargetWritten(target)) throw std::runtime_error("The word processor wrote no text file");
    if (pageBreaks) {
      try {
        RewritePageBreaks(target, encoding == core::TEncoding::Utf16);
      } catch (const std::exception&) {
      }
    }
    node.Message = target;
    node.Unwritten = unwritten;
    node.Status = batch::NodeSuccess;
    FinishSourceAfterReport(target);
    batch.AddSuccess();
  } catch (const std::exception& e) {
    failed = true;
    failure = e.what();
    const bool gone = dynamic_cast<const automation::EOleServerGone*>(&e) != nullptr;
    reason = core::ReasonOf(e, gone ? core::reason::kOffice : core::reason::kOther);
  }
  if (expiry == Expiry::None) expiry = DisarmLimits();
  if (expiry == Expiry::TimeLimit) {
    failed = true;
    failure = "The conversion took longer than the time limit of " + std::to_string(TimeLimitMs()) +
              " ms (ConvertTimeout); the word processor was stopped";
    reason = core::reason::kTimeout;
  } else if (expiry == Expiry::MemoryLimit) {
    failed = true;
    failure = "The document needed more memory than the limit of " + std::to_string(MemoryLimitMiB()) +
              " MiB (OfficeMemoryLimit)";
    reason = core::reason::kMemory;
  }
  if (failed && Abandoned()) {
    // The run was given up and the server killed under this entry: it has no outcome. The
    // server writes into a staging folder first, so no half-written text is at the target.
    DropDeadServer();
    CloseDocument();
    return;
  }
  if (failed) {
    DropDeadServer();
    if (failure.empty()) failure = "Unknown error";
    node.Message = failure;
    node.Reason = reason.empty() ? core::reason::kOther : reason;
    node.Status = 2;
    batch.AddFailure(failure);
  }
  CloseDocument();
}

}  // namespace convert
