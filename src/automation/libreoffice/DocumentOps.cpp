#include "automation/libreoffice/DocumentOps.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/view/XLineCursor.hpp>
#include <sys/stat.h>

#include <filesystem>

#include "automation/OleError.h"
#include "automation/libreoffice/FileFormats.h"
#include "automation/libreoffice/OfficeProcess.h"
#include "automation/libreoffice/TextExport.h"
#include "platform/Account.h"
#include "platform/FileSystem.h"
#include "platform/TextEncoding.h"

namespace automation::lo {
namespace {

using namespace css::uno;
using css::beans::PropertyValue;

struct SaveFormat {
  const char* filter;
  std::string options;  // FilterOptions, or empty
  enum Post { None, Utf16, Utf8, Ansi, Markdown } post;
};

// The office writes the text's final form itself (character set, byte-order mark, line ends),
// so nothing converts it again; only the stand-ins and a code page are ours to put in.
SaveFormat FormatFor(int format, TextForm text) {
  const std::string eol = text.lf ? "LF" : "CRLF";
  switch (format) {
    case 0: return {"MS Word 97", "", SaveFormat::None};
    case 2: return {"Text (encoded)", "UTF8," + eol + ",,,false", SaveFormat::Ansi};
    case 6: return {"Rich Text Format", "", SaveFormat::None};
    case 7:
      if (text.utf8) return {"Text (encoded)", "UTF8," + eol + ",,,false", SaveFormat::Utf8};
      return {"Text (encoded)", "UNICODE," + eol, SaveFormat::Utf16};
    case 8: return {"HTML (StarWriter)", "", SaveFormat::None};
    case 12:
    case 16: return {"MS Word 2007 XML", "", SaveFormat::None};
    case 13: return {"MS Word 2007 XML VBA", "", SaveFormat::None};
    case 17: return {"writer_pdf_Export", "", SaveFormat::None};
    case kFormatMarkdown: return {"Markdown", "", text.lf ? SaveFormat::None : SaveFormat::Markdown};
    default: throw EOleError("This file format is not supported: " + std::to_string(format));
  }
}

Reference<css::text::XTextViewCursor> ViewCursor(const WriterDocument& doc) {
  Reference<css::frame::XModel> model(doc.component, UNO_QUERY_THROW);
  Reference<css::text::XTextViewCursorSupplier> supplier(model->getCurrentController(), UNO_QUERY_THROW);
  return supplier->getViewCursor();
}

void CheckOpen(const WriterDocument& doc) {
  if (doc.closed || !doc.component.is()) throw EOleError("The document has been closed");
}

// The reason part of a platform file error, without the file name: the log names the source,
// and equal failures must read alike.
std::string ReasonOf(const std::exception& e) {
  std::string what = e.what();
  size_t cut = what.rfind("\". ");
  return cut == std::string::npos ? what : what.substr(cut + 3);
}

// A private folder the office saves into. The office's text export ignores write errors (on a
// full file system it leaves an empty file and reports success), so it never writes the
// target itself: we copy its output there and see every error.
class StagingFolder {
 public:
  explicit StagingFolder(const std::string& parent) {
    try {
      path_ = parent.empty() ? platform::MakeTempDirectory("qx-save-") : platform::MakeTempDirectoryIn(parent, "qx-save-");
      // The office writes here, as whichever account it runs as.
      platform::HandToOfficeAccount(path_);
    } catch (const std::exception& e) {
      throw EOleError("The document could not be saved as text (" + ReasonOf(e) + ")", core::reason::kWrite);
    }
  }
  ~StagingFolder() { platform::RemoveTree(path_); }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  std::string File() const { return path_ + "/saved"; }
  // Whether the office left a regular file of at least `size` bytes here (links not followed:
  // the folder is the office's).
  bool HoldsFileOf(unsigned long long size) const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
      struct stat st {};
      if (lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          static_cast<unsigned long long>(st.st_size) >= size)
        return true;
    }
    return false;
  }

 private:
  std::string path_;
};

// The Markdown filter knows no line-end option and writes LF alone.
std::string LfToCrLf(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) out += '\r';
    out += bytes[i];
  }
  return out;
}

