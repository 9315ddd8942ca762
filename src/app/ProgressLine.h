#pragma once
// What a headless run says on standard error. One line of progress (done, found so far,
// failures), redrawn in place and shown only when standard error is a terminal, with notes
// (each failure) printed above it; and lines printed whatever standard error is, for the
// reason a run could not be carried out, for settings that could not be read or are not known,
// and for texts that lost characters.
// Main thread.
#include <string>

namespace app {

class ProgressLine {
 public:
  ProgressLine();
  void Show(int done, int found, int failed);
  // A line above the progress line; nothing when standard error is no terminal.
  void Note(const std::string& text);
  // Ends the line so that the shell prompt starts on a fresh one.
  void Close();
  bool Enabled() const { return enabled_; }

  // "quillex: " and text as one line on standard error, always. Control characters (from file
  // names, say) are shown as "?", so no text can steer the terminal.
  static void Say(const std::string& text);

 private:
  bool enabled_;
  bool drawn_ = false;
  std::string last_;
};

}  // namespace app
