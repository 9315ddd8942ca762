// Include, Changes and HiddenText against one document per part, in .docx and in LibreOffice's
// own .doc. At their defaults the text is LibreOffice's export byte for byte; each setting
// changes the text of the one document holding its part, and no other, and never the document.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "ProgramUnderTest.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

const std::string kParts = QX_E2E_DATA_DIR "/parts";

// The texts as exported, UTF-8 with LF.
const std::map<std::string, std::string> kExported = {
    {"notes", "Body one1\nBody twoi\n"},
    {"headers", "Body text\n"},
    {"comments", "Body one end\nBody two\n"},
    {"frames", "Body text\n"},
    {"changes", "Body DELETEDTEXT kept INSERTEDTEXT end\n"},
    {"hidden", "Body HIDDENTEXT shown\n"},
};

struct Row {
  std::vector<std::string> options;
  std::string document;  // the one whose text changes
  std::string text;
};

const Row kRows[] = {
    {{"--include", "notes"}, "notes", "Body one1\nBody twoi\n[1] FOOTNOTETEXT\n[i] ENDNOTETEXT\n"},
    {{"--include", "headers"}, "headers", "Body text\n[Header] HEADERTEXT\n[Footer] FOOTERTEXT\n"},
    {{"--include", "comments"}, "comments", "Body one end\nBody two\n[Comment Ann Reviewer] COMMENTTEXT\n"},
    {{"--include", "frames"}, "frames", "Body text\n[Frame] FRAMETEXT\n"},
    {{"--changes", "accept"}, "changes", "Body kept INSERTEDTEXT end\n"},
    {{"--changes", "reject"}, "changes", "Body DELETEDTEXT kept  end\n"},
    {{"--hidden", "drop"}, "hidden", "Body shown\n"},
};

}  // namespace

TEST(TextParts, EachSettingChangesOnlyThePartItNames) {
  TempDir work;
  e2e::ProgramUnderTest program;
  for (const std::string ext : {"docx", "doc"}) {
    const std::vector<std::string> docs = e2e::FilesWithExtension(kParts, ext);
    ASSERT_EQ(docs.size(), kExported.size()) << ext;
    std::map<std::string, std::string> before;
    for (const auto& doc : docs) before[doc] = testsupport::ReadFile(doc);
    const std::string peer = work / ("peer-" + ext), ours = work / ext;
    ASSERT_TRUE(e2e::OfficeOwnConversion(work / "peer-profile", peer, docs, "txt:Text (encoded):UNICODE,CRLF"));
    ASSERT_EQ(program.RunWith({"--headless", "-j", "1", "-o", ours, kParts + "/*." + ext}), 0) << program.Stderr();
    for (const auto& [stem, text] : kExported) {
      SCOPED_TRACE(ext + "/" + stem);
      EXPECT_TRUE(testsupport::ReadFile(fs::path(ours) / (stem + ".txt")) ==
                  testsupport::ReadFile(fs::path(peer) / (stem + ".txt")));
    }
    for (const Row& row : kRows) {
      const std::string out = work / (ext + "-" + row.options[1]);
      std::vector<std::string> args = {"--headless", "-j", "1", "--utf8", "-o", out};
      args.insert(args.end(), row.options.begin(), row.options.end());
      args.push_back(kParts + "/*." + ext);
      ASSERT_EQ(program.RunWith(args), 0) << program.Stderr();
      for (const auto& [stem, text] : kExported) {
        SCOPED_TRACE(ext + " " + row.options[0] + " " + row.options[1] + ": " + stem);
        EXPECT_EQ(testsupport::ReadFile(fs::path(out) / (stem + ".txt")), stem == row.document ? row.text : text);
      }
    }
    for (const auto& doc : docs) EXPECT_TRUE(testsupport::ReadFile(doc) == before[doc]) << doc;
  }
  program.ExpectNoOfficesLeft();
}
