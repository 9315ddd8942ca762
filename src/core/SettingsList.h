#pragma once
// An ordered list of Name=Value lines: the project settings and the information store both
// follow its rules. The name is the text before the first "=", the value the text after it,
// blanks included. Lookups ignore letter case and take the first matching line; setting an
// empty value deletes that line; lines of any other form stay untouched and are never found.
// Not thread-safe: its owner serialises access.
#include <initializer_list>
#include <string>
#include <vector>

namespace core {

class SettingsList {
 public:
  SettingsList() = default;

  // The value of the first line named name; empty when there is none.
  std::string Value(const std::string& name) const;
  // Replaces the first matching line's value, appends a line, or (value empty) deletes it.
  void SetValue(const std::string& name, const std::string& value);
  bool Has(const std::string& name) const;

  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLines(std::vector<std::string> lines) { lines_ = std::move(lines); }
  // Lines split at CR LF, LF or a lone CR; a final line break adds no empty line.
  void SetText(const std::string& text);
  // Every line followed by CR LF.
  std::string Text() const;
  void Clear() { lines_.clear(); }

  static std::vector<std::string> SplitLines(const std::string& text);

 private:
  // Index of the first line named name, or -1.
  long Find(const std::string& name) const;

  std::vector<std::string> lines_;
};

// Boolean reading of a setting: empty gives def; a whole number gives false for 0 and true
// otherwise; "True"/"False", "Yes"/"No", "On"/"Off" in any letter case; anything else gives def.
bool ReadBool(const std::string& value, bool def);
// A decimal 32-bit integer (optional sign); anything else, empty included, gives def.
int ReadInt(const std::string& value, int def);
// A shard "K/N" of decimal numbers with 1 <= K <= N; false for anything else, empty included.
bool ReadShard(const std::string& value, int& index, int& count);
// Case-insensitive comparison of ASCII letters, as setting names and Boolean words use.
bool SameText(const std::string& a, const std::string& b);
// Which of the words a setting of a few fixed values accepts the value is, letter case ignored;
// -1 for any other.
int WordIndex(const std::string& value, std::initializer_list<const char*> words);

}  // namespace core