// Moves the office's output to the target: the stand-ins become CR, and the ANSI format gets
// its code page (the office wrote UTF-8: it cannot write "?" for what a code page lacks, which
// is what a user of an ANSI text file expects). The target appears whole or not at all, so a
// failed write never leaves a truncated text that could pass for a conversion. Returns how many
// characters became "?", so that the loss is told rather than found later by a reader.
std::size_t CompleteSavedFile(const std::string& staged, const std::string& target, SaveFormat::Post post) {
  std::string bytes;
  // The office wrote the file, maybe as another account: what it left there is read only when
  // it is a file, never through a link it could have put in the text's place.
  if (!platform::ReadFileBytes(staged, bytes, kLargestOfficeFile, false))
    throw EOleError("The saved text file could not be read back");
  std::size_t unwritten = 0;
  if (post == SaveFormat::Utf16)
    bytes = StandInsToCr_Utf16Le(bytes);
  else if (post == SaveFormat::Utf8)
    bytes = StandInsToCr_Utf8(bytes);
  else if (post == SaveFormat::Ansi)
    bytes = platform::EncodeAnsi(StandInsToCr_Utf8(bytes), unwritten);
  else if (post == SaveFormat::Markdown)
    bytes = LfToCrLf(bytes);
  try {
    platform::WriteFileAtomic(target, bytes);
  } catch (const std::exception& e) {
    throw EOleError("The document could not be saved as text (" + ReasonOf(e) + ")", core::reason::kWrite);
  }
  return unwritten;
}

bool ModuleHasCode(const std::string& source) {
  size_t pos = 0;
  while (pos < source.size()) {
    size_t end = source.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = source.size();
    std::string line = source.substr(pos, end - pos);
    pos = end + 1;
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    line = line.substr(b);
    std::string head = line.substr(0, 7);
    for (auto& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // The office puts a REM banner into every new module, and imported VBA starts with
    // Option lines and Attribute lines: none of that is code.
    if (line[0] == '\'' || head.rfind("REM", 0) == 0 || head.rfind("OPTION ", 0) == 0 ||
        head.rfind("ATTRIBU", 0) == 0)
      continue;
    return true;
  }
  return false;
}

}  // namespace

std::string ExportFilterOf(int format) { return FormatFor(format, {}).filter; }

std::size_t SaveDocumentAs(const WriterDocument& doc, const std::string& target, int format,
                           const std::optional<std::string>& password, TextForm text) {
  CheckOpen(doc);
  if (target.empty()) throw EOleError("The document could not be saved: no file name was given");
  const SaveFormat f = FormatFor(format, text);
  std::vector<PropertyValue> props = {PropertyValue("FilterName", 0, Any(OUString::createFromAscii(f.filter)),
                                                    css::beans::PropertyState_DIRECT_VALUE),
                                      PropertyValue("Overwrite", 0, Any(true),
                                                    css::beans::PropertyState_DIRECT_VALUE)};
  if (!f.options.empty())
    props.emplace_back("FilterOptions", 0, Any(OUString::createFromAscii(f.options.c_str())),
                       css::beans::PropertyState_DIRECT_VALUE);
  if (password && !password->empty())
    props.emplace_back("Password", 0, Any(ToOU(*password)), css::beans::PropertyState_DIRECT_VALUE);
  const bool local = !LooksLikeUrl(target);
  // The file is written in a staging folder and moved to the target: addresses the export makes
  // relative (a Markdown file's linked pictures) must lead from where the file ends up.
  if (doc.absoluteAddresses)
    props.emplace_back("DocumentBaseURL", 0, Any(OUString()), css::beans::PropertyState_DIRECT_VALUE);
  else if (local)
    props.emplace_back("DocumentBaseURL", 0, Any(ToOU(OfficeUrl(target))), css::beans::PropertyState_DIRECT_VALUE);
  Sequence<PropertyValue> seq(static_cast<sal_Int32>(props.size()));
  for (size_t i = 0; i < props.size(); ++i) seq.getArray()[i] = props[i];

  Reference<css::frame::XStorable> storable(doc.component, UNO_QUERY_THROW);
  std::string folder = target.substr(0, target.find_last_of('/') + 1);
  if (folder.empty()) folder = ".";
  if (local && !platform::DirectoryExists(folder))
    throw EOleError("The document could not be saved as text (the folder does not exist)");
  std::optional<StagingFolder> staging;
  if (local) staging.emplace(doc.scratch);
  try {
    // storeToURL, not storeAsURL: the document stays what it was (read-only ones included).
    storable->storeToURL(ToOU(OfficeUrl(local ? staging->File() : target)), seq);
  } catch (const css::io::IOException& e) {
    std::string reason = FromOU(e.Message);
    if (reason.find("Access") != std::string::npos || reason.find("0x507") != std::string::npos)
      reason = "access denied";
    throw EOleError(std::string("The document could not be saved as text") +
                    (reason.empty() ? std::string() : " (" + reason + ")"));
  } catch (...) {
    // The kernel stops an office at the largest file it may write, and the office aborts.
    if (staging && staging->HoldsFileOf(kLargestOfficeFile))
      throw EOleServerGone("The text grew past " + std::to_string(kLargestOfficeFile >> 20) +
                               " MiB, the most a text may hold; the word processor was stopped",
                           core::reason::kBomb);
    throw;
  }
  return local ? CompleteSavedFile(staging->File(), target, f.post) : 0;
}

