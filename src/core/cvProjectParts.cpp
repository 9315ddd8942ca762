#include "core/cvProject.h"

#include <initializer_list>

#include "core/SettingsList.h"

// The settings that choose what of a document goes into its text: Include, Changes, HiddenText.
namespace core {
namespace {

const char* const kParts[] = {"notes", "headers", "comments", "frames"};

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The known words of a comma list, in their canonical order; unknown is set when any word is not one.
std::string PartsOf(const std::string& list, bool& unknown) {
  bool has[4] = {};
  unknown = false;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string word = Trimmed(list.substr(start, comma - start));
    bool known = word.empty();
    for (int i = 0; i < 4; ++i)
      if (SameText(word, kParts[i])) known = has[i] = true;
    unknown = unknown || !known;
    start = comma + 1;
  }
  std::string parts;
  for (int i = 0; i < 4; ++i)
    if (has[i]) parts += (parts.empty() ? "" : ",") + std::string(kParts[i]);
  return parts;
}

std::string WordOf(const std::string& value, std::initializer_list<const char*> words) {
  const int i = WordIndex(Trimmed(value), words);
  return i < 0 ? std::string() : words.begin()[i];
}

}  // namespace

std::string TcvProject::Include() const {
  bool unknown = false;
  return PartsOf(Value("Include"), unknown);
}

std::string TcvProject::Changes() const {
  std::string word = WordOf(Value("Changes"), {"show", "accept", "reject"});
  return word.empty() ? "show" : word;
}

std::string TcvProject::HiddenText() const {
  std::string word = WordOf(Value("HiddenText"), {"keep", "drop"});
  return word.empty() ? "keep" : word;
}

// A list with one unknown word still takes the words it knows, and says which it took.
void TcvProject::AddUnreadableTextParts(std::vector<TUnreadableSetting>& found) const {
  bool unknown = false;
  std::string parts = PartsOf(Value("Include"), unknown);
  if (unknown) found.push_back({"Include", Value("Include"), parts});
  if (std::string v = Value("Changes"); !v.empty() && WordOf(v, {"show", "accept", "reject"}).empty())
    found.push_back({"Changes", v, "show"});
  if (std::string v = Value("HiddenText"); !v.empty() && WordOf(v, {"keep", "drop"}).empty())
    found.push_back({"HiddenText", v, "keep"});
}

}  // namespace core
