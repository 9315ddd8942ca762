// The whole shared corpus of real, damaged and hostile Word documents, converted with two
// workers: every document is accounted for once, the run ends within its bound, no office is
// left behind, and whatever LibreOffice's own batch conversion can read converts here too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "ProgramUnderTest.h"
#include "platform/Process.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

const std::string kCorpus = QX_CORPUS_DIR;

// The documents soffice --convert-to loads and exports, by source path. Each extension gets an
// output folder of its own, since x.doc and x.docx would both become x.txt.
std::set<std::string> PeerConvertible(const TempDir& work) {
  std::map<std::string, std::vector<std::string>> byExt;
  for (auto& e : fs::directory_iterator(kCorpus)) byExt[e.path().extension()].push_back(e.path());
  std::set<std::string> ok;
  for (auto& [ext, files] : byExt) {
    std::string outDir = work / ("peer" + ext);
    platform::ProcessOptions o;
    o.argv = {"/usr/lib/libreoffice/program/soffice", "--headless", "--norestore",
              "-env:UserInstallation=file://" + work / "peer-profile", "--convert-to",
              "txt:Text (encoded):UNICODE,CRLF", "--outdir", outDir};
    o.argv.insert(o.argv.end(), files.begin(), files.end());
    auto p = platform::Process::Start(o);
    if (!p->WaitFor(std::chrono::seconds(600))) {
      p->KillAndReap();
      ADD_FAILURE() << "the peer conversion did not end";
    }
    for (const auto& f : files)
      if (fs::exists(outDir + "/" + fs::path(f).stem().string() + ".txt")) ok.insert(f);
  }
  return ok;
}

}  // namespace

TEST(Corpus, EveryDocumentIsAccountedForAndWhatThePeerReadsConverts) {
  // The corpus lives beside the checkout (shared/corpus/word), as in CI; a checkout without it
  // has nothing to run here.
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
  TempDir work;
  std::set<std::string> all;
  for (auto& e : fs::directory_iterator(kCorpus)) all.insert(e.path());
  std::set<std::string> peer = PeerConvertible(work);

  e2e::ProgramUnderTest program;
  std::string log = work / "out/run.log";
  int status = program.Run("-P:Source=" + kCorpus + "/*.doc?;Target=" + work / "out" +
                               ";PureConsole=True;ThreadsCount=2;ConvertTimeout=60000;LogFile=" + log,
                           std::chrono::seconds(1200));
  ASSERT_NE(status, -1) << "the run did not end within its bound";
  EXPECT_TRUE(status == 0 || status == 1) << status;

  std::map<std::string, int> seen;
  std::set<std::string> failed;
  for (const auto& line : e2e::ReadLines(log)) {
    auto first = line.find(" => ");
    auto second = line.find(" => ", first + 4);
    ASSERT_NE(second, std::string::npos) << line;
    std::string source = line.substr(first + 4, second - first - 4);
    ++seen[source];
    if (line.rfind("Failure", 0) == 0) failed.insert(source);
    else EXPECT_EQ(line.rfind("Success", 0), 0u) << line;
  }
  for (const auto& f : all) EXPECT_EQ(seen[f], 1) << "log lines for " << f;
  EXPECT_EQ(seen.size(), all.size());
  for (const auto& f : failed) EXPECT_EQ(peer.count(f), 0u) << "LibreOffice reads it, we failed: " << f;
  std::cout << "[ corpus ] " << all.size() << " documents, " << failed.size() << " failed; the peer read "
            << peer.size() << "\n";

  testsupport::WaitUntil([&] { return program.Offices().empty(); }, std::chrono::seconds(10));
  for (int pid : program.Offices()) ADD_FAILURE() << "soffice left: " << pid;
}
