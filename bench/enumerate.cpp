// Times one recursive enumeration of a folder by the batch engine, as a search from the
// main window would run it: mask "*.doc?", the regular-expression filter installed, lock
// files skipped. Prints the number of entries and the seconds taken.
#include <chrono>
#include <cstdio>
#include <string>

#include "batch/cvBatch.h"
#include "batch/cvMatch.h"
#include "platform/FileSystem.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [MASK]\n", argv[0]);
    return 2;
  }
  std::string mask = argc > 2 ? argv[2] : "*.doc?";
  batch::TcvMatch match;
  batch::SetCvMatch(&match);
  batch::SetSkipLockFiles(true);
  std::string target = platform::MakeTempDirectory("qx-bench-");
  auto start = std::chrono::steady_clock::now();
  int count = 0;
  {
    batch::TcvBatch b;
    b.Start(std::string(argv[1]) + "/" + mask, target, true);
    b.WaitFor();
    count = b.Count();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  platform::RemoveTree(target);
  batch::SetCvMatch(nullptr);
  std::printf("%d %.6f\n", count, seconds);
  return 0;
}
