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

// Makes every byte outside printable ASCII (blank included as printable) "%XX", so that links
// reach other programs intact and a control character can never split them.
std::string PercentEncodeNonAscii(const std::string& text);

}  // namespace platform