bool DocumentHasMacros(const WriterDocument& doc) {
  CheckOpen(doc);
  Reference<css::document::XEmbeddedScripts> scripts(doc.component, UNO_QUERY);
  if (!scripts.is()) return false;
  Reference<css::script::XLibraryContainer> libraries(scripts->getBasicLibraries(), UNO_QUERY);
  Reference<css::container::XNameAccess> names(libraries, UNO_QUERY);
  if (!names.is()) return false;
  const Sequence<OUString> libraryNames = names->getElementNames();
  for (sal_Int32 i = 0; i < libraryNames.getLength(); ++i) {
    if (!libraries->isLibraryLoaded(libraryNames[i])) libraries->loadLibrary(libraryNames[i]);
    Reference<css::container::XNameAccess> modules(names->getByName(libraryNames[i]), UNO_QUERY);
    if (!modules.is()) continue;
    const Sequence<OUString> moduleNames = modules->getElementNames();
    for (sal_Int32 m = 0; m < moduleNames.getLength(); ++m) {
      OUString source;
      if ((modules->getByName(moduleNames[m]) >>= source) && ModuleHasCode(FromOU(source))) return true;
    }
  }
  return false;
}

int DocumentPageCount(const WriterDocument& doc) {
  CheckOpen(doc);
  Reference<css::frame::XModel> model(doc.component, UNO_QUERY_THROW);
  Reference<css::beans::XPropertySet> controller(model->getCurrentController(), UNO_QUERY_THROW);
  sal_Int32 pages = 0;
  controller->getPropertyValue("PageCount") >>= pages;
  return pages;
}

void SelectionHomeKey(const WriterDocument& doc, int unit) {
  CheckOpen(doc);
  auto cursor = ViewCursor(doc);
  if (unit == 6) {
    cursor->gotoStart(false);
  } else if (unit == 5) {
    Reference<css::view::XLineCursor>(cursor, UNO_QUERY_THROW)->gotoStartOfLine(false);
  } else {
    throw EOleError("Bad parameter: unit " + std::to_string(unit));
  }
}

void SelectionGotoNext(const WriterDocument& doc, int what) {
  CheckOpen(doc);
  if (what != 1) throw EOleError("Bad parameter: what " + std::to_string(what));
  Reference<css::text::XPageCursor> pages(ViewCursor(doc), UNO_QUERY_THROW);
  if (pages->jumpToNextPage()) pages->jumpToStartOfPage();
}

void SelectionTypeText(const WriterDocument& doc, const std::string& text) {
  CheckOpen(doc);
  auto cursor = ViewCursor(doc);
  Reference<css::text::XText> body = cursor->getText();
  body->insertString(cursor->getStart(), ToOU(BellsToStandIns(text)), false);
}

}  // namespace automation::lo
