#include "TestEnv.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/FileSystem.h"

#ifndef QX_TEST_SUPPORT_BIN
#error "QX_TEST_SUPPORT_BIN must name tests/support/bin"
#endif

namespace testsupport {

TempDir::TempDir() : path_(platform::MakeTempDirectory("quillex-test-")) {
  // A root run's offices run as another account, which must pass through to their profiles
  // when a test puts TMPDIR in here; nobody else can list what is inside.
  ::chmod(path_.c_str(), 0711);
}
TempDir::~TempDir() { platform::RemoveTree(path_); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::path(path)); }

RecordingOpener::RecordingOpener() : log_(dir_ / "xdg-open.log") {
  const char* old = std::getenv("PATH");
  oldPath_ = old ? old : "";
  std::string path = std::string(QX_TEST_SUPPORT_BIN) + ":" + oldPath_;
  ::setenv("PATH", path.c_str(), 1);
  ::setenv("QX_XDG_OPEN_LOG", log_.c_str(), 1);
}

RecordingOpener::~RecordingOpener() {
  ::setenv("PATH", oldPath_.c_str(), 1);
  ::unsetenv("QX_XDG_OPEN_LOG");
}

std::vector<std::string> RecordingOpener::Calls() const {
  std::vector<std::string> calls;
  std::ifstream in(log_);
  for (std::string line; std::getline(in, line);) calls.push_back(line);
  return calls;
}

std::vector<std::string> RecordingOpener::WaitForCalls(std::size_t n, std::chrono::milliseconds bound) const {
  WaitUntil([&] { return Calls().size() >= n; }, bound);
  return Calls();
}

bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds bound) {
  auto end = std::chrono::steady_clock::now() + bound;
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= end) return cond();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace testsupport
