#include "ProgramUnderTest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include "core/SettingsList.h"
#include "core/cvInfo.h"
#include "platform/Process.h"
#include "platform/TextEncoding.h"

namespace e2e {

ProgramUnderTest::ProgramUnderTest() : exe_(dir_ / "bin/quillex"), tmp_(dir_ / "tmp") {
  std::filesystem::create_directories(dir_ / "bin");
  std::filesystem::create_directories(tmp_);
  std::filesystem::copy_file(QX_PROGRAM_PATH, exe_);
  std::filesystem::permissions(exe_, std::filesystem::perms::owner_all);
}

int ProgramUnderTest::Run(const std::string& firstParam, std::chrono::seconds bound,
                          const std::vector<std::string>& extraEnv) {
  return RunWith(firstParam.empty() ? std::vector<std::string>{} : std::vector<std::string>{firstParam},
                 bound, extraEnv);
}

int ProgramUnderTest::RunWith(const std::vector<std::string>& args, std::chrono::seconds bound,
                              const std::vector<std::string>& extraEnv) {
  // The shell only points standard error at a file and gives way to the program.
  std::vector<std::string> argv = {"/bin/sh", "-c", "exec 2>\"$0\"; exec \"$@\"", dir_ / "stderr", exe_};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunArgv(argv, bound, extraEnv);
}

int ProgramUnderTest::RunScript(const std::string& script, std::chrono::seconds bound,
                                const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env = extraEnv;
  env.push_back("QX=" + exe_);
  return RunArgv({"/bin/bash", "-c", "exec 2>\"$0\"; " + script, dir_ / "stderr"}, bound, env);
}

int ProgramUnderTest::RunArgv(const std::vector<std::string>& argv, std::chrono::seconds bound,
                              const std::vector<std::string>& extraEnv) {
  platform::ProcessOptions o;
  o.argv = argv;
  o.extraEnvironment = extraEnv;
  tmp_ = dir_ / "tmp";
  bool ownTmp = true;
  for (const auto& e : extraEnv)
    if (e.rfind("TMPDIR=", 0) == 0) {
      tmp_ = e.substr(7);
      ownTmp = false;
    }
  if (ownTmp) o.extraEnvironment.push_back("TMPDIR=" + tmp_);
  o.removeEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
  // Set QX_TEST_PROGRAM_OUTPUT to see what the program prints (sanitizer reports among it).
  o.keepOutput = std::getenv("QX_TEST_PROGRAM_OUTPUT") != nullptr;
  auto p = platform::Process::Start(o);
  auto exit = p->WaitFor(bound);
  if (!exit) {
    p->KillAndReap();
    return -1;
  }
  if (o.keepOutput) std::fputs(Stderr().c_str(), stderr);
  // The opener runs detached; give a report link a moment to land in the log.
  testsupport::WaitUntil([] { return false; }, std::chrono::milliseconds(300));
  return exit->signaled ? -2 : exit->code;
}

std::string ProgramUnderTest::Stderr() const { return testsupport::ReadFile(dir_ / "stderr"); }

std::string ProgramUnderTest::Counter(const std::string& key) const {
  std::vector<std::string> lines;
  core::TcvInfo::DecodeStore(testsupport::ReadFile(dir_ / "bin/quillex.ext"), lines);
  core::SettingsList store;
  store.SetLines(lines);
  return store.Value(key);
}

std::vector<std::string> ReadLines(const std::string& path) {
  return core::SettingsList::SplitLines(testsupport::ReadFile(path));
}

void ProgramUnderTest::ExpectNoOfficesLeft() const {
  testsupport::WaitUntil([&] { return Offices().empty(); }, std::chrono::seconds(10));
  for (int pid : Offices()) ADD_FAILURE() << "soffice left running: " << pid;
}

std::vector<int> ProgramUnderTest::Offices() const { return testsupport::OfficesUnder(tmp_); }

std::vector<std::string> FilesWithExtension(const std::string& folder, const std::string& ext) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().extension() == "." + ext) files.push_back(e.path());
  return files;
}

