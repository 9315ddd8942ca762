#include "batch/VBScriptRegex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace batch {

namespace {

constexpr uint32_t kFacility = 0x800A0000u;

struct ErrorText {
  uint16_t number;
  const char* message;
};

// The scripting runtime's English messages; searched from the start, the first equal number wins.
constexpr ErrorText kErrors[] = {
    {5, "Invalid procedure call or argument"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {9, "Subscript out of range"},
    {10, "This array is fixed or temporarily locked"},
    {11, "Division by zero"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {17, "Can't perform requested operation"},
    {28, "Out of stack space"},
    {35, "Sub or function not defined"},
    {48, "Error in loading DLL"},
    {51, "Internal error"},
    {91, "Object variable not set"},
    {92, "For loop not initialized"},
    {94, "Invalid use of Null"},
    {424, "Object required"},
    {429, "ActiveX component can't create object"},
    {430, "Class doesn't support Automation"},
    {432, "File name or class name not found during Automation operation"},
    {438, "Object doesn't support this property or method"},
    {445, "Object doesn't support this action"},
    {447, "Object doesn't support current locale setting"},
    {448, "Named argument not found"},
    {449, "Argument not optional"},
    {450, "Wrong number of arguments or invalid property assignment"},
    {451, "Object not a collection"},
    {458, "Variable uses an Automation type not supported in VBScript"},
    {462, "The remote server machine does not exist or is unavailable"},
    {481, "Invalid picture"},
    {500, "Variable is undefined"},
    {502, "Object not safe for scripting"},
    {503, "Object not safe for initializing"},
    {504, "Object not safe for creating"},
    {505, "Invalid or unqualified reference"},
    {506, "Class not defined"},
    {507, "An exception occurred"},
    {5008, "Illegal assignment"},
    {5017, "Syntax error in regular expression"},
    {5018, "Unexpected quantifier"},
    {5019, "Expected ']' in regular expression"},
    {5020, "Expected ')' in regular expression"},
    {5021, "Invalid range in character set"},
};
static_assert(std::size(kErrors) == 43);

constexpr uint16_t kSyntaxError = 5017;
constexpr uint16_t kUnexpectedQuantifier = 5018;
constexpr uint16_t kExpectedBracket = 5019;
constexpr uint16_t kExpectedParen = 5020;
constexpr uint16_t kInvalidRange = 5021;
constexpr uint16_t kOutOfStack = 28;
constexpr uint16_t kOutOfMemory = 7;
constexpr uint16_t kInvalidCall = 5;

// Generous for any file name (a 4 KiB path costs a few thousand steps with the masks we
// build), yet a catastrophic pattern gives up within milliseconds.
constexpr uint32_t kMatchLimit = 1000000;
constexpr uint32_t kDepthLimit = 100000;
constexpr std::size_t kCacheSize = 64;

uint16_t MapCompileError(int code) {
  switch (code) {
    case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS: return kExpectedParen;
    case PCRE2_ERROR_MISSING_SQUARE_BRACKET: return kExpectedBracket;
    case PCRE2_ERROR_QUANTIFIER_INVALID: return kUnexpectedQuantifier;
    case PCRE2_ERROR_CLASS_RANGE_ORDER: return kInvalidRange;
    default: return kSyntaxError;
  }
}

std::string Pcre2Message(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  return n < 0 ? std::string("regular expression error ") + std::to_string(code)
               : std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
}

// A compiled pattern, or the error its compilation gave: failures are cached too, so an
// invalid user expression is not recompiled for every file of a large folder.
struct Compiled {
  pcre2_code* code = nullptr;
  uint16_t errorNumber = 0;
  std::string errorText;
  ~Compiled() { pcre2_code_free(code); }
};

std::shared_ptr<const Compiled> CompilePattern(const std::string& pattern, uint8_t options) {
  uint32_t flags = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                   PCRE2_NEVER_BACKSLASH_C;
  if (options & Regex::IgnoreCase) flags |= PCRE2_CASELESS;
  flags |= (options & Regex::Multiline) ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  auto result = std::make_shared<Compiled>();
  int error = 0;
  PCRE2_SIZE offset = 0;
  result->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags,
                               &error, &offset, nullptr);
  if (!result->code) {
    result->errorNumber = MapCompileError(error);
    result->errorText = Pcre2Message(error);
  }
  return result;
}

class PatternCache {
 public:
  std::shared_ptr<const Compiled> Get(const std::string& pattern, uint8_t options) {
    std::string key = pattern;
    key.push_back('\0');
    key.push_back(static_cast<char>(options));
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto it = map_.find(key);
      if (it != map_.end()) return it->second;
    }
    // Compiled outside the lock: two threads may compile the same pattern once each, which
    // is cheaper than serialising every compilation.
    auto compiled = CompilePattern(pattern, options);
    std::lock_guard<std::mutex> guard(lock_);
    auto [it, inserted] = map_.emplace(key, compiled);
    if (inserted) {
      order_.push_back(key);
      if (order_.size() > kCacheSize) {
        map_.erase(order_.front());
        order_.pop_front();
      }
    }
    return it->second;
  }

 private:
  std::mutex lock_;
  std::unordered_map<std::string, std::shared_ptr<const Compiled>> map_;
  std::deque<std::string> order_;
};

PatternCache& Cache() {
  static PatternCache cache;
  return cache;
}

// Read-only after creation, so one context serves every thread.
const pcre2_match_context* MatchContext() {
  static pcre2_match_context* context = [] {
    pcre2_match_context* c = pcre2_match_context_create(nullptr);
    if (c) {
      pcre2_set_match_limit(c, kMatchLimit);
      pcre2_set_depth_limit(c, kDepthLimit);
    }
    return c;
  }();
  return context;
}

class MatchData {
 public:
  explicit MatchData(const pcre2_code* code) : data_(pcre2_match_data_create_from_pattern(code, nullptr)) {
    if (!data_) throw ERegexException::FromNumber(kOutOfMemory);
  }
  ~MatchData() { pcre2_match_data_free(data_); }
  MatchData(const MatchData&) = delete;
  MatchData& operator=(const MatchData&) = delete;
  pcre2_match_data* get() const { return data_; }

