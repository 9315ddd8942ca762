// The project: typed getters, the project file, binding, the recent list and the start-up
// project.
#include <gtest/gtest.h>

#include "FakeControls.h"
#include "TestEnv.h"
#include "core/cvProject.h"
#include "platform/FileSystem.h"

using core::TcvProject;
using core::TOverwrite;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct ProjectFixture : ::testing::Test {
  TempDir dir;
  std::string exe = dir / "quillex";
  FakeControl eSource{"eSource", "Text"}, cSubdir{"cSubdir", "Checked"}, eTarget{"eTarget", "Text"};
  FakeDialogs dialogs;

  std::unique_ptr<TcvProject> Make() {
    auto p = std::make_unique<TcvProject>(exe);
    p->ProjectExt = ".batch-quillex";
    p->ProjectFilter = "Quillex Project|*.batch-quillex";
    p->SourceFilter = "Word Document (*.doc;*.docx)|*.doc;*.docx";
    p->SetDialogs(&dialogs);
    p->Bind(&eSource);
    p->Bind(&cSubdir);
    p->Bind(&eTarget);
    return p;
  }
};

}  // namespace

TEST_F(ProjectFixture, TypedGettersApplyTheirDefaults) {
  auto p = Make();
  EXPECT_EQ(p->ThreadsCount(), 1);
  EXPECT_EQ(p->IsOverwrite(), TOverwrite::Overwrite);
  EXPECT_TRUE(p->KeepTargetSubdirs());
  EXPECT_FALSE(p->KeepFileTime());
  EXPECT_FALSE(p->IsAutoRun());
  p->SetSettingsText("ThreadsCount=abc\r\nIsOverwrite=SKIP\r\nsubdir=true\r\nDaemon=5");
  EXPECT_EQ(p->ThreadsCount(), 1);
  EXPECT_EQ(p->IsOverwrite(), TOverwrite::Skip);
  EXPECT_TRUE(p->Subdir());
  EXPECT_TRUE(p->IsAutoRun());
  p->SetValue("IsOverwrite", "0");
  EXPECT_EQ(p->IsOverwrite(), TOverwrite::NewName);
  p->SetValue("IsOverwrite", "maybe");
  EXPECT_EQ(p->IsOverwrite(), TOverwrite::Overwrite);
  // "~/" is the home folder in the path settings only, and only at the start.
  std::string home = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", "/home/u", 1);
  p->SetSettingsText("Source=~/in/*.doc?\r\nTarget=~\r\nLogFile=a/~/run.log\r\nRenameSource=~/x");
  EXPECT_EQ(p->Source(), "/home/u/in/*.doc?");
  EXPECT_EQ(p->Target(), "/home/u");
  EXPECT_EQ(p->LogFile(), "a/~/run.log");
  EXPECT_EQ(p->RenameSource(), "~/x");
  setenv("HOME", home.c_str(), 1);
}

TEST_F(ProjectFixture, TextSettingsFollowEncodingThenAnsiThenTheFilterDefault) {
  using core::TEncoding;
  using core::TLineEnds;
  struct Row {
    const char* settings;
    TEncoding encoding;
    TLineEnds lineEnds;
    const char* unreadable;  // "Name=used" of the one setting named, or ""
  } rows[] = {
      {"", TEncoding::Utf16, TLineEnds::CrLf, ""},
      {"Ansi=True", TEncoding::Locale, TLineEnds::CrLf, ""},
      {"Ansi=True\r\nEncoding=utf8\r\nLineEnds=lf", TEncoding::Utf8, TLineEnds::Lf, ""},
      {"Target=-", TEncoding::Utf8, TLineEnds::Lf, ""},
      {"Target=-\r\nEncoding=UTF-16\r\nLineEnds=CRLF", TEncoding::Utf16, TLineEnds::CrLf, ""},
      {"Ansi=True\r\nEncoding=latin1", TEncoding::Locale, TLineEnds::CrLf, "Encoding=Locale"},
      {"Target=-\r\nLineEnds=CR", TEncoding::Utf8, TLineEnds::Lf, "LineEnds=LF"},
      // Markdown is UTF-8 whatever is set; only its line ends may be chosen.
      {"Format=markdown", TEncoding::Utf8, TLineEnds::Lf, ""},
      {"Format=Markdown\r\nAnsi=True\r\nEncoding=UTF-16\r\nLineEnds=CRLF", TEncoding::Utf8, TLineEnds::CrLf, ""},
      {"Format=md", TEncoding::Utf16, TLineEnds::CrLf, "Format=Text"},
  };
  auto p = Make();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.settings);
    p->SetSettingsText(row.settings);
    EXPECT_EQ(p->Encoding(), row.encoding);
    EXPECT_EQ(p->LineEnds(), row.lineEnds);
    std::string named;
    for (const auto& u : p->UnreadableSettings()) named += u.name + "=" + u.used;
    EXPECT_EQ(named, row.unreadable);
    EXPECT_EQ(p->TargetExtension(), p->Format() == core::TFormat::Markdown ? ".md" : p->TargetExt);
  }
}

