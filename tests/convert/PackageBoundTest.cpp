// The bound on what a zip package may inflate to, read from its central directory.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "ZipWriter.h"
#include "convert/PackageBound.h"

using testsupport::TempDir;
using testsupport::WriteFile;

TEST(PackageBound, OnlyPackagesPastTheBoundFail) {
  TempDir dir;
  const std::string zeros(8 << 20, '\0');
  struct Case {
    const char* name;
    std::string bytes;
    bool fails;
  } cases[] = {
      {"plain.docx", testsupport::DocxPackage("<w:p/>", ""), false},
      // 8 MiB of zeros deflate to a few kilobytes: thousands of times the package's size.
      {"bomb.docx", testsupport::ZipPackage({{"word/document.xml", zeros, true}}), true},
      // The same, named .doc: the content decides, not the name.
      {"bomb.doc", testsupport::ZipPackage({{"word/document.xml", zeros, true}}), true},
      {"stored.docx", testsupport::ZipPackage({{"word/document.xml", zeros, false}}), false},
      {"text.doc", "PK\x03\x04 but no directory", false},
      {"empty.doc", "", false},
  };
  for (const auto& c : cases) {
    WriteFile(dir / c.name, c.bytes);
    std::string why = convert::PackageInflationError(dir / c.name);
    EXPECT_EQ(!why.empty(), c.fails) << c.name << ": " << why;
    if (c.fails) EXPECT_NE(why.find("100 times its size, 1024 MiB at most"), std::string::npos) << why;
  }
}
