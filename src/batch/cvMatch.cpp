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

TcvMatchBase* cvMatch() { return g_match.load(); }
void SetCvMatch(TcvMatchBase* match) { g_match.store(match); }

}  // namespace batch
