// Fields and notes read as LibreOffice's own export reads them. Each document of data/fields
// holds one class of fields or notes, with stored results a refresh would change, in .docx and
// in LibreOffice's own .doc; the office's --convert-to and the program convert them in the same
// run, and the texts must be equal byte for byte. ASK and FILLIN fields fill one document: a
// refresh that asked for input would stall it past its time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "ProgramUnderTest.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

const std::string kFields = QX_E2E_DATA_DIR "/fields";

// Numbers that depend on pages, beyond the first one. LibreOffice's export lays out the first
// pages before it writes and the rest only when idle, so there it reads 0 on a busy machine and
// the true number on a quiet one; the program lays out every page and writes the true number.
const std::map<std::string, std::string> kLaidOut = {
    {"pages",
     "Page 1 of 82, section pages 9\n\nSecond page: 2 of 82\n" + std::string(80, '\n') + "Last page: 82\n"},
    {"notes-page", "One1 two2 endi\n\nThree1 e2ii\nSect\nFour1 e3iii\n"},
};

std::string WithoutCr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// The clock's fields read the time of their conversion, which the two conversions share only
// to the minute.
std::string WithoutDigits(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }, '#');
  return text;
}

}  // namespace

TEST(Fields, ReadAsLibreOfficesOwnExportReadsThem) {
  TempDir work;
  e2e::ProgramUnderTest program;
  for (const std::string ext : {"docx", "doc"}) {
    const std::vector<std::string> docs = e2e::FilesWithExtension(kFields, ext);
    ASSERT_GE(docs.size(), 11u) << ext;
    const std::string peer = work / ("peer-" + ext), ours = work / ext;
    ASSERT_TRUE(
        e2e::OfficeOwnConversion(work / "peer-profile", peer, docs, "txt:Text (encoded):UNICODE,CRLF"));
    EXPECT_EQ(program.Run("-P:Source=" + kFields + "/*." + ext + ";Target=" + ours +
                              ";PureConsole=True;ThreadsCount=1;ConvertTimeout=30000",
                          std::chrono::seconds(300)),
              0)
        << program.Stderr();
    for (const auto& doc : docs) {
      const std::string stem = fs::path(doc).stem(), name = stem + ".txt";
      SCOPED_TRACE(ext + "/" + name);
      ASSERT_TRUE(fs::exists(fs::path(ours) / name));
      const std::string text = testsupport::ReadFile(fs::path(ours) / name);
      const std::string own = testsupport::ReadFile(fs::path(peer) / name);
      if (auto laidOut = kLaidOut.find(stem); laidOut != kLaidOut.end())
        EXPECT_EQ(WithoutCr(e2e::Utf16File(fs::path(ours) / name)), laidOut->second);
      else if (stem == "clock")
        EXPECT_EQ(WithoutDigits(text), WithoutDigits(own));
      else
        EXPECT_TRUE(text == own) << "ours:\n"
                                 << e2e::Utf16File(fs::path(ours) / name) << "LibreOffice's:\n"
                                 << e2e::Utf16File(fs::path(peer) / name);
    }
  }
  program.ExpectNoOfficesLeft();
}
