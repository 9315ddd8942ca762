#pragma once
// The regular-expression component of the engine: the VBScript dialect (JavaScript-like:
// ".", "*", "?", "+", "^", "$", classes, groups, alternation, backslash escapes) over PCRE2.
//
// Stateless class functions; any thread, concurrently. Compiled patterns are kept in a small
// process-wide cache guarded by its own lock, so a pattern tested against many names is
// compiled once; the answers are those of a fresh compilation.
//
// Every match runs under a bounded backtracking budget: a pattern that would take exponential
// time (such as "(a+)+$" against a long name) fails fast with ERegexException instead of
// hanging the thread. Subjects that are not valid UTF-8 (Linux file names are bytes) are
// matched as if each stray byte were U+FFFD; Replace keeps those bytes as they were.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace batch {

// An error of the component. ErrorCode() is the full error code (facility 0x800A plus the
// number, as the scripting runtime reports it); Number() its low 16 bits. The message is the
// runtime's English text for the numbers in the table, the component's own text otherwise.
class ERegexException : public std::runtime_error {
 public:
  ERegexException(uint32_t errorCode, const std::string& message);
  // Builds the exception for a runtime error number, message from the table.
  static ERegexException FromNumber(uint16_t number, const std::string& fallback = std::string());
  // The table's message for a number; empty when the table has none.
  static std::string MessageOf(uint16_t number);

  uint32_t ErrorCode() const { return errorCode_; }
  uint16_t Number() const { return static_cast<uint16_t>(errorCode_ & 0xFFFF); }

 private:
  uint32_t errorCode_;
};

class Regex {
 public:
  static constexpr uint8_t IgnoreCase = 0x1;
  static constexpr uint8_t Multiline = 0x2;

  // True when pattern matches anywhere in subject. Without Multiline, "^" and "$" match only
  // at the very start and end of the subject. Throws ERegexException for a pattern the
  // dialect rejects (5017..5021) or a match that exceeds its budget (28).
  static bool Test(const std::string& pattern, uint8_t options, const std::string& subject);

  // The subject with its first match replaced (case-sensitive, no options). The replacement
  // may use "$$", "$&", "$`", "$'" and "$1".."$99". Throws as Test.
  static std::string Replace(const std::string& pattern, const std::string& subject,
                             const std::string& replacement);
};

}  // namespace batch
