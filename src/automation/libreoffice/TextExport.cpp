#include "automation/libreoffice/TextExport.h"

#include <filesystem>

namespace automation::lo {
namespace {

const std::string kStandInUtf8 = "\xEF\xB7\x90";  // U+FDD0

// Not isalnum: under a single-byte locale that would pass bytes of UTF-8 sequences.
bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (;;) {
    size_t hit = text.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace

std::string BellsToStandIns(const std::string& utf8) { return ReplaceAll(utf8, "\x07", kStandInUtf8); }

std::string StandInsToCr_Utf8(const std::string& bytes) { return ReplaceAll(bytes, kStandInUtf8, "\r"); }

std::string StandInsToCr_Utf16Le(const std::string& bytes) {
  std::string out = bytes;
  // Whole code units only: D0 FD straddling two units is other text.
  for (size_t i = 0; i + 1 < out.size(); i += 2) {
    if (static_cast<unsigned char>(out[i]) == 0xD0 && static_cast<unsigned char>(out[i + 1]) == 0xFD) {
      out[i] = '\r';
      out[i + 1] = '\0';
    }
  }
  return out;
}

bool LooksLikeUrl(const std::string& path) {
  size_t p = path.find("://");
  if (p == std::string::npos || p == 0) return false;
  for (size_t i = 0; i < p; ++i) {
    char c = path[i];
    bool ok = IsAsciiAlnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string FileUrlFromPath(const std::string& path) {
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(std::filesystem::path(path), ec).string();
  if (ec) absolute = path;
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : absolute) {
    if (IsAsciiAlnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

std::string OfficeUrl(const std::string& path) {
  return LooksLikeUrl(path) ? path : FileUrlFromPath(path);
}

}  // namespace automation::lo
