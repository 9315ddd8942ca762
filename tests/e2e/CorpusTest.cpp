// The whole shared corpus of real, damaged and hostile Word documents, converted with two
// workers: every document is accounted for once, the run ends within its bound, no office is
// left behind, and whatever LibreOffice's own batch conversion can read converts here too, to
// the very same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "ProgramUnderTest.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

const std::string kCorpus = QX_CORPUS_DIR;

// One way of writing the corpus out: the program's settings, and the same office's own export
// to compare with.
struct Form {
  std::string settings;   // appended to the program's -P: settings
  std::string convertTo;  // soffice --convert-to
  std::string ext;        // of the files both write
  bool picturesVary = false;  // Markdown: compared as AsMarkdownReadsIt reads it
};
const Form kText{"", "txt:Text (encoded):UNICODE,CRLF", ".txt"};
// Markdown writes pictures: those the office draws itself (shapes, charts) come out at a size
// that varies from run to run, its own export's too, and a linked picture's address leads to
// the folder each read the document from (the peer the corpus, we a copy of it). And an empty
// paragraph whose mark Word hid, between a table and a heading, is one more blank line when
// the office has a view, as its export has; finding such marks would mean reading every
// paragraph, so without a view that blank line may be missing, which Markdown reads as the
// same break. So pictures are compared by their place and their text, runs of blank lines as
// one, everything else byte for byte.
const Form kMarkdown{";Format=Markdown", "md", ".md", true};

// The Markdown with each picture's address ("![text](address)") left out, and each run of
// blank lines as one.
std::string AsMarkdownReadsIt(std::string md) {
  for (std::size_t at = md.find("\n\n\n"); at != std::string::npos; at = md.find("\n\n\n", at)) md.erase(at, 1);
  for (std::size_t at = md.find("!["); at != std::string::npos; at = md.find("![", at + 2)) {
    const std::size_t open = md.find("](", at);
    const std::size_t close = open == std::string::npos ? open : md.find(')', open);
    if (close == std::string::npos) break;
    md.erase(open + 2, close - open - 2);
  }
  return md;
}

// What soffice --convert-to exports, by source path. Each extension gets an output folder
// of its own, since x.doc and x.docx would both become x.txt.
std::map<std::string, std::string> PeerConvertible(const TempDir& work, const Form& form) {
  std::map<std::string, std::vector<std::string>> byExt;
  for (auto& e : fs::directory_iterator(kCorpus)) byExt[e.path().extension()].push_back(e.path());
  std::map<std::string, std::string> ok;
  for (auto& [ext, files] : byExt) {
    std::string outDir = work / ("peer" + ext);
    if (!e2e::OfficeOwnConversion(work / "peer-profile", outDir, files, form.convertTo, std::chrono::seconds(600)))
      ADD_FAILURE() << "the peer conversion did not end";
    for (const auto& f : files) {
      std::string text = outDir + "/" + fs::path(f).stem().string() + form.ext;
      if (fs::exists(text)) ok[f] = text;
    }
  }
  return ok;
}

// The corpus copied into one folder per extension, so that x.doc and x.docx get targets of their
// own (x.txt in two folders) and each can be compared. The copies keep the documents' names (a
// field may show its file's name); links would be entries of their own, not documents.
std::string CopiedByExtension(const TempDir& work) {
  std::string in = work / "in";
  for (auto& e : fs::directory_iterator(kCorpus)) {
    fs::path folder = fs::path(in) / e.path().extension().string().substr(1);
    fs::create_directories(folder);
    fs::copy_file(e.path(), folder / e.path().filename());
  }
  return in;
}

