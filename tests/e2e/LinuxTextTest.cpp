// Text the way Linux tools read it, through the built program with real conversions: every
// encoding and line end, the program as a filter on both standard streams, the combinations a
// filter refuses, a reader that stops early, and the JSON log as jq reads it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ProgramUnderTest.h"
#include "ZipWriter.h"
#include "platform/TextEncoding.h"

using e2e::ProgramUnderTest;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const std::string kSamples = QX_SAMPLES_DIR;

// Accents, CJK, an emoji (beyond the 16-bit range) and a page break.
std::string MixedDocument() {
  return testsupport::DocxPackage(
      "<w:p><w:r><w:t>caf\xC3\xA9 na\xC3\xAFve</w:t></w:r></w:p>"
      "<w:p><w:r><w:t>\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80</w:t></w:r></w:p>"
      "<w:p><w:r><w:br w:type=\"page\"/><w:t>next page</w:t></w:r></w:p>",
      "");
}

// The document's text with the given line end, form feed where the page breaks.
std::string MixedText(const std::string& eol) {
  return "caf\xC3\xA9 na\xC3\xAFve" + eol + "\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80" + eol +
         "\fnext page" + eol;
}

std::string Utf16Le(const std::string& utf8) {
  return "\xFF\xFE" + platform::Utf16ToLeBytes(platform::Utf8ToUtf16(utf8));
}

struct LinuxTextFixture : ::testing::Test {
  ProgramUnderTest program;
  TempDir work;
  std::string in = work / "in";
  std::string out = work / "out";
  std::string mixed = in + "/mixed.docx";

  void SetUp() override {
    std::filesystem::create_directories(in);
    testsupport::WriteFile(mixed, MixedDocument());
  }
  void TearDown() override { program.ExpectNoOfficesLeft(); }
  std::string Quoted(const std::string& path) const { return "'" + path + "'"; }
};

}  // namespace

TEST_F(LinuxTextFixture, EveryEncodingAndLineEndGivesItsExactBytesWithThePageBreak) {
  struct Row {
    std::vector<std::string> options;
    std::string bytes;
  } rows[] = {
      {{}, Utf16Le(MixedText("\r\n"))},
      {{"--eol", "lf"}, Utf16Le(MixedText("\n"))},
      {{"--encoding", "utf-8"}, MixedText("\r\n")},
      {{"--utf8"}, MixedText("\n")},
      {{"--set", "Ansi=True", "--encoding", "utf-16"}, Utf16Le(MixedText("\r\n"))},
      // The locale's set holds the accents; the CJK characters and the emoji become "?".
      {{"--encoding", "locale", "--eol", "lf"}, "caf\xE9 na\xEFve\n?? ?\n\fnext page\n"},
      {{"--locale-text"}, "caf\xE9 na\xEFve\r\n?? ?\r\n\fnext page\r\n"},
  };
  for (const Row& row : rows) {
    std::string options;
    for (const auto& o : row.options) options += o + " ";
    SCOPED_TRACE(options);
    std::filesystem::remove_all(out);
    std::vector<std::string> args = {"--headless", "--page-breaks", "-o", out};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back(mixed);
    ASSERT_EQ(program.RunWith(args, std::chrono::seconds(120), {"LC_ALL=en_US.ISO-8859-1"}), 0)
        << program.Stderr();
    EXPECT_EQ(ReadFile(out + "/mixed.txt"), row.bytes);
  }
}

TEST_F(LinuxTextFixture, FilterReadsStandardInputAndWritesTextsToStandardOutputInListOrder) {
  // The first text is long, so that the other worker finishes the later ones before it.
  std::string ordered;
  for (int i = 0; i < 4; ++i) {
    std::string paragraphs;
    const int count = i == 0 ? 3000 : 20;
    for (int p = 0; p < count; ++p)
      paragraphs += "<w:p><w:r><w:t>text " + std::to_string(i) + "</w:t></w:r></w:p>";
    testsupport::WriteFile(in + "/n" + std::to_string(i) + ".docx", testsupport::DocxPackage(paragraphs, ""));
    for (int p = 0; p < count; ++p) ordered += "text " + std::to_string(i) + "\n";
  }
  const std::string text = work / "text";
  struct Row {
    std::string script;
    int status;
    std::string stdoutBytes;
  } rows[] = {
      {"$QX --page-breaks -o - " + Quoted(mixed), 0, MixedText("\n")},
      {"cat " + Quoted(mixed) + " | $QX --page-breaks -o - -", 0, MixedText("\n")},
      {"$QX --page-breaks --encoding utf-16 -o - - <" + Quoted(mixed), 0, Utf16Le(MixedText("\n"))},
      {"cat " + Quoted(kSamples + "/damaged.docx") + " | $QX -o - -", 1, ""},
      {"$QX -j 2 -o - " + Quoted(in + "/n*.docx"), 0, ordered},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.script);
    EXPECT_EQ(program.RunScript(row.script + " >" + Quoted(text), std::chrono::seconds(120)), row.status)
        << program.Stderr();
    EXPECT_EQ(ReadFile(text), row.stdoutBytes);
    // A document from standard input is named "-".
    if (row.status == 1) {
      EXPECT_NE(program.Stderr().find("failed: -: "), std::string::npos) << program.Stderr();
    }
  }
  // Nor does it leave its copy, or a text, behind.
  for (const auto& entry : std::filesystem::directory_iterator(program.tmp()))
    EXPECT_EQ(entry.path().filename().string().rfind("qx-std", 0), std::string::npos) << entry.path();
}

