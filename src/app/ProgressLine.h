#pragma once
// One line of progress on standard error (done, found so far, failures), redrawn in place,
// shown only when standard error is a terminal. Main thread.
#include <string>

namespace app {

class ProgressLine {
 public:
  ProgressLine();
  void Show(int done, int found, int failed);
  // Ends the line so that the shell prompt starts on a fresh one.
  void Close();
  bool Enabled() const { return enabled_; }

 private:
  bool enabled_;
  bool drawn_ = false;
  std::string last_;
};

}  // namespace app
