#include "app/ProgressLine.h"

#include <cstdio>

#include "platform/Terminal.h"

namespace app {

ProgressLine::ProgressLine() : enabled_(platform::StderrIsTerminal()) {}

void ProgressLine::Show(int done, int found, int failed) {
  if (!enabled_) return;
  std::string line = "quillex: " + std::to_string(done) + " of " + std::to_string(found) + " done, " +
                     std::to_string(failed) + " failed";
  if (line == last_) return;
  last_ = line;
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::Close() {
  if (enabled_ && drawn_) {
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  drawn_ = false;
}

}  // namespace app
