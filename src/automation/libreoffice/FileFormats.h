#pragma once
// What Word would call the format of a file LibreOffice opened: the import filter the office
// chose, as a Word save format (WdSaveFormat). A converter asks it to tell documents from files
// that the office only read as plain text. No UNO here: filters are names.
#include <string>

namespace automation::lo {

// Word's save formats that matter to a caller.
inline constexpr int kFormatDocument = 0;       // wdFormatDocument (Word 97-2003 and older)
inline constexpr int kFormatTemplate = 1;       // wdFormatTemplate
inline constexpr int kFormatText = 2;           // wdFormatText
inline constexpr int kFormatRtf = 6;            // wdFormatRTF
inline constexpr int kFormatEncodedText = 7;    // wdFormatEncodedText (wdFormatUnicodeText)
inline constexpr int kFormatHtml = 8;           // wdFormatHTML
inline constexpr int kFormatXml2003 = 11;       // wdFormatXML
inline constexpr int kFormatXmlDocument = 12;   // wdFormatXMLDocument
inline constexpr int kFormatXmlMacros = 13;     // wdFormatXMLDocumentMacroEnabled
inline constexpr int kFormatXmlTemplate = 14;   // wdFormatXMLTemplate
inline constexpr int kFormatOpenDocument = 23;  // wdFormatOpenDocumentText
// Ours: Word has no Markdown format, and no number of its own comes near this one.
inline constexpr int kFormatMarkdown = 100;

// The save format of a file read with LibreOffice's import filter. A filter of a document kind
// Word has no number for counts as a document (kFormatDocument); only the office's plain-text
// filters give a text format.
int SaveFormatOfFilter(const std::string& filter);

}  // namespace automation::lo
