// A document named as the SOURCE, and text that its character set cannot hold, through the
// built program with real conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ProgramUnderTest.h"

using e2e::CopyFile;
using e2e::ProgramUnderTest;
using e2e::ReadLines;
using testsupport::Exists;

namespace {

const std::string kSamples = QX_SAMPLES_DIR;

struct NamedSourceFixture : e2e::ProgramFixture {};

}  // namespace

TEST_F(NamedSourceFixture, ANamedDocumentIsThatFileWhateverBytesItsNameHolds) {
  // Each name holds bytes the mask and pattern code treat apart. Read as a mask, a name would
  // miss its own file or take others with it: a neighbour, or its namesake in the sub-folder.
  const std::vector<std::string> names = {"a\\b.doc", "x*?[1]{2}(3)+^$|.doc", "?.doc"};
  for (const auto& name : names) {
    CopyFile(kSamples + "/report.doc", in + "/" + name);
    CopyFile(kSamples + "/report.doc", in + "/sub/" + name);
  }
  for (const char* neighbour : {"ab.doc", "x1.doc", "q.doc"})
    CopyFile(kSamples + "/report.doc", in + "/" + neighbour);

  for (const auto& name : names) {
    SCOPED_TRACE(name);
    std::filesystem::remove_all(out);
    ASSERT_EQ(program.RunWith({"--headless", "-r", "-o", out, "--log", log, in + "/" + name}), 0)
        << program.Stderr();
    std::string text = name.substr(0, name.size() - 4) + ".txt";
    EXPECT_EQ(ReadLines(log),
              std::vector<std::string>{"Success => " + in + "/" + name + " => " + out + "/" + text});
    EXPECT_NE(testsupport::ReadFile(out + "/" + text).size(), 0u);
  }
}

TEST_F(NamedSourceFixture, CharactersTheLocaleCannotHoldAreCountedAndNamed) {
  // Euro sign, dash, curly quotes, two CJK characters and an emoji (a surrogate pair) lack a
  // Latin-1 byte: 7 in all; the "é" has one.
  testsupport::WriteFile(
      in + "/lossy.doc",
      "{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0 \\u8364? \\u8212? \\u8220?x\\u8221? \\u20013?\\u25991? "
      "\\u-10179?\\u-8704? caf\\u233?\\par}");
  testsupport::WriteFile(in + "/plain.doc", "{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0 caf\\u233?\\par}");
  ASSERT_EQ(program.RunWith({"--headless", "--locale-text", "-o", out, "--log", log, in},
                            std::chrono::seconds(300), {"LC_ALL=en_US.ISO-8859-1"}),
            0)
      << program.Stderr();
  EXPECT_EQ(ReadLines(log).size(), 2u);
  EXPECT_EQ(
      program.Stderr(),
      "quillex: " + in + "/lossy.doc: 7 characters could not be written in ISO-8859-1 and became \"?\"\n")
      << "is en_US.ISO-8859-1 generated (scripts/setup)?";
  std::string lossy = testsupport::ReadFile(out + "/lossy.txt");
  EXPECT_EQ(std::count(lossy.begin(), lossy.end(), '?'), 7) << lossy;
  EXPECT_NE(lossy.find("caf\xE9"), std::string::npos);
}