void ConvertEveryDocumentAndCompare(const Form& form) {
  TempDir work;
  std::set<std::string> all;
  for (auto& e : fs::directory_iterator(kCorpus)) all.insert(e.path());
  std::map<std::string, std::string> peer = PeerConvertible(work, form);
  std::string in = CopiedByExtension(work);

  e2e::ProgramUnderTest program;
  std::string log = work / "out/run.log";
  int status = program.Run("-P:Source=" + in + "/*.doc?;Subdir=True;Target=" + work / "out" +
                               ";PureConsole=True;ThreadsCount=2;ConvertTimeout=60000;LogFile=" + log + form.settings,
                           std::chrono::seconds(1200));
  ASSERT_NE(status, -1) << "the run did not end within its bound";
  EXPECT_TRUE(status == 0 || status == 1) << status;

  std::map<std::string, int> seen;
  std::set<std::string> failed;
  size_t compared = 0;
  for (const auto& line : e2e::ReadLines(log)) {
    auto first = line.find(" => ");
    auto second = line.find(" => ", first + 4);
    ASSERT_NE(second, std::string::npos) << line;
    std::string source =
        kCorpus + "/" + fs::path(line.substr(first + 4, second - first - 4)).filename().string();
    ++seen[source];
    if (line.rfind("Failure", 0) == 0) {
      failed.insert(source);
      continue;
    }
    EXPECT_EQ(line.rfind("Success", 0), 0u) << line;
    auto peerText = peer.find(source);
    if (peerText == peer.end()) continue;
    // No exceptions: every text the peer writes is matched byte for byte.
    ++compared;
    std::string ours = testsupport::ReadFile(line.substr(second + 4));
    std::string theirs = testsupport::ReadFile(peerText->second);
    if (ours != theirs && form.picturesVary) {
      ours = AsMarkdownReadsIt(ours);
      theirs = AsMarkdownReadsIt(theirs);
      if (ours == theirs) std::cout << "[ corpus ] equal but for pictures' addresses or blank lines: " << source << "\n";
    }
    EXPECT_TRUE(ours == theirs) << "the text differs from LibreOffice's own export: " << source;
  }
  for (const auto& f : all) EXPECT_EQ(seen[f], 1) << "log lines for " << f;
  EXPECT_EQ(seen.size(), all.size());
  const std::size_t failures = failed.size();
  // The one difference allowed: files some offices read as plain text (26.8 reads damaged OLE
  // files so) fail here as no documents. Converted with AnyFile=True, as LibreOffice would,
  // each must give the peer's very bytes: then the type check alone made the difference.
  TempDir asText;
  std::map<std::string, std::string> refused;  // copy in asText -> the corpus document
  for (const auto& f : failed)
    if (peer.count(f)) {
      const std::string copy =
          asText / ("in/" + fs::path(f).extension().string().substr(1) + "-" + fs::path(f).filename().string());
      e2e::CopyFile(f, copy);
      refused[copy] = f;
    }
  if (!refused.empty()) {
    const std::string anyLog = asText / "run.log";
    program.Run("-P:Source=" + asText / "in" + "/*.doc?;Target=" + asText / "out" +
                    ";PureConsole=True;ThreadsCount=2;ConvertTimeout=60000;AnyFile=True;LogFile=" + anyLog +
                    form.settings,
                std::chrono::seconds(600));
    for (const auto& [copy, outcome] : e2e::Outcomes(e2e::ReadLines(anyLog))) {
      auto doc = refused.find(copy);
      if (doc == refused.end() || outcome.status != "Success") continue;
      if (testsupport::ReadFile(outcome.message) == testsupport::ReadFile(peer[doc->second])) {
        std::cout << "[ corpus ] read as plain text by this office, refused as no document: " << doc->second << "\n";
        ++compared;
        failed.erase(doc->second);
      }
    }
  }
  for (const auto& f : failed) EXPECT_EQ(peer.count(f), 0u) << "LibreOffice reads it, we failed: " << f;
  EXPECT_EQ(compared, peer.size()) << "every text the peer wrote has one of ours to compare with";
  std::cout << "[ corpus ] " << all.size() << " documents, " << failures << " failed; the peer read "
            << peer.size() << "; " << compared << " texts compared byte for byte\n";

  testsupport::WaitUntil([&] { return program.Offices().empty(); }, std::chrono::seconds(10));
  for (int pid : program.Offices()) ADD_FAILURE() << "soffice left: " << pid;
}

}  // namespace

