#include "app/ProgressLine.h"

#include <cstdio>

#include "platform/Terminal.h"
#include "platform/TextEncoding.h"

namespace app {

namespace {

// Names reach the terminal too: no control character of theirs may drive it.
std::string Printable(const std::string& text) { return platform::EscapeControls(text); }

}  // namespace

ProgressLine::ProgressLine(bool quiet, bool noRedraw)
    : mode_(quiet                                       ? Mode::Quiet
            : !noRedraw && platform::StderrIsTerminal() ? Mode::Terminal
                                                        : Mode::Plain) {}

void ProgressLine::Show(int done, int found, int failed) {
  if (mode_ != Mode::Terminal) return;
  std::string line = "quillex: " + std::to_string(done) + " of " + std::to_string(found) + " done, " +
                     std::to_string(failed) + " failed";
  if (line == last_) return;
  last_ = line;
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::Note(const std::string& text) {
  if (mode_ == Mode::Quiet) return;
  if (mode_ == Mode::Plain) {
    std::fprintf(stderr, "%s\n", Printable(text).c_str());
    std::fflush(stderr);
    return;
  }
  std::fprintf(stderr, "\r\033[K%s\n", Printable(text).c_str());
  if (drawn_) std::fprintf(stderr, "%s", last_.c_str());
  std::fflush(stderr);
}

void ProgressLine::Summary(const std::string& text) {
  if (mode_ == Mode::Plain) Say(text);
}

void ProgressLine::Close() {
  if (mode_ == Mode::Terminal && drawn_) {
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  drawn_ = false;
}

void ProgressLine::Say(const std::string& text) {
  std::fprintf(stderr, "quillex: %s\n", Printable(text).c_str());
  std::fflush(stderr);
}

}  // namespace app
