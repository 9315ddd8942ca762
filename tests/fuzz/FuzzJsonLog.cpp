// The JSON log over names and messages of any bytes: every entry must be exactly one line that
// a real JSON parser reads back as one object, with the fields a reader relies on and the
// exact bytes of a name that is not UTF-8 in its base64 twin.
#include <nlohmann/json.hpp>

#include "FuzzInput.h"
#include "batch/JsonLog.h"

namespace {

std::string Base64Decode(const std::string& text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    std::size_t v = kAlphabet.find(c);
    fuzz::Check(v != std::string::npos);
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

// The name as the log keeps it: null when there is none, its base64 twin when it has one, else
// the string itself.
void CheckName(const nlohmann::json& line, const char* key, const std::string& bytes) {
  if (bytes.empty()) {
    fuzz::Check(line[key].is_null());
    return;
  }
  const std::string twin = std::string(key) + "_base64";
  if (line.contains(twin))
    fuzz::Check(Base64Decode(line[twin].get<std::string>()) == bytes);
  else
    fuzz::Check(line[key].get<std::string>() == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  auto parts = fuzz::Parts(data, size, 4);
  batch::JsonLogEntry entry;
  entry.status = parts[3].size() % 2 ? "success" : "failure";
  entry.source = parts[0];
  entry.target = parts[1];
  entry.message = parts[2];
  entry.reason = entry.status == "failure" ? parts[3] : "";
  entry.milliseconds = static_cast<int64_t>(size) * 1000;
  entry.bytes = parts[1].empty() ? -1 : static_cast<int64_t>(parts[1].size());
  const std::string text = batch::JsonLogLine(entry);
  fuzz::Check(!text.empty() && text.back() == '\n');
  fuzz::Check(text.find('\n') == text.size() - 1);
  fuzz::Check(text.find('\r') == std::string::npos);
  nlohmann::json line = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  fuzz::Check(line.is_object());
  fuzz::Check(line["status"] == entry.status);
  CheckName(line, "source", entry.source);
  CheckName(line, "target", entry.target);
  fuzz::Check(line["milliseconds"] == entry.milliseconds);
  fuzz::Check(line["reason"].is_null() == entry.reason.empty());
  return 0;
}