TEST(Corpus, EveryDocumentIsAccountedForAndWhatThePeerReadsConverts) {
  // The corpus lives beside the checkout (shared/corpus/word), as in CI; a checkout without it
  // has nothing to run here.
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
  ConvertEveryDocumentAndCompare(kText);
}

// An office with the Markdown filter writes the corpus as its own --convert-to md does, to
// files and to standard output alike; one without it refuses the run in one line, making
// nothing.
TEST(Corpus, MarkdownIsTheOfficesOwnOrRefusedInOneLine) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
  TempDir work;
  const std::string doc = kCorpus + "/ComplexNumberedLists.docx";
  const std::string piped = work / "piped.md";
  ASSERT_TRUE(fs::exists(doc));
  e2e::ProgramUnderTest program;
  int status = program.RunScript("\"$QX\" --headless --format markdown -o - '" + doc + "' > '" + piped + "'",
                                 std::chrono::seconds(120));
  ASSERT_NE(status, -1) << "the run did not end within its bound";
  if (program.Stderr().find("Markdown needs LibreOffice 26.2") != std::string::npos) {
    EXPECT_EQ(status, 2);
    EXPECT_EQ(testsupport::ReadFile(piped), "");
    const std::string out = work / "out";
    EXPECT_EQ(program.RunWith({"--headless", "--format", "markdown", "-o", out, doc}, std::chrono::seconds(120)), 2);
    EXPECT_FALSE(fs::exists(out + "/ComplexNumberedLists.md"));
    std::cout << "[ corpus ] this office has no Markdown filter: refused as it must\n";
    return;
  }
  EXPECT_EQ(status, 0) << program.Stderr();
  ASSERT_TRUE(e2e::OfficeOwnConversion(work / "peer-profile", work / "peer", {doc}, "md"));
  EXPECT_EQ(testsupport::ReadFile(piped), testsupport::ReadFile(work / "peer/ComplexNumberedLists.md"));

  // Relative addresses lead where they lead from the original, seen from the target: the office
  // reads a private copy and writes in a staging folder, and the file may name neither.
  const std::string sub = work / "src/sub";
  fs::create_directories(sub);
  testsupport::WriteFile(sub + "/links.html",
                         "<html><body><p><a href=\"other.doc\">near</a> <a href=\"../up/y.html\">up</a></p>"
                         "<p><img src=\"pic.png\" alt=\"linked\"></p></body></html>");
  testsupport::WriteFile(sub + "/pic.png", "\x89PNG\r\n\x1a\n");
  ASSERT_TRUE(e2e::OfficeOwnConversion(work / "peer-profile", sub, {sub + "/links.html"}, "docx:MS Word 2007 XML"));
  ASSERT_TRUE(e2e::OfficeOwnConversion(work / "peer-profile", work / "peer", {sub + "/links.docx"}, "md"));
  const std::string theirs = testsupport::ReadFile(work / "peer/links.md");
  ASSERT_NE(theirs.find("(../src/sub/pic.png)"), std::string::npos) << theirs;
  ASSERT_NE(theirs.find("/src/up/y.html)"), std::string::npos) << theirs;
  EXPECT_EQ(program.RunWith({"--headless", "--format", "markdown", "-o", work / "out", sub + "/links.docx"},
                            std::chrono::seconds(120)),
            0);
  EXPECT_EQ(testsupport::ReadFile(work / "out/links.md"), theirs);
  // Standard output has no place to lead from: there the picture's address is absolute.
  const std::string streamed = work / "streamed.md";
  EXPECT_EQ(program.RunScript("\"$QX\" --headless --format markdown -o - '" + sub + "/links.docx' > '" + streamed + "'",
                              std::chrono::seconds(120)),
            0);
  EXPECT_NE(testsupport::ReadFile(streamed).find("(file://" + sub + "/pic.png)"), std::string::npos)
      << testsupport::ReadFile(streamed);

  ConvertEveryDocumentAndCompare(kMarkdown);
}