 private:
  pcre2_match_data* data_;
};

// Runs one match from the start of subject; returns the number of captured pairs, 0 for no
// match, and throws for anything else.
int RunMatch(const Compiled& compiled, const std::string& subject, MatchData& data) {
  int rc = pcre2_match(compiled.code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0,
                       data.get(), const_cast<pcre2_match_context*>(MatchContext()));
  if (rc >= 0) return rc == 0 ? static_cast<int>(pcre2_get_ovector_count(data.get())) : rc;
  if (rc == PCRE2_ERROR_NOMATCH) return 0;
  switch (rc) {
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT: throw ERegexException::FromNumber(kOutOfStack);
    case PCRE2_ERROR_NOMEMORY: throw ERegexException::FromNumber(kOutOfMemory);
    default: throw ERegexException::FromNumber(kInvalidCall, Pcre2Message(rc));
  }
}

std::shared_ptr<const Compiled> Prepare(const std::string& pattern, uint8_t options) {
  auto compiled = Cache().Get(pattern, options);
  if (!compiled->code) throw ERegexException::FromNumber(compiled->errorNumber, compiled->errorText);
  return compiled;
}

// Length of the well-formed UTF-8 sequence at text[i] (overlong forms, surrogates and values
// past U+10FFFF are not well formed); 0 when there is none.
std::size_t SequenceLength(const std::string& text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  unsigned char second = byte(i + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F))
    return 0;
  return length;
}

