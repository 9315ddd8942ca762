#pragma once
// Text encodings. Inside the program all text is UTF-8. Files that the program shares with
// the user (project files, run logs, list exports, "Ansi" targets) use the "ANSI code page":
// the character set of the locale named by the environment (LC_ALL, LC_CTYPE, LANG), where the
// plain C/POSIX locale counts as UTF-8. Stateless apart from a cached charset; any thread.
#include <cstddef>
#include <string>

namespace platform {

// The iconv name of the ANSI code page, e.g. "UTF-8" or "ISO-8859-1".
const std::string& AnsiCharset();
// UTF-8 to the ANSI code page; a character the code page cannot hold becomes "?". With
// unwritten, the number of characters that became "?" (a malformed UTF-8 byte counts as one).
std::string EncodeAnsi(const std::string& utf8);
std::string EncodeAnsi(const std::string& utf8, std::size_t& unwritten);
std::string EncodeCharset(const std::string& utf8, const std::string& charset,
                          std::size_t* unwritten = nullptr);
// The ANSI code page to UTF-8; bytes that do not decode become U+FFFD.
std::string DecodeAnsi(const std::string& bytes);
// Text file contents to UTF-8: a byte-order mark (UTF-8, UTF-16LE, UTF-16BE) selects that
// encoding and is dropped; otherwise the ANSI code page is assumed.
std::string DecodeText(const std::string& bytes);

// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD; never throws.
std::u16string Utf8ToUtf16(const std::string& utf8);
std::string Utf16ToUtf8(const std::u16string& utf16);
// UTF-16 code units <-> little-endian bytes (an odd last byte is dropped).
std::string Utf16ToLeBytes(const std::u16string& text);
std::u16string LeBytesToUtf16(const std::string& bytes);

// The length of the valid UTF-8 sequence at text[i], 0 when there is none: no overlong forms,
// no surrogates, nothing above U+10FFFF.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i);

// Text for a line a person reads (a text log, a terminal): every control character (C0, DEL,
// and C1 whether as a UTF-8 character or as a stray byte) is written as an escape: \n, \r, \t,
// or \xHH for each of its bytes; everything else stays as it is, a backslash included. A name
// can then never end a line early, forge another, or drive the terminal.
std::string EscapeControls(const std::string& text);

// Makes every byte outside printable ASCII (blank included as printable) "%XX", so that links
// reach other programs intact and a control character can never split them.
std::string PercentEncodeNonAscii(const std::string& text);

}  // namespace platform
