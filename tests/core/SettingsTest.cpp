// The settings list rules and the typed readings of values.
#include <gtest/gtest.h>

#include "core/SettingsList.h"

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
