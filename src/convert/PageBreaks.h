#pragma once
// The page-break rewrite of a saved text file: every run of three carriage returns (where the
// page markers were typed) becomes one form feed, scanning left to right without overlap.
// Pure functions; any thread.
#include <string>

namespace convert {

// UTF-16LE contents (format 7): works on whole code units; a byte-order mark stays in place and
// an odd trailing byte is kept as it is.
std::string ReplacePageMarksUtf16(const std::string& bytes);
// Single-byte contents (format 2): three 0x0D bytes become one 0x0C byte.
std::string ReplacePageMarksBytes(const std::string& bytes);

// Reads the file, replaces the marks for the given save format (7 or 2) and writes it back over
// itself, truncated to the new length. Throws platform::EFileError when it cannot.
void RewritePageBreaks(const std::string& fileName, int saveFormat);

}  // namespace convert