// File names on Linux are bytes, not always UTF-8. A subject with stray bytes is matched as
// if each were U+FFFD, so that "." and ".*" step over it as they would over any character;
// origin maps every offset of the clean text back to the subject.
bool CleanSubject(const std::string& subject, std::string& clean, std::vector<std::size_t>* origin) {
  std::size_t i = 0;
  while (i < subject.size()) {
    std::size_t n = SequenceLength(subject, i);
    if (n == 0) break;
    i += n;
  }
  if (i == subject.size()) return false;
  clean.assign(subject, 0, i);
  if (origin)
    for (std::size_t k = 0; k < i; ++k) origin->push_back(k);
  while (i < subject.size()) {
    std::size_t n = SequenceLength(subject, i);
    if (n == 0) {
      clean += "\xEF\xBF\xBD";
      if (origin) origin->insert(origin->end(), 3, i);
      ++i;
    } else {
      clean.append(subject, i, n);
      if (origin)
        for (std::size_t k = 0; k < n; ++k) origin->push_back(i + k);
      i += n;
    }
  }
  if (origin) origin->push_back(subject.size());
  return true;
}

// Expands "$" forms of a replacement the way the scripting engine does: "$nn" takes two
// digits when that group exists, else one; a form that names no group stays literal.
std::string ExpandReplacement(const std::string& replacement, const std::string& subject,
                              const PCRE2_SIZE* ovector, int pairs) {
  auto group = [&](int n) -> std::string {
    if (n >= pairs || ovector[2 * n] == PCRE2_UNSET) return std::string();
    return subject.substr(ovector[2 * n], ovector[2 * n + 1] - ovector[2 * n]);
  };
  std::string out;
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    char c = replacement[i];
    if (c != '$' || i + 1 >= replacement.size()) {
      out += c;
      continue;
    }
    char d = replacement[i + 1];
    if (d == '$') {
      out += '$';
      ++i;
    } else if (d == '&') {
      out += group(0);
      ++i;
    } else if (d == '`') {
      out += subject.substr(0, ovector[0]);
      ++i;
    } else if (d == '\'') {
      out += subject.substr(ovector[1]);
      ++i;
    } else if (d >= '0' && d <= '9') {
      int one = d - '0';
      int two = (i + 2 < replacement.size() && replacement[i + 2] >= '0' && replacement[i + 2] <= '9')
                    ? one * 10 + (replacement[i + 2] - '0')
                    : -1;
      if (two > 0 && two < pairs) {
        out += group(two);
        i += 2;
      } else if (one > 0 && one < pairs) {
        out += group(one);
        ++i;
      } else {
        out += c;
      }
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

ERegexException::ERegexException(uint32_t errorCode, const std::string& message)
    : std::runtime_error(message), errorCode_(errorCode) {}

std::string ERegexException::MessageOf(uint16_t number) {
  for (const auto& e : kErrors)
    if (e.number == number) return e.message;
  return std::string();
}

ERegexException ERegexException::FromNumber(uint16_t number, const std::string& fallback) {
  std::string message = MessageOf(number);
  return ERegexException(kFacility | number, message.empty() ? fallback : message);
}

bool Regex::Test(const std::string& pattern, uint8_t options, const std::string& subject) {
  auto compiled = Prepare(pattern, options);
  MatchData data(compiled->code);
  std::string clean;
  const std::string& text = CleanSubject(subject, clean, nullptr) ? clean : subject;
  return RunMatch(*compiled, text, data) > 0;
}

std::string Regex::Replace(const std::string& pattern, const std::string& subject,
                           const std::string& replacement) {
  auto compiled = Prepare(pattern, 0);
  MatchData data(compiled->code);
  std::string clean;
  std::vector<std::size_t> origin;
  bool cleaned = CleanSubject(subject, clean, &origin);
  int pairs = RunMatch(*compiled, cleaned ? clean : subject, data);
  if (pairs == 0) return subject;
  std::vector<PCRE2_SIZE> ovector(pcre2_get_ovector_pointer(data.get()),
                                  pcre2_get_ovector_pointer(data.get()) + 2 * pairs);
  if (cleaned)
    for (auto& offset : ovector)
      if (offset != PCRE2_UNSET) offset = origin[offset];
  return subject.substr(0, ovector[0]) + ExpandReplacement(replacement, subject, ovector.data(), pairs) +
         subject.substr(ovector[1]);
}

}  // namespace batch