TEST_F(LinuxTextFixture, FilterRefusesSettingsThatNeedFilesOfTheirOwn) {
  const std::string sourceBefore = ReadFile(mixed);
  // The last argument is the source.
  const std::vector<std::string> rows[] = {
      {"--set", "DeleteSource=True", mixed},
      {"--set", "RenameSource=.done", mixed},
      {"--set", "KeepFileTime=True", mixed},
      {"--log", work / "run.log", mixed},
      {"--log", "-", mixed},
      {"--watch", mixed},
      {"http://localhost/a.doc"},
  };
  for (const auto& options : rows) {
    SCOPED_TRACE(options.front());
    std::vector<std::string> args = {"-o", "-"};
    args.insert(args.end(), options.begin(), options.end());
    EXPECT_EQ(program.RunWith(args, std::chrono::seconds(60)), 2);
    std::string err = program.Stderr();
    EXPECT_EQ(err.rfind("quillex: ", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  }
  // The program runs in this test's folder: no folder named "-" may appear there.
  EXPECT_FALSE(std::filesystem::exists("-"));
  EXPECT_EQ(ReadFile(mixed), sourceBefore);
  EXPECT_FALSE(testsupport::Exists(mixed + ".done"));
  EXPECT_FALSE(testsupport::Exists(work / "run.log"));
}

TEST_F(LinuxTextFixture, AReaderThatStopsEarlyEndsTheRunQuietly) {
  for (int i = 0; i < 6; ++i) e2e::CopyFile(mixed, in + "/m" + std::to_string(i) + ".docx");
  const std::string head = work / "head";
  int status = program.RunScript(
      "$QX -o - " + Quoted(in) + " | head -c 10 >" + Quoted(head) + "; exit ${PIPESTATUS[0]}",
      std::chrono::seconds(120));
  // 0 only when every text went into the pipe before the reader left.
  EXPECT_TRUE(status == 141 || status == 0) << status << program.Stderr();
  EXPECT_EQ(ReadFile(head), MixedText("\n").substr(0, 10));
  EXPECT_EQ(program.Stderr(), "") << "no complaint about the pipe";
}

TEST_F(LinuxTextFixture, JsonLogIsReadByJqAndKeepsTheBytesOfNamesThatAreNoUtf8) {
  const std::string latin1 = in + "/caf\xE9.docx";
  e2e::CopyFile(mixed, latin1);
  e2e::CopyFile(kSamples + "/damaged.docx", in + "/damaged.docx");
  const std::string log = work / "log.json", fields = work / "fields";
  // jq fails on anything that is not JSON; the fields come out one document a line, sorted, and
  // the exact bytes of the name that is no UTF-8 through base64 -d.
  const std::string filter =
      "[.status, .source, .target, (.message | length > 0), .bytes, .pages, (.milliseconds >= 0), "
      "(.time | test(\"^20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-9:]{8}[.][0-9]{3}Z$\"))] | @tsv";
  ASSERT_EQ(program.RunScript("$QX --headless --page-breaks --log-format json --log - -o " + Quoted(out) +
                                  " " + Quoted(in) + " >" + Quoted(log) + "; s=$?; jq -r '" + filter + "' " +
                                  Quoted(log) + " | LC_ALL=C sort >" + Quoted(fields) +
                                  " && jq -j 'select(.source_base64) | " + ".source_base64' " + Quoted(log) +
                                  " | base64 -d >" + Quoted(work / "source") +
                                  " && jq -j 'select(.target_base64) | .target_base64' " + Quoted(log) +
                                  " | base64 -d >" + Quoted(work / "target") + " && exit $s",
                              std::chrono::seconds(120)),
            1)
      << program.Stderr() << ReadFile(log);
  const std::string size = std::to_string(Utf16Le(MixedText("\r\n")).size());
  const std::string replaced = "caf\xEF\xBF\xBD";  // U+FFFD for the Latin-1 byte
  EXPECT_EQ(ReadFile(fields), "failure\t" + in + "/damaged.docx\t\ttrue\t\t\ttrue\ttrue\n" + "success\t" + in +
                                  "/" + replaced + ".docx\t" + out + "/" + replaced + ".txt\tfalse\t" + size +
                                  "\t2\ttrue\ttrue\n" + "success\t" + mixed + "\t" + out + "/mixed.txt\tfalse\t" +
                                  size + "\t2\ttrue\ttrue\n");
  EXPECT_EQ(ReadFile(work / "source"), latin1);
  EXPECT_EQ(ReadFile(work / "target"), out + "/caf\xE9.txt");
}
