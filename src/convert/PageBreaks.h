#pragma once
// The page-break rewrite of a saved text file: every run of three carriage returns (where the
// page markers were typed) becomes one form feed, scanning left to right without overlap.
// Pure functions; any thread.
#include <string>

namespace convert {

// UTF-16LE contents: works on whole code units; a byte-order mark stays in place and
// an odd trailing byte is kept as it is.
std::string ReplacePageMarksUtf16(const std::string& bytes);
// Contents in UTF-8 or the locale's set: three 0x0D bytes become one 0x0C byte.
std::string ReplacePageMarksBytes(const std::string& bytes);

// Reads the file, replaces the marks (UTF-16LE or byte contents) and writes it back over itself,
// truncated to the new length. The line ends, CR LF or LF, play no part: the marks are three CR
// that no line end holds. Throws platform::EFileError when it cannot.
void RewritePageBreaks(const std::string& fileName, bool utf16);

}  // namespace convert
