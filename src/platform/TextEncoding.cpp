#include "platform/TextEncoding.h"

#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>

namespace platform {

namespace {

std::string LocaleCharset() {
  locale_t loc = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return "UTF-8";
  std::string set = ::nl_langinfo_l(CODESET, loc);
  ::freelocale(loc);
  // The C locale reports plain ASCII; treating it as UTF-8 keeps every name intact.
  if (set.empty() || ::strcasecmp(set.c_str(), "ANSI_X3.4-1968") == 0 || ::strcasecmp(set.c_str(), "ASCII") == 0)
    return "UTF-8";
  return set;
}

bool IsUtf8(const std::string& set) {
  return ::strcasecmp(set.c_str(), "UTF-8") == 0 || ::strcasecmp(set.c_str(), "UTF8") == 0;
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is malformed.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i, char32_t& cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t len;
  if (c < 0x80) { cp = c; return 1; }
  if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
  else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
  else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
  else return 0;
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string SanitizeUtf8(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    std::size_t len = Utf8SequenceLength(s, i, cp);
    if (len == 0) {
      AppendUtf8(out, 0xFFFD);
      ++i;
    } else {
      out.append(s, i, len);
      i += len;
    }
  }
  return out;
}

// Converts with iconv; an input sequence that cannot be converted is replaced by `bad` in the
// output and skipped (one character for UTF-8 input, one byte otherwise), and counted in
// replaced when given.
std::string Convert(const std::string& in, const std::string& from, const std::string& to,
                    const std::string& bad, bool fromUtf8, std::size_t* replaced = nullptr) {
  iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  out.reserve(in.size() + 16);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char buf[4096];
  while (srcLeft > 0) {
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    std::size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ (not representable or malformed) or EINVAL (truncated at the end).
    std::size_t skip = 1;
    if (fromUtf8) {
      char32_t cp;
      std::string rest(src, std::min<std::size_t>(srcLeft, 4));
      std::size_t len = Utf8SequenceLength(rest, 0, cp);
      skip = len == 0 ? 1 : len;
    }
    skip = std::min(skip, srcLeft);
    src += skip;
    srcLeft -= skip;
    out += bad;
    if (replaced) ++*replaced;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf;
  std::size_t dstLeft = sizeof buf;
  ::iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.append(buf, static_cast<std::size_t>(dst - buf));
  ::iconv_close(cd);
  return out;
}

}  // namespace

const std::string& AnsiCharset() {
  static const std::string set = LocaleCharset();
  return set;
}

std::string EncodeCharset(const std::string& utf8, const std::string& charset, std::size_t* unwritten) {
  if (unwritten) *unwritten = 0;
  if (IsUtf8(charset)) return SanitizeUtf8(utf8);
  return Convert(utf8, "UTF-8", charset, "?", true, unwritten);
}

std::string EncodeAnsi(const std::string& utf8) { return EncodeCharset(utf8, AnsiCharset()); }

std::string EncodeAnsi(const std::string& utf8, std::size_t& unwritten) {
  return EncodeCharset(utf8, AnsiCharset(), &unwritten);
}

std::string DecodeAnsi(const std::string& bytes) {
  if (IsUtf8(AnsiCharset())) return SanitizeUtf8(bytes);
  return Convert(bytes, AnsiCharset(), "UTF-8", "\xEF\xBF\xBD", false);
}

std::string DecodeText(const std::string& bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return SanitizeUtf8(bytes.substr(3));
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) return Utf16ToUtf8(LeBytesToUtf16(bytes.substr(2)));
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0) {
    std::string swapped = bytes.substr(2);
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    return Utf16ToUtf8(LeBytesToUtf16(swapped));
  }
  return DecodeAnsi(bytes);
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp;
    std::size_t len = Utf8SequenceLength(utf8, i, cp);
    if (len == 0) {
      cp = 0xFFFD;
      len = 1;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf16ToLeBytes(const std::u16string& text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::u16string LeBytesToUtf16(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  return out;
}

std::string PercentEncodeNonAscii(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 0xF];
    }
  }
  return out;
}

std::size_t Utf8SequenceAt(const std::string& text, std::size_t i) {
  auto byte = [&](std::size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u; };
  auto tail = [&](std::size_t at) { return (byte(at) & 0xC0) == 0x80; };
  unsigned c = byte(i);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return tail(i + 1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    unsigned c1 = byte(i + 1);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F)) return 0;
    return tail(i + 1) && tail(i + 2) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    unsigned c1 = byte(i + 1);
    if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F)) return 0;
    return tail(i + 1) && tail(i + 2) && tail(i + 3) ? 4 : 0;
  }
  return 0;
}

std::string EscapeControls(const std::string& text) {
  static const char* hex = "0123456789abcdef";
  auto escape = [](std::string& out, unsigned char c) {
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 15];
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8SequenceAt(text, i);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || (length == 0 && c >= 0x80 && c <= 0x9F)) {
      escape(out, c);
    } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      escape(out, c);
      escape(out, static_cast<unsigned char>(text[i + 1]));
      i += 2;
      continue;
    } else if (length > 1) {
      out.append(text, i, length);
      i += length;
      continue;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out;
}

}  // namespace platform
