#include "ProgramUnderTest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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

void CopyFile(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

std::string Utf16File(const std::string& path) {
  std::string bytes = testsupport::ReadFile(path);
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) bytes.erase(0, 2);
  return platform::Utf16ToUtf8(platform::LeBytesToUtf16(bytes));
}

bool OfficeOwnConversion(const std::string& profile, const std::string& outDir,
                         const std::vector<std::string>& docs, const std::string& convertTo,
                         std::chrono::seconds bound) {
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
  o.argv.insert(o.argv.end(), docs.begin(), docs.end());
  o.removeEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
  o.extraEnvironment = {"SAL_USE_VCLPLUGIN=svp"};
  // A fresh profile makes the first start end with a restart request: start it again then.
  for (int start = 0; start < 2; ++start) {
    auto office = platform::Process::Start(o);
    auto exit = office->WaitFor(bound);
    auto sockets = testsupport::BoundSockets(office->Pid());
    office->KillAndReap();
    for (const auto& s : sockets) std::filesystem::remove(s);
    if (!exit) return false;
    if (exit->signaled || exit->code != 81) return true;
  }
  return true;
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
