#pragma once
// The run log as JSON Lines: one object per document, for programs that read the log. Names
// are bytes on Linux; one that is not valid UTF-8 is written with U+FFFD in its place, and its
// exact bytes go beside it in base64, so a reader can still find the file. Pure functions; any
// thread.
#include <chrono>
#include <cstdint>
#include <string>

namespace batch {

struct JsonLogEntry {
  std::string time;     // when the document was settled, ISO 8601 in UTC; empty: left out
  std::string status;   // "success", "failure" or "skipped"
  std::string source;   // bytes as on disk ("-" for standard input)
  std::string target;   // bytes as on disk; empty: null (a failure, a skip)
  std::string message;  // UTF-8 text; empty for a success
  std::string reason;   // a failure's kind (core/FailureReason.h); empty: null
  int64_t milliseconds = 0;
  int64_t bytes = -1;  // of the text; below 0: null
  int32_t pages = -1;  // below 0: null
};

// One line, ended by "\n": {["time":..,]"status":..,"source":..,["source_base64":..,]"target":..,
// ["target_base64":..,]"message":..,"reason":..,"milliseconds":..,"bytes":..,"pages":..}.
std::string JsonLogLine(const JsonLogEntry& entry);

// moment as ISO 8601 in UTC to the millisecond: "2026-12-09T21:40:07.125Z".
std::string IsoUtc(std::chrono::system_clock::time_point moment);

// text as a JSON string literal, quotes included: control characters, quote and backslash
// escaped; every byte sequence that is not valid UTF-8 becomes U+FFFD. valid receives whether
// text was valid UTF-8.
std::string JsonString(const std::string& text, bool* valid = nullptr);

}  // namespace batch
