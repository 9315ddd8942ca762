#include "core/SettingsList.h"

#include <cctype>
#include <charconv>

namespace core {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

int WordIndex(const std::string& value, std::initializer_list<const char*> words) {
  int i = 0;
  for (const char* word : words) {
    if (SameText(value, word)) return i;
    ++i;
  }
  return -1;
}

long SettingsList::Find(const std::string& name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto eq = lines_[i].find('=');
    if (eq == std::string::npos) continue;
    if (eq == name.size() && SameText(lines_[i].substr(0, eq), name)) return static_cast<long>(i);
  }
  return -1;
}

std::string SettingsList::Value(const std::string& name) const {
  long i = Find(name);
  if (i < 0) return std::string();
  const auto& line = lines_[static_cast<std::size_t>(i)];
  return line.substr(line.find('=') + 1);
}

bool SettingsList::Has(const std::string& name) const { return Find(name) >= 0; }

void SettingsList::SetValue(const std::string& name, const std::string& value) {
  long i = Find(name);
  if (value.empty()) {
    if (i >= 0) lines_.erase(lines_.begin() + i);
    return;
  }
  if (i >= 0)
    lines_[static_cast<std::size_t>(i)] = lines_[static_cast<std::size_t>(i)].substr(0, name.size()) + "=" + value;
  else
    lines_.push_back(name + "=" + value);
}

std::vector<std::string> SettingsList::SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

void SettingsList::SetText(const std::string& text) { lines_ = SplitLines(text); }

std::string SettingsList::Text() const {
  std::string out;
  for (const auto& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

int ReadInt(const std::string& value, int def) {
  if (value.empty()) return def;
  const char* first = value.data();
  const char* last = first + value.size();
  if (*first == '+') ++first;
  int result = 0;
  auto [ptr, ec] = std::from_chars(first, last, result);
  if (ec != std::errc() || ptr != last || first == last) return def;
  return result;
}

bool ReadShard(const std::string& value, int& index, int& count) {
  auto slash = value.find('/');
  if (slash == std::string::npos) return false;
  // Digits only: a sign or blank would make "+1/2" and "1/2" two spellings that scripts and
  // people compare differently.
  auto number = [](const std::string& text, int& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
  };
  int k = 0, n = 0;
  if (!number(value.substr(0, slash), k) || !number(value.substr(slash + 1), n)) return false;
  if (k < 1 || k > n) return false;
  index = k;
  count = n;
  return true;
}

bool ReadBool(const std::string& value, bool def) {
  if (value.empty()) return def;
  // Project files written by hand say yes or off as often as True or False.
  for (const char* word : {"true", "yes", "on"})
    if (SameText(value, word)) return true;
  for (const char* word : {"false", "no", "off"})
    if (SameText(value, word)) return false;
  const char* first = value.data();
  const char* last = first + value.size();
  if (*first == '+' || *first == '-') ++first;
  if (first == last) return def;
  for (const char* p = first; p != last; ++p)
    if (!std::isdigit(static_cast<unsigned char>(*p))) return def;
  for (const char* p = first; p != last; ++p)
    if (*p != '0') return true;
  return false;
}

}  // namespace core