// The words reach the office in one canonical form; the defaults must read as "as exported",
// since only then does a conversion skip the extra work.
TEST_F(ProjectFixture, TextPartSettingsReadTheirWordsAndReportTheRest) {
  struct Row {
    const char* settings;
    const char* include;
    const char* changes;
    const char* hidden;
    const char* unreadable;
  } rows[] = {
      {"", "", "show", "keep", ""},
      {"Include= Frames,notes ,NOTES\r\nChanges=Accept\r\nHiddenText=DROP", "notes,frames", "accept", "drop", ""},
      {"Include=notes,footers\r\nChanges=undo\r\nHiddenText=no", "notes", "show", "keep",
       "Include=notes Changes=show HiddenText=keep "},
  };
  auto p = Make();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.settings);
    p->SetSettingsText(row.settings);
    EXPECT_EQ(p->Include(), row.include);
    EXPECT_EQ(p->Changes(), row.changes);
    EXPECT_EQ(p->HiddenText(), row.hidden);
    EXPECT_EQ(p->TextPartsAsExported(), std::string(row.settings).empty());
    std::string named;
    for (const auto& u : p->UnreadableSettings()) named += u.name + "=" + u.used + " ";
    EXPECT_EQ(named, row.unreadable);
  }
}

TEST_F(ProjectFixture, SaveWritesBoundValuesAsAnsiCrLfAndOpenRestoresThem) {
  auto p = Make();
  p->SetSettingsText("ThreadsCount=2\r\nTarget=old");
  eSource["Text"] = dir / "docs/*.doc?";
  cSubdir["Checked"] = "True";
  eTarget["Text"] = dir / "out/";
  dialogs.answer = dir / "job.batch-quillex";
  ASSERT_TRUE(p->Save());  // no project file yet: Save asks for a name
  EXPECT_EQ(dialogs.saved, 1);
  EXPECT_EQ(ReadFile(dir / "job.batch-quillex"),
            "ThreadsCount=2\r\nTarget=" + dir / "out/" + "\r\nSource=" + dir / "docs/*.doc?" + "\r\nSubdir=True\r\n");
  EXPECT_EQ(p->RecentProjects(), std::vector<std::string>{dir / "job.batch-quillex"});

  eSource["Text"] = "";
  p->Collect(false);  // an empty control deletes its line
  EXPECT_EQ(p->Value("Source"), "");

  auto q = Make();
  q->ProjectFile = dir / "job.batch-quillex";
  q->Open(true);
  EXPECT_EQ(eSource["Text"], dir / "docs/*.doc?");
  EXPECT_EQ(cSubdir["Checked"], "True");
  EXPECT_EQ(q->ThreadsCount(), 2);
}

TEST_F(ProjectFixture, OlderKeyFormFillsTheControlAndIsDroppedOnSave) {
  WriteFile(dir / "old.batch-quillex", "eSource.Text=/a/*.doc?\r\nTarget=/t/\r\n");
  auto p = Make();
  p->ProjectFile = dir / "old.batch-quillex";
  p->Open(true);
  EXPECT_EQ(eSource["Text"], "/a/*.doc?");
  ASSERT_TRUE(p->Save());
  std::string saved = ReadFile(dir / "old.batch-quillex");
  EXPECT_NE(saved.find("Source=/a/*.doc?\r\n"), std::string::npos);
  EXPECT_EQ(saved.find("eSource.Text"), std::string::npos);
}

TEST_F(ProjectFixture, ProjectFilesInOtherEncodingsAndBadFilesAreHandled) {
  auto p = Make();
  WriteFile(dir / "u8.batch-quillex", "\xEF\xBB\xBFSource=/d/caf\xC3\xA9.doc\nTarget=/t/");  // no final break
  p->ProjectFile = dir / "u8.batch-quillex";
  p->Open(true);
  EXPECT_EQ(p->Source(), "/d/caf\xC3\xA9.doc");
  EXPECT_EQ(p->Target(), "/t/");

  WriteFile(dir / "u16.batch-quillex", std::string("\xFF\xFES\0=\0x\0", 8));
  p->ProjectFile = dir / "u16.batch-quillex";
  p->Open(true);
  EXPECT_EQ(p->Value("S"), "x");

  // An unreadable project changes nothing and does not enter the recent list.
  auto before = p->SettingsText();
  auto recent = p->RecentProjects();
  p->ProjectFile = dir / "missing.batch-quillex";
  p->Open(true);
  EXPECT_EQ(p->SettingsText(), before);
  EXPECT_EQ(p->RecentProjects(), recent);

  // Binary junk gives settings that simply match nothing.
  WriteFile(dir / "junk.batch-quillex", std::string("\0\x01\xFF\xFE\x80=\n\n\n", 10));
  p->ProjectFile = dir / "junk.batch-quillex";
  p->Open(true);
  EXPECT_EQ(p->Source(), "");
}

