#pragma once
// Path text helpers. Paths are UTF-8 strings with "/" as the only delimiter: ":" is an
// ordinary character on Linux, so nothing here cuts at it. Pure functions, any thread.
#include <string>

namespace platform {

constexpr char PathDelim = '/';

// The text up to and including the last "/"; empty when there is none.
std::string ExtractFilePath(const std::string& path);
// The text after the last "/".
std::string ExtractFileName(const std::string& path);
// The extension of the file-name part, from its last "." on; empty when it has none.
std::string ExtractFileExt(const std::string& path);
// Replaces the extension of the file-name part (from its last "."), or appends ext when the
// name has no dot.
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);

// A "file:" address (the scheme in any letter case) as a path: file:///home/a/x.doc gives
// /home/a/x.doc, the host form file://srv/share/x.doc gives //srv/share/x.doc,
// file://localhost/x the local /x, and file:/// an empty string. Escapes are decoded
// (file:///a%20b/x.doc gives "/a b/x.doc"), except "%00" and a "%" that starts none, which
// stay as written. Anything else comes back unchanged, escapes included: a path is never
// decoded.
std::string FileUrlToPath(const std::string& path);
// The length of the URL scheme that text begins with ("http" in http://srv/, "mailto" in
// mailto:a@b): letters, digits, "+", "-" or "." beginning with a letter, in any letter case,
// followed by ":". 0 when text begins with none.
std::size_t UrlSchemeLength(const std::string& text);
// True for "scheme://...": an address, never a path of this machine.
bool HasUrlScheme(const std::string& text);
// True for an address the word processor would fetch: "scheme://..." with any scheme but
// file. A local path never is one, whatever it contains (/data/http-logs/a.doc).
bool IsWebAddress(const std::string& text);

}  // namespace platform
