#include "batch/cvMatch.h"

#include <atomic>

#include "batch/VBScriptRegex.h"

namespace batch {

namespace {
std::atomic<TcvMatchBase*> g_match{nullptr};
}

bool TcvMatchBase::Matches(const std::string&, const std::string&) { return true; }

bool TcvMatch::Matches(const std::string& name, const std::string& pattern) {
  try {
    return Regex::Test(pattern, Regex::IgnoreCase, name);
  } catch (...) {
    return true;
  }
}

std::string RegExtError(const std::string& pattern) {
  if (pattern.empty()) return std::string();
  try {
    Regex::Test(pattern, Regex::IgnoreCase, std::string());
  } catch (const ERegexException& e) {
    // 28 is the match budget, which says nothing about the pattern itself.
    if (e.Number() != 28) return e.what();
  }
  return std::string();
}

TcvMatchBase* cvMatch() { return g_match.load(); }
void SetCvMatch(TcvMatchBase* match) { g_match.store(match); }

}  // namespace batch
