#pragma once
// The file-name matcher the batch consults for every name it finds. The program installs one
// process-wide TcvMatch at start-up (SetCvMatch) and removes it at the end; tests may install
// their own matcher. Without one, every name passes.
//
// Threads: Matches runs on the batch's enumeration thread and on the front end's thread
// (AddLastFile). Matchers keep no state, so one instance serves every thread. The accessor is
// atomic; the installed matcher must outlive every batch that may consult it.
#include <string>

namespace batch {

class TcvMatchBase {
 public:
  virtual ~TcvMatchBase() = default;
  // True when name matches pattern. The base matcher accepts everything.
  virtual bool Matches(const std::string& name, const std::string& pattern);
};

// Case-insensitive regular-expression search. Never fails: a pattern that cannot be tested
// (invalid, or too costly to evaluate) counts as a match, so a broken user expression lets
// names through rather than silently emptying the job list.
class TcvMatch : public TcvMatchBase {
 public:
  bool Matches(const std::string& name, const std::string& pattern) override;
};

// Why a RegExt pattern cannot be used, in the component's words; empty when it compiles (an
// empty pattern filters nothing). Front ends check this before a run starts: the matcher above
// lets every name through a broken pattern, which must never decide what a run converts.
std::string RegExtError(const std::string& pattern);

TcvMatchBase* cvMatch();
void SetCvMatch(TcvMatchBase* match);

}  // namespace batch
