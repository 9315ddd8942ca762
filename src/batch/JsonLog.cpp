#include "batch/JsonLog.h"

#include <cstdio>
#include <ctime>

#include "platform/TextEncoding.h"

namespace batch {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

std::string Base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
    out += digits[(n >> 18) & 63];
    out += digits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? digits[n & 63] : '=';
  }
  return out;
}

std::string Number(int64_t value) { return value < 0 ? "null" : std::to_string(value); }

// "name":value for a name, with "name_base64" after it when the bytes are no valid UTF-8.
std::string NameField(const char* key, const std::string& name) {
  if (name.empty()) return "\"" + std::string(key) + "\":null";
  bool valid = true;
  std::string field = "\"" + std::string(key) + "\":" + JsonString(name, &valid);
  if (!valid) field += ",\"" + std::string(key) + "_base64\":\"" + Base64(name) + "\"";
  return field;
}

}  // namespace

std::string JsonString(const std::string& text, bool* valid) {
  static const char* hex = "0123456789abcdef";
  std::string out = "\"";
  bool allValid = true;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = platform::Utf8SequenceAt(text, i);
    if (length == 0) {
      allValid = false;
      out += kReplacement;
      ++i;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (length > 1) {
      out.append(text, i, length);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  if (valid) *valid = allValid;
  return out + "\"";
}

std::string IsoUtc(std::chrono::system_clock::time_point moment) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  std::tm tm{};
  ::gmtime_r(&seconds, &tm);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(((ms % 1000) + 1000) % 1000));
  return text;
}

std::string JsonLogLine(const JsonLogEntry& e) {
  return "{" + (e.time.empty() ? std::string() : "\"time\":" + JsonString(e.time) + ",") +
         "\"status\":" + JsonString(e.status) + "," + NameField("source", e.source) + "," +
         NameField("target", e.target) + ",\"message\":" + JsonString(e.message) +
         ",\"reason\":" + (e.reason.empty() ? std::string("null") : JsonString(e.reason)) +
         ",\"milliseconds\":" + Number(e.milliseconds) + ",\"bytes\":" + Number(e.bytes) +
         ",\"pages\":" + Number(e.pages) + "}\n";
}

}  // namespace batch