TEST_F(ProjectFixture, OpeningADocumentMakesItTheSource) {
  auto p = Make();
  p->ProjectFile = "/docs/letter.doc";
  p->Open(true);
  EXPECT_EQ(p->Source(), "/docs/letter.doc");
  EXPECT_EQ(p->Target(), "/docs/");
  EXPECT_EQ(p->ProjectFile, "");
  EXPECT_EQ(eTarget["Text"], "/docs/");
  // Not a project: the extension must end the name.
  EXPECT_FALSE(p->IsProjectFile("report.batch-quillex.bak"));
  EXPECT_TRUE(p->IsProjectFile("/x/report.batch-quillex"));
  EXPECT_FALSE(p->IsProjectFile("/x/report.BATCH-QUILLEX"));
}

TEST_F(ProjectFixture, CommandLineSettingsReplaceTheProjectAndDefaultTheTarget) {
  auto p = Make();
  p->CommandLineSettings = "Source=/in/*.doc?\r\nThreadsCount=3\r\n";
  p->OpenStartup();
  EXPECT_EQ(p->ProjectFile, "");
  EXPECT_EQ(p->Target(), "/in/");
  EXPECT_EQ(p->ThreadsCount(), 3);
}

TEST_F(ProjectFixture, WebAddressesNeverBecomeTheDefaultTarget) {
  auto p = Make();
  p->CommandLineSettings = "Source=http://srv/dir/a.doc\r\nPureConsole=True";
  p->OpenStartup();
  EXPECT_EQ(p->Target(), "");
  p->CommandLineSettings.clear();
  p->ProjectFile = "https://srv/b.docx";
  p->Open(true);
  EXPECT_EQ(p->Source(), "https://srv/b.docx");
  EXPECT_EQ(p->Target(), "");
}

TEST_F(ProjectFixture, StartupProjectIsBesideTheProgram) {
  WriteFile(exe + ".batch-quillex", "Source=/s/*.doc\r\n");
  auto p = Make();
  p->OpenStartup();
  EXPECT_EQ(p->ProjectFile, exe + ".batch-quillex");
  EXPECT_EQ(p->Source(), "/s/*.doc");
}

TEST_F(ProjectFixture, SaveToAnUnwritableNameAsksForAnother) {
  auto p = Make();
  p->ProjectFile = dir / "gone/job.batch-quillex";
  eSource["Text"] = "/in/*.doc?";
  EXPECT_FALSE(p->Save());  // the user cancels the dialog: nothing written, nothing claimed
  EXPECT_EQ(dialogs.saved, 1);
  dialogs.answer = dir / "job.batch-quillex";
  EXPECT_TRUE(p->Save());
  EXPECT_EQ(p->ProjectFile, dir / "job.batch-quillex");
  EXPECT_EQ(ReadFile(dir / "job.batch-quillex"), "Source=/in/*.doc?\r\n");
}

TEST_F(ProjectFixture, OpenDialogCancelChangesNothingAndNewClearsEverything) {
  auto p = Make();
  p->SetSettingsText("Source=/a?b");
  p->ProjectFile = "/p/x?.batch-quillex";
  EXPECT_FALSE(p->Open(false));
  EXPECT_EQ(dialogs.lastProposed, "/p/x*.batch-quillex");
  EXPECT_EQ(dialogs.lastFolder, "/p/");
  EXPECT_EQ(dialogs.lastFilter, "Quillex Project|*.batch-quillex|Word Document (*.doc;*.docx)|*.doc;*.docx");
  EXPECT_EQ(p->Source(), "/a?b");
  p->New();
  EXPECT_EQ(p->SettingsText(), "");
  EXPECT_EQ(eSource["Text"], "");
  EXPECT_EQ(cSubdir["Checked"], "False");
  EXPECT_FALSE(p->Save());  // New then Save asks for a name; cancelled here
  EXPECT_EQ(dialogs.saved, 1);
}

TEST_F(ProjectFixture, RecentListKeepsOneEntryPerProjectAndSurvivesRestart) {
  WriteFile(dir / "a.batch-quillex", "");
  WriteFile(dir / "b.batch-quillex", "");
  {
    auto p = Make();
    for (auto name : {"a", "b", "a"}) {
      p->ProjectFile = dir / (std::string(name) + ".batch-quillex");
      p->Open(true);
    }
    EXPECT_EQ(p->RecentProjects(), (std::vector<std::string>{dir / "b.batch-quillex", dir / "a.batch-quillex"}));
  }
  EXPECT_EQ(ReadFile(exe + ".log"), dir / "b.batch-quillex" + "\r\n" + dir / "a.batch-quillex" + "\r\n");
  auto again = Make();
  EXPECT_EQ(again->RecentProjects().size(), 2u);
}

TEST_F(ProjectFixture, TargetFolderCreatesTheFolderAndAddsADelimiter) {
  auto p = Make();
  p->SetValue("Target", dir / "new/deep");
  EXPECT_EQ(p->TargetFolder(), dir / "new/deep/");
  EXPECT_TRUE(platform::DirectoryExists(dir / "new/deep"));
  p->SetValue("Target", "");
  EXPECT_EQ(p->TargetFolder(), "");  // never the root folder
}
