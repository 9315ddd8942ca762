#pragma once
// What the automation members do to one open Writer document: save in a Word format number,
// look for macros, count pages, and move and type at the view cursor. Called inside
// WriterServer::Guard, on the server's thread; UNO exceptions pass through to it.
#include <optional>
#include <string>

#include "automation/libreoffice/WriterServer.h"

namespace automation::lo {

// How the text formats write their text, from SaveAs's Encoding and LineEnding arguments:
// format 7 is UTF-16LE with a byte-order mark, or UTF-8 without one; format 2 the ANSI code
// page. Line ends are CR LF or LF alone. Other formats ignore it.
struct TextForm {
  bool utf8 = false;
  bool lf = false;
};

// The Word format numbers we save: 0 .doc, 2 ANSI text, 6 RTF, 7 Unicode text, 8 HTML,
// 12/16 .docx, 13 .docm, 17 PDF, and kFormatMarkdown (UTF-8; LF, or CR LF with text.lf unset).
// Others throw EOleError. Returns the number of characters the ANSI text could not hold
// (written as "?"); 0 for every other format.
std::size_t SaveDocumentAs(const WriterDocument& doc, const std::string& target, int format,
                           const std::optional<std::string>& password, TextForm text = {});
// The office's export filter that writes a Word format number; throws as SaveDocumentAs for a
// number it does not save.
std::string ExportFilterOf(int format);
// True when the document carries Basic (or imported VBA) code.
bool DocumentHasMacros(const WriterDocument& doc);
int DocumentPageCount(const WriterDocument& doc);

// Word's unit numbers: 6 the whole document (story), 5 the line.
void SelectionHomeKey(const WriterDocument& doc, int unit);
// Word's "what" numbers: 1 the next page (its start). At the last page nothing moves.
void SelectionGotoNext(const WriterDocument& doc, int what);
// Inserts at the view cursor; U+0007 travels as a stand-in (see TextExport.h).
void SelectionTypeText(const WriterDocument& doc, const std::string& text);

}  // namespace automation::lo
