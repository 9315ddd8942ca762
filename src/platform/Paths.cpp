#include "platform/Paths.h"

#include <strings.h>

namespace platform {

std::string ExtractFilePath(const std::string& path) {
  auto pos = path.rfind(PathDelim);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileName(const std::string& path) {
  auto pos = path.rfind(PathDelim);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string ExtractFileExt(const std::string& path) {
  auto name = ExtractFileName(path);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  auto delim = path.rfind(PathDelim);
  auto dot = path.rfind('.');
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim)) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path;
  return path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path.substr(0, path.size() - 1);
  return path;
}

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// File managers and browsers hand out addresses with every blank and non-ASCII byte escaped;
// the path behind one is the bytes the escapes stand for. A "%" that starts no escape is a
// character of the name, and "%00" stays as written: no path of this machine holds a NUL, and
// decoding it would cut the path short where the system reads it.
std::string PercentDecoded(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    int high = -1, low = -1;
    if (text[i] == '%' && i + 2 < text.size()) {
      high = HexValue(text[i + 1]);
      low = HexValue(text[i + 2]);
    }
    if (high < 0 || low < 0 || (high == 0 && low == 0)) {
      out += text[i];
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

}  // namespace

std::string FileUrlToPath(const std::string& path) {
  static const std::string kScheme = "file:";
  if (path.size() < kScheme.size() || ::strncasecmp(path.c_str(), kScheme.c_str(), kScheme.size()) != 0)
    return path;
  std::size_t start = path.find_first_not_of('/', kScheme.size());
  if (start == std::string::npos) return std::string();
  std::string rest = PercentDecoded(path.substr(start));
  // Two slashes name a host (file://server/share/x.doc); one or three start a local absolute
  // path. "localhost" is this machine, as the URL rules say.
  if (start - kScheme.size() == 2) {
    std::size_t end = rest.find('/');
    if (end != std::string::npos && ::strncasecmp(rest.c_str(), "localhost", end) == 0 && end == 9)
      return rest.substr(end);
    return "//" + rest;
  }
  return "/" + rest;
}

std::size_t UrlSchemeLength(const std::string& text) {
  std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || !IsAsciiLetter(text[0])) return 0;
  for (std::size_t i = 1; i < colon; ++i) {
    char c = text[i];
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return 0;
  }
  return colon;
}

bool HasUrlScheme(const std::string& text) {
  std::size_t scheme = UrlSchemeLength(text);
  return scheme > 0 && text.compare(scheme, 3, "://") == 0;
}

bool IsWebAddress(const std::string& text) {
  if (!HasUrlScheme(text)) return false;
  return !(UrlSchemeLength(text) == 4 && strncasecmp(text.c_str(), "file", 4) == 0);
}

}  // namespace platform
