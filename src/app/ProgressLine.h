#pragma once
// What a headless run says on standard error. On a terminal: one line of progress (done, found
// so far, failures), redrawn in place, with notes (each failure) printed above it. Elsewhere (a
// cron job, a script's log): the notes only, one a line, and a summary at the end when documents
// failed, so that an unattended run that failed says so. Quiet: neither. Whatever standard error
// is, Say prints the reason a run could not be carried out, settings that could not be read or
// are not known, and texts that lost characters.
// Main thread.
#include <string>

namespace app {

class ProgressLine {
 public:
  // noRedraw: no line redrawn in place even on a terminal (the texts of -o - share it), only
  // the notes and the summary, one a line.
  explicit ProgressLine(bool quiet = false, bool noRedraw = false);
  void Show(int done, int found, int failed);
  // A line above the progress line, or a line of its own when standard error is no terminal.
  void Note(const std::string& text);
  // A closing line for a run in which documents failed; shown only when standard error is no
  // terminal (the progress line already says it there).
  void Summary(const std::string& text);
  // Ends the line so that the shell prompt starts on a fresh one.
  void Close();

  // "quillex: " and text as one line on standard error, always. Control characters (from file
  // names, say) are shown as "?", so no text can steer the terminal.
  static void Say(const std::string& text);

 private:
  enum class Mode { Terminal, Plain, Quiet };
  Mode mode_;
  bool drawn_ = false;
  std::string last_;
};

}  // namespace app