void CopyFile(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

std::string Utf16File(const std::string& path) {
  std::string bytes = testsupport::ReadFile(path);
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) bytes.erase(0, 2);
  return platform::Utf16ToUtf8(platform::LeBytesToUtf16(bytes));
}

namespace {

// How long the office's own batch may go without writing the next output before the document
// it is on counts as one it cannot convert.
constexpr auto kPeerStall = std::chrono::seconds(60);

std::string OutputOf(const std::string& outDir, const std::string& doc, const std::string& convertTo) {
  return outDir + "/" + std::filesystem::path(doc).stem().string() + "." + convertTo.substr(0, convertTo.find(':'));
}

}  // namespace

bool OfficeOwnConversion(const std::string& profile, const std::string& outDir,
                         const std::vector<std::string>& docs, const std::string& convertTo,
                         std::chrono::seconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  // Some offices stall on a document in a batch and never end (25.2 on the shared corpus): the
  // batch goes on after it in a new process, so that a stall costs one document, not the run.
  std::vector<std::string> pending = docs;
  int restarts = 0;
  while (!pending.empty()) {
    platform::ProcessOptions o;
    o.argv = {"/usr/lib/libreoffice/program/soffice.bin",
              "--headless",
              "--norestore",
              "--nologo",
              "-env:UserInstallation=file://" + profile,
              "--convert-to",
              convertTo,
              "--outdir",
              outDir};
    o.argv.insert(o.argv.end(), pending.begin(), pending.end());
    o.removeEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
    o.extraEnvironment = {"SAL_USE_VCLPLUGIN=svp"};
    auto office = platform::Process::Start(o);
    std::size_t written = 0;  // outputs of pending seen so far
    auto lastProgress = std::chrono::steady_clock::now();
    std::optional<platform::ProcessExit> exit;
    while (!(exit = office->WaitFor(std::chrono::milliseconds(500)))) {
      const auto now = std::chrono::steady_clock::now();
      std::size_t seen = 0;
      for (const auto& doc : pending) seen += std::filesystem::exists(OutputOf(outDir, doc, convertTo)) ? 1 : 0;
      if (seen != written) {
        written = seen;
        lastProgress = now;
      }
      if (now >= deadline || now - lastProgress >= kPeerStall) break;
    }
    auto sockets = testsupport::BoundSockets(office->Pid());
    office->KillAndReap();
    for (const auto& s : sockets) std::filesystem::remove(s);
    if (std::chrono::steady_clock::now() >= deadline && !exit) return false;
    // A fresh profile makes the first start end with a restart request: start it again then.
    if (exit && !exit->signaled && exit->code == 81 && restarts++ < 2) continue;
    if (exit) return true;
    // Stalled: the document after the last one written is the one it is on.
    std::size_t at = 0;
    for (std::size_t i = 0; i < pending.size(); ++i)
      if (std::filesystem::exists(OutputOf(outDir, pending[i], convertTo))) at = i + 1;
    std::cerr << "[ peer ] LibreOffice's own conversion stalled on " << pending[std::min(at, pending.size() - 1)]
              << "; it goes on after it\n";
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(std::min(at + 1, pending.size())));
  }
  return true;
}

std::map<std::string, Outcome> Outcomes(const std::vector<std::string>& lines) {
  std::map<std::string, Outcome> out;
  for (const auto& l : lines) {
    auto a = l.find(" => ");
    auto b = l.find(" => ", a + 4);
    if (a == std::string::npos || b == std::string::npos) {
      ADD_FAILURE() << "malformed log line: " << l;
      continue;
    }
    std::string source = l.substr(a + 4, b - a - 4);
    EXPECT_TRUE(out.emplace(source, Outcome{l.substr(0, a), l.substr(b + 4)}).second) << "two lines for " << source;
  }
  return out;
}

std::string OfficeVersionLine() {
  std::string line;
  if (std::FILE* p = ::popen("/usr/lib/libreoffice/program/soffice --version 2>/dev/null", "r")) {
    char buffer[256];
    if (std::fgets(buffer, sizeof buffer, p)) line = buffer;
    ::pclose(p);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace e2e
