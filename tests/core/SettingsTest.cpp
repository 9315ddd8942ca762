// The settings list rules and the typed readings of values.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "core/SettingsList.h"
#include "core/cvProject.h"

using core::ReadBool;
using core::ReadInt;
using core::SettingsList;

TEST(SettingsList, LookupIgnoresCaseAndFirstLineWins) {
  SettingsList s;
  s.SetText("; a comment\r\nsubdir=true\r\nSubdir=False\r\nnot a setting\r\n= no name\r\n");
  EXPECT_EQ(s.Value("SUBDIR"), "true");
  EXPECT_EQ(s.Value("missing"), "");
  EXPECT_EQ(s.Value("not a setting"), "");
  s.SetValue("SubDir", "0");
  EXPECT_EQ(s.Lines()[1], "subdir=0");  // the stored name keeps its spelling
  s.SetValue("subdir", "");             // an empty value deletes the first match only
  EXPECT_EQ(s.Value("subdir"), "False");
  s.SetValue("New", "v=w");             // "=" inside a value is part of the value
  EXPECT_EQ(s.Value("new"), "v=w");
  EXPECT_EQ(s.Lines().front(), "; a comment");
}

TEST(SettingsList, BlanksBelongToNamesAndValues) {
  SettingsList s;
  s.SetText(" Source = a ");
  EXPECT_EQ(s.Value("Source"), "");
  EXPECT_EQ(s.Value(" Source "), " a ");
}

TEST(SettingsList, TextSplitsEveryLineEndingAndWritesCrLf) {
  SettingsList s;
  s.SetText("a=1\nb=2\rc=3\r\nd=4");
  EXPECT_EQ(s.Lines().size(), 4u);
  EXPECT_EQ(s.Text(), "a=1\r\nb=2\r\nc=3\r\nd=4\r\n");
  s.SetText("");
  EXPECT_TRUE(s.Lines().empty());
}

TEST(SettingsValues, BooleanAndIntegerConversions) {
  struct B {
    const char* text;
    bool def;
    bool want;
  } bools[] = {{"", true, true},      {"", false, false},   {"True", false, true}, {"fAlSe", true, false},
               {"0", true, false},    {"-3", false, true},  {"17", false, true},   {"yes", false, true},
               {"No", true, false},   {"OFF", true, false}, {"on", false, true},   {"maybe", true, true},
               {"1.5", false, false}, {" 1", false, false}, {"00", true, false}};
  for (const auto& b : bools) EXPECT_EQ(ReadBool(b.text, b.def), b.want) << '"' << b.text << '"';
  struct I {
    const char* text;
    int want;
  } ints[] = {{"", 1}, {"abc", 1}, {"0", 0}, {"-4", -4}, {"+7", 7}, {"3x", 1}, {"99999999999", 1}, {" 2", 1}};
  for (const auto& i : ints) EXPECT_EQ(ReadInt(i.text, 1), i.want) << '"' << i.text << '"';
}

TEST(SettingsNames, UnknownNamesAreNamedOnceWithTheNearestKnownName) {
  testsupport::TempDir dir;
  core::TcvProject project(dir / "quillex");
  project.SetSettingsText(
      "Subdirs=True\r\nThreadCount=4\r\n Target=/out\r\nsubdirs=False\r\nIsOverWrite=skip\r\n"
      "Frobnicate=1\r\neSource.Text=/in\r\n; a comment\r\nPageBrakes=1\r\nSoruce=/in\r\n");
  struct Row {
    const char* name;
    const char* nearest;
  } want[] = {{"Subdirs", "Subdir"}, {"ThreadCount", "ThreadsCount"}, {" Target", "Target"},
              {"Frobnicate", ""},    {"PageBrakes", "PageBreaks"},    {"Soruce", "Source"}};
  auto found = project.UnknownSettings();
  ASSERT_EQ(found.size(), std::size(want));
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].name, want[i].name);
    EXPECT_EQ(found[i].nearest, want[i].nearest) << found[i].name;
  }
  // The project keeps what it does not know.
  EXPECT_EQ(project.Value("Subdirs"), "True");
  EXPECT_EQ(project.Value(" Target"), "/out");
}
