// Path helpers, text encodings, wildcard search with attributes, file times, whole-file writes
// and the shell opener.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>

#include "TestEnv.h"
#include "platform/Beneath.h"
#include "platform/DirectorySearch.h"
#include "platform/Display.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/FileWatch.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/TempNames.h"
#include "platform/TextEncoding.h"
#include "platform/UserPlaces.h"

using namespace platform;
using testsupport::Exists;
using testsupport::TempDir;

TEST(Paths, SplitAndExtensionRules) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
    const char* withTxt;
  } cases[] = {
      {"/home/a/x.doc", "/home/a/", "x.doc", "/home/a/x.txt"},
      {"/home/a.b/x", "/home/a.b/", "x", "/home/a.b/x.txt"},  // a dot in a folder is not an extension
      {"x.tar.gz", "", "x.tar.gz", "x.tar.txt"},
      {"/opt/quillex", "/opt/", "quillex", "/opt/quillex.txt"},
      {"C:x.doc", "", "C:x.doc", "C:x.txt"},  // ":" is an ordinary character here
      {"/dir/", "/dir/", "", "/dir/.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ChangeFileExt(c.path, ".txt"), c.withTxt) << c.path;
  }
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/"), "/a");
}

TEST(Paths, FileAddressesArePercentDecoded) {
  const std::pair<const char*, const char*> cases[] = {
      {"file:///home/a/My%20Letters/x%2Edoc", "/home/a/My Letters/x.doc"},
      {"file:///in/%C3%A9t%c3%a9/*.doc%3F", "/in/\xC3\xA9t\xC3\xA9/*.doc?"},  // UTF-8 bytes, either case
      {"file://srv/a%20b/", "//srv/a b/"},
      {"file:///in/100%/a%2", "/in/100%/a%2"},             // a "%" that starts no escape is a character
      {"file:///in/a%zz%00b", "/in/a%zz%00b"},             // nor is NUL ever made
      {"/home/a/My%20Letters/", "/home/a/My%20Letters/"},  // a path is never decoded
  };
  for (const auto& [url, path] : cases) EXPECT_EQ(FileUrlToPath(url), path) << url;
}

TEST(TextEncoding, Utf16RoundTripAndMalformedInput) {
  std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a é 中 😀 z
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16(text).size(), 6u);              // the emoji takes a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // a lone surrogate
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xC0\xAF")), "\xEF\xBF\xBD\xEF\xBF\xBD");  // an overlong form
  EXPECT_EQ(LeBytesToUtf16(Utf16ToLeBytes(u"ab")), u"ab");
}

TEST(TextEncoding, ByteOrderMarksSelectTheEncoding) {
  EXPECT_EQ(DecodeText("\xEF\xBB\xBFSource=\xC3\xA9"), "Source=\xC3\xA9");
  EXPECT_EQ(DecodeText(std::string("\xFF\xFEO\0K\0", 6)), "OK");
  EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0O\0K", 6)), "OK");
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE", 2)), "");
}

TEST(TextEncoding, CharsetConversionSubstitutesWhatItCannotHold) {
  EXPECT_EQ(EncodeCharset("caf\xC3\xA9 \xE4\xB8\xAD", "ISO-8859-1"), "caf\xE9 ?");
  EXPECT_EQ(EncodeCharset("ok\xFF", "UTF-8"), "ok\xEF\xBF\xBD");
  EXPECT_EQ(PercentEncodeNonAscii("a b\n\xC3\xA9"), "a b%0A%C3%A9");
}

TEST(DirectorySearch, MaskRules) {
  struct Case {
    const char* name;
    const char* mask;
    bool match;
  } cases[] = {
      {"a.doc", "*.doc?", true},
      {"b.DOCX", "*.doc?", true},
      {"c.docxx", "*.doc?", false},
      {"report.doc", "report?.doc", true},
      {"report1.doc", "report?.doc", true},
      {"report12.doc", "report?.doc", false},
      {"noext", "*.*", true},
      {"x", "", false},
      {"a.doc", "A.DOC", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
  // Many stars must not make the test blow up.
  EXPECT_FALSE(MatchesMask(std::string(200, 'a') + "b", std::string(50, '*') + "c"));
}

// Both ways of resolving (openat2, and the walk of older kernels) refuse every link and every
// step out below the folder, and reach everything else.
TEST(Beneath, NoLinkBelowTheFolderIsFollowedEitherWay) {
  TempDir dir;
  ::mkdir((dir / "outside").c_str(), 0755);
  testsupport::WriteFile(dir / "outside/secret", "s");
  ::mkdir((dir / "in").c_str(), 0755);
  ::mkdir((dir / "in/sub").c_str(), 0755);
  testsupport::WriteFile(dir / "in/sub/a.doc", "a");
  ::symlink((dir / "outside/secret").c_str(), (dir / "in/file-link.doc").c_str());
  ::symlink((dir / "outside").c_str(), (dir / "in/dir-link").c_str());
  ::symlink((dir / "in").c_str(), (dir / "root-link").c_str());
  for (bool openat2 : {true, false}) {
    SCOPED_TRACE(openat2 ? "openat2" : "walk");
    detail::SetOpenat2Allowed(openat2);
    // The folder named by the caller may itself be a link.
    int root = OpenFolder(dir.path() + "/root-link");
    ASSERT_GE(root, 0);
    auto opens = [&](const std::string& relative, int expectErrno) {
      errno = 0;
      int fd = OpenBeneath(root, relative, O_RDONLY);
      if (fd >= 0) ::close(fd);
      EXPECT_EQ(fd >= 0 ? 0 : errno, expectErrno) << relative;
    };
    opens("sub/a.doc", 0);
    opens("./sub//a.doc", 0);
    opens("file-link.doc", ELOOP);
    opens("dir-link/secret", ELOOP);
    opens("sub/../../outside/secret", EXDEV);
    opens("/etc/passwd", EXDEV);
    int made = OpenFolderBeneath(root, "new/deeper", true, 0700);
    EXPECT_GE(made, 0);
    if (made >= 0) ::close(made);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/in/new/deeper"));
    errno = 0;
    EXPECT_EQ(OpenFolderBeneath(root, "dir-link/made", true), -1);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/outside/made"));
    ::close(root);
    std::filesystem::remove_all(dir.path() + "/in/new");
  }
  detail::SetOpenat2Allowed(true);
  EXPECT_EQ(PathBelow("/in/", "/in/a/b.doc"), std::optional<std::string>("a/b.doc"));
  EXPECT_EQ(PathBelow("/in", "/inner/b.doc"), std::nullopt);
  EXPECT_EQ(PathBelow("/in", "/in/../etc/passwd"), std::nullopt);
}

// The caller's own links and root's are followed; another user's, anywhere in a path, never.
TEST(Beneath, OnlyTheCallersAndRootsLinksAreTrusted) {
  TempDir dir;
  ::mkdir((dir / "real").c_str(), 0755);
  testsupport::WriteFile(dir / "real/a.doc", "a");
  ::symlink("real", (dir / "mine").c_str());
  ::symlink((dir / "real/a.doc").c_str(), (dir / "mine-file.doc").c_str());
  auto opens = [](const std::string& path) {
    int fd = OpenTrusted(path, O_RDONLY);
    if (fd >= 0) ::close(fd);
    return fd >= 0 ? 0 : errno;
  };
  EXPECT_EQ(opens(dir.path() + "/mine/a.doc"), 0);
  EXPECT_EQ(opens(dir.path() + "/mine-file.doc"), 0);
  EXPECT_EQ(opens(dir.path() + "/real/../mine/./a.doc"), 0);
  EXPECT_EQ(opens(dir.path() + "/real/missing.doc"), ENOENT);
  if (::geteuid() != 0) GTEST_SKIP() << "another user's link needs root to make";
  ::symlink("real", (dir / "theirs").c_str());
  ::symlink((dir / "real/a.doc").c_str(), (dir / "theirs-file.doc").c_str());
  ASSERT_EQ(::lchown((dir / "theirs").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::lchown((dir / "theirs-file.doc").c_str(), 65534, 65534), 0);
  EXPECT_EQ(opens(dir.path() + "/theirs/a.doc"), ELOOP);
  EXPECT_EQ(opens(dir.path() + "/theirs-file.doc"), ELOOP);
  int made = OpenTrusted(dir.path() + "/theirs-file.doc", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  EXPECT_EQ(made, -1);
  EXPECT_EQ(testsupport::ReadFile(dir / "real/a.doc"), "a");
}

TEST(DirectorySearch, AttributeSetsDecideWhatIsListed) {
  TempDir dir;
  testsupport::WriteFile(dir / "plain.doc", "x");
  testsupport::WriteFile(dir / ".hidden.doc", "x");
  testsupport::WriteFile(dir / "ro.doc", "x");
  ::chmod((dir / "ro.doc").c_str(), 0444);
  ::mkdir((dir / "sub.doc").c_str(), 0755);
  ::mkfifo((dir / "fifo.doc").c_str(), 0644);

  auto list = [&](uint32_t attrs) {
    std::map<std::string, uint32_t> found;
    FindFiles(dir.path() + "/", "*.doc", attrs, [&](const DirEntry& e) {
      found[e.name] = e.attributes;
      return true;
    });
    return found;
  };
  auto all = list(0x1EF);
  EXPECT_EQ(all.size(), 3u);  // no folder, no FIFO
  EXPECT_EQ(all["plain.doc"], faArchive);
  EXPECT_EQ(all[".hidden.doc"], faArchive | faHidden);
  EXPECT_EQ(all["ro.doc"], faArchive | faReadOnly);
  auto visible = list(0x1ED);
  EXPECT_EQ(visible.count(".hidden.doc"), 0u);
  auto folders = list(faDirectory | faHidden);
  EXPECT_EQ(folders.count("sub.doc"), 1u);
}

TEST(FileTimes, DosDateTimeLayout) {
  // 2020-12-11 18:20:14 UTC
  std::tm tm{};
  tm.tm_year = 120;
  tm.tm_mon = 11;
  tm.tm_mday = 11;
  tm.tm_hour = 18;
  tm.tm_min = 20;
  tm.tm_sec = 14;
  std::time_t t = ::timegm(&tm);
  int32_t dos = DosDateTime(t, true);
  EXPECT_EQ((dos >> 25) & 0x7F, 40);
  EXPECT_EQ((dos >> 21) & 0xF, 12);
  EXPECT_EQ((dos >> 16) & 0x1F, 11);
  EXPECT_EQ((dos >> 11) & 0x1F, 18);
  EXPECT_EQ((dos >> 5) & 0x3F, 20);
  EXPECT_EQ(dos & 0x1F, 7);
  EXPECT_EQ(DosDateTime(0, true), -1);  // 1970 is before DOS time began
  EXPECT_EQ(FileStamp("/no/such/path", false, true), -1);
}

TEST(FileTimes, SetThenGetKeepsAccessAndModification) {
  TempDir dir;
  testsupport::WriteFile(dir / "a", "x");
  FileTimes t;
  ASSERT_TRUE(GetFileTimes(dir / "a", t));
  t.access.tv_sec = 1600000000;
  t.modification.tv_sec = 1500000000;
  ASSERT_TRUE(SetFileTimes(dir / "a", t));
  FileTimes back;
  ASSERT_TRUE(GetFileTimes(dir / "a", back));
  EXPECT_EQ(back.modification.tv_sec, 1500000000);
  EXPECT_EQ(back.access.tv_sec, 1600000000);
}

TEST(FileSystem, AtomicWriteReplacesWholeFileAndLeavesNoTemporary) {
  TempDir dir;
  WriteFileAtomic(dir / "f", "first, longer contents");
  WriteFileAtomic(dir / "f", "second");
  std::string back;
  ASSERT_TRUE(ReadFileBytes(dir / "f", back));
  EXPECT_EQ(back, "second");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_THROW(WriteFileAtomic(dir / "missing/dir/f", "x"), EFileError);
  EXPECT_FALSE(ReadFileBytes(dir / "nothing", back));
  ::mkfifo((dir / "fifo").c_str(), 0644);
  EXPECT_FALSE(ReadFileBytes(dir / "fifo", back));  // never blocks on a FIFO
  EXPECT_TRUE(ForceDirectories(dir / "a/b/c"));
  EXPECT_THROW(ForceDirectoriesOrThrow(""), EFileError);
}

// What is replaced keeps its mode; what is not a regular file is written through and stays what it was.
TEST(FileSystem, WritesReplaceOnlyRegularFilesAndKeepTheirMode) {
  TempDir dir;
  auto mode = [](const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode : 0;
  };
  for (mode_t bits : {0600, 0640, 0755}) {
    SCOPED_TRACE(bits);
    WriteFileAtomic(dir / "t", "old");
    ::chmod((dir / "t").c_str(), bits);
    WriteFileAtomic(dir / "t", "new");
    EXPECT_EQ(mode(dir / "t") & 07777, bits);
    EXPECT_EQ(testsupport::ReadFile(dir / "t"), "new");
  }
  WriteFileAtomic(dir / "store", "a", true);
  ::chmod((dir / "store").c_str(), 0644);
  WriteFileAtomic(dir / "store", "b", true);
  EXPECT_EQ(mode(dir / "store") & 0777, 0600u);

  // A link, also one whose file is not there yet, stays a link to the file written.
  ::symlink("t", (dir / "link").c_str());
  ::symlink((dir / "sub/later").c_str(), (dir / "dangling").c_str());
  ForceDirectories(dir / "sub");
  WriteFileAtomic(dir / "link", "through the link");
  WriteFileAtomic(dir / "dangling", "made");
  EXPECT_TRUE(S_ISLNK(mode(dir / "link")));
  EXPECT_TRUE(S_ISLNK(mode(dir / "dangling")));
  EXPECT_EQ(testsupport::ReadFile(dir / "t"), "through the link");
  EXPECT_EQ(testsupport::ReadFile(dir / "sub/later"), "made");
  EXPECT_THROW(WriteFileAtomic(dir / "sub", "x"), EFileError);
  EXPECT_THROW(OutputFile(dir.path()), EFileError);

  // A FIFO is written through, by both kinds of write, and stays a FIFO.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  // The read end is open first, so that neither write waits, and is read without blocking.
  int reader = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  {
    OutputFile out(dir / "fifo");
    EXPECT_EQ(out.Write("one\r\n"), "");
    WriteFileAtomic(dir / "fifo", "two\r\n");
  }
  char buf[64] = {};
  std::string heard(buf, std::max<ssize_t>(0, ::read(reader, buf, sizeof buf)));
  ::close(reader);
  EXPECT_THROW(WriteFileAtomic(dir / "fifo", "nobody reads"), EFileError);  // fails, never waits
  EXPECT_EQ(heard, "one\r\ntwo\r\n");
  EXPECT_TRUE(S_ISFIFO(mode(dir / "fifo")));
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++entries;
  EXPECT_EQ(entries, 6);  // t, store, link, dangling, sub, fifo: no temporary left
}

// Leftovers carry "<pid>@<host>": only those of this machine's programs that no longer run go.
TEST(TempNames, OnlyLeftoversOfEndedProgramsOfThisMachineAreRemoved) {
  std::fflush(nullptr);
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ::waitpid(ended, nullptr, 0);
  const std::string tag = OwnerTag(), host = tag.substr(tag.find('.'));
  const std::string dead = std::to_string(ended) + host, live = std::to_string(::getppid()) + host;
  ASSERT_FALSE(MadeByEndedProgram(tag + "-Ab12Cd"));  // this program

  TempDir tmp, target;
  ::setenv("TMPDIR", tmp.path().c_str(), 1);
  struct Case {
    std::string path;
    bool folder;
    bool removed;
  } cases[] = {
      {tmp / "qx-lo-profile-" + dead + "-Ab12Cd", true, true},
      {tmp / "qx-save-" + live + "-Ab12Cd", true, false},
      {tmp / "qx-save-" + std::to_string(ended) + ".elsewhere-Ab12Cd", true, false},
      {tmp / "other-" + dead + "-Ab12Cd", true, false},
      {tmp / "qx-file-" + dead + "-Ab12Cd", false, false},
      {target / "a.txt.tmp-" + dead + "-Xy9Zz0", false, true},
      {target / "sub/b.txt.tmp-" + dead + "-Xy9Zz0", false, true},
      {target / "c.txt.tmp-" + live + "-Xy9Zz0", false, false},
      {target / "d.txt.tmp-" + dead + "-short", false, false},
      {target / "e.txt-" + dead + "-Xy9Zz0", false, false},
  };
  for (const auto& c : cases) {
    ForceDirectories(ExtractFilePath(c.path));
    if (c.folder)
      ForceDirectories(c.path + "/user");
    else
      testsupport::WriteFile(c.path, "x");
  }
  RemoveLeftoversOfEndedPrograms("qx-", target.path(), false);
  EXPECT_TRUE(Exists(target / "sub/b.txt.tmp-" + dead + "-Xy9Zz0"));  // not searched without recursion
  RemoveLeftoversOfEndedPrograms("qx-", target.path(), true);
  for (const auto& c : cases) EXPECT_EQ(Exists(c.path), !c.removed) << c.path;

  // The names this program gives its temporary folders and files are the ones cleaned.
  std::string made = MakeTempDirectory("qx-t-");
  ::unsetenv("TMPDIR");
  EXPECT_NE(made.find("/qx-t-" + tag + "-"), std::string::npos) << made;
  RemoveTree(made);
}

TEST(Shell, LinkReachesTheOpenerAsOneArgumentAndOnlyUrlsAreEncoded) {
  testsupport::RecordingOpener opener;
  ShellOpen("http://x.example/?a=b c&d=$(touch /tmp/qx-pwned)`id`\"'\n\xC3\xA9");
  auto calls = opener.WaitForCalls(1);
  ShellOpen("mailto:r\xC3\xA9@x.example");
  calls = opener.WaitForCalls(2);
  ShellOpen("/home/u/Zielordner-\xC3\xBC/R\xE9sum\xE9 #1%20.txt");
  calls = opener.WaitForCalls(3);
  ShellOpen("Ziel-\xC3\xBC:2/");
  calls = opener.WaitForCalls(4);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0], "1\thttp://x.example/?a=b c&d=$(touch /tmp/qx-pwned)`id`\"'%0A%C3%A9");
  EXPECT_EQ(calls[1], "1\tmailto:r%C3%A9@x.example");
  EXPECT_EQ(calls[2], "1\t/home/u/Zielordner-\xC3\xBC/R\xE9sum\xE9 #1%20.txt");
  EXPECT_EQ(calls[3], "1\tZiel-\xC3\xBC:2/");
  EXPECT_FALSE(testsupport::Exists("/tmp/qx-pwned"));
}

namespace {

// Sets (or, with nullptr, removes) environment variables for one scope.
class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (auto [name, value] : values) {
      const char* old = getenv(name);
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      value ? setenv(name, value, 1) : unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto& [name, old] : saved_) old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str());
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace

TEST(UserPlaces, PortableCopyKeepsFilesBesideItAndAnInstallUsesTheXdgFolders) {
  TempDir dir;
  ScopedEnv env{{"XDG_CONFIG_HOME", (dir / "cfg").c_str()},
                {"XDG_STATE_HOME", nullptr},
                {"HOME", (dir / "home").c_str()}};
  ForceDirectories(dir / "usr/bin");
  auto portable = PrepareProgramPlaces(dir / "usr/bin/quillex", "quillex");
  EXPECT_FALSE(portable.installed);
  EXPECT_EQ(portable.settingsBase, dir / "usr/bin/quillex");
  EXPECT_EQ(portable.stateBase, dir / "usr/bin/quillex");
  EXPECT_FALSE(PathExists(dir / "cfg"));

  // bin/ beside share/doc/NAME is an installation, even where this user (root) may write.
  ForceDirectories(dir / "usr/share/doc/quillex");
  auto installed = PrepareProgramPlaces(dir / "usr/bin/quillex", "quillex");
  EXPECT_TRUE(installed.installed);
  EXPECT_EQ(installed.settingsBase, dir / "cfg/quillex/quillex");
  EXPECT_EQ(installed.stateBase, dir / "home/.local/state/quillex/quillex");
  EXPECT_EQ(installed.manual, dir / "usr/share/doc/quillex/quillex.pdf");
  struct stat st {};
  ASSERT_EQ(stat((dir / "home/.local/state/quillex").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  ScopedEnv relative{{"XDG_CONFIG_HOME", "rel"}};  // ignored, as the XDG rules say
  EXPECT_EQ(PrepareProgramPlaces(dir / "usr/bin/quillex", "quillex").settingsBase,
            dir / "home/.config/quillex/quillex");
}

TEST(UserPlaces, TildeMeansHomeOnlyAtTheStart) {
  ScopedEnv env{{"HOME", "/home/u/"}};
  EXPECT_EQ(ExpandHome("~/in/*.doc?"), "/home/u/in/*.doc?");
  EXPECT_EQ(ExpandHome("~"), "/home/u");
  EXPECT_EQ(ExpandHome("~user/x"), "~user/x");
  EXPECT_EQ(ExpandHome("/a/~/b"), "/a/~/b");
}

TEST(Display, ChosenPlatformDecidesWhatItNeeds) {
  struct Case {
    const char *qpa, *display, *wayland;
    bool available;
  } cases[] = {
      {nullptr, nullptr, nullptr, false},    {nullptr, ":1", nullptr, true},
      {nullptr, nullptr, "wayland-0", true}, {"offscreen", nullptr, nullptr, true},
      {"xcb", nullptr, "wayland-0", false},  {"xcb:nograb", ":1", nullptr, true},
      {"wayland;xcb", ":1", nullptr, true},  {"wayland", ":1", nullptr, false},
  };
  for (const auto& c : cases) {
    ScopedEnv env{{"QT_QPA_PLATFORM", c.qpa}, {"DISPLAY", c.display}, {"WAYLAND_DISPLAY", c.wayland}};
    EXPECT_EQ(DisplayAvailable(), c.available)
        << (c.qpa ? c.qpa : "-") << " " << (c.display ? c.display : "-");
  }
}

// What the watch reports and where: written and moved files, new folders (watched at once, also
// after a move within the tree), nothing from hidden or skipped folders, and an overflow.
TEST(FileWatch, ReportsChangesBelowTheTreeAndSaysWhenReportsWereDropped) {
  TempDir dir;
  const std::string root = dir / "in/", outside = dir / "elsewhere.doc";
  std::filesystem::create_directories(root);
  FileWatch watch(true, [&](const std::string& folder) { return folder == root + "skipped/"; });
  ASSERT_TRUE(watch.Add(root));
  std::vector<FileWatch::Change> seen;
  // Waits (bounded) until the change is reported; the changes before it are kept in seen.
  auto reported = [&](FileWatch::ChangeKind kind, const std::string& path) {
    auto has = [&] {
      for (const auto& c : seen)
        if (c.kind == kind && c.path == path) return true;
      return false;
    };
    for (int i = 0; i < 50 && !has(); ++i)
      for (auto& c : watch.Wait(100)) seen.push_back(std::move(c));
    return has();
  };
  using K = FileWatch::ChangeKind;
  testsupport::WriteFile(root + "a.doc", "text");
  EXPECT_TRUE(reported(K::Writing, root + "a.doc"));
  EXPECT_TRUE(reported(K::Closed, root + "a.doc"));
  testsupport::WriteFile(outside, "text");
  std::filesystem::rename(outside, root + "moved.doc");
  EXPECT_TRUE(reported(K::MovedIn, root + "moved.doc"));
  for (const char* folder : {"sub/", ".hidden/", "skipped/"})
    std::filesystem::create_directories(root + folder);
  EXPECT_TRUE(reported(K::Folder, root + "sub/"));
  std::filesystem::rename(root + "sub", root + "renamed");
  EXPECT_TRUE(reported(K::Folder, root + "renamed/"));
  for (const char* file : {".hidden/h.doc", "skipped/s.doc", "renamed/b.doc"})
    testsupport::WriteFile(root + file, "x");
  EXPECT_TRUE(reported(K::Closed, root + "renamed/b.doc"));
  for (const auto& c : seen) {
    EXPECT_EQ(c.path.find(".hidden"), std::string::npos) << c.path;
    EXPECT_EQ(c.path.find("skipped"), std::string::npos) << c.path;
  }
  // More reports than the kernel queues, unread.
  int queued = std::stoi("0" + testsupport::ReadFile("/proc/sys/fs/inotify/max_queued_events"));
  if (queued <= 0 || queued > 100000) GTEST_SKIP() << "queue of " << queued;
  for (int i = 0; i <= queued; ++i)
    ::close(::open((root + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644));
  EXPECT_TRUE(reported(K::Overflow, ""));
}

namespace {

std::string NetNamespaceOf(int pid) {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/ns/net", ec).string();
}

// Whether a child started with privateNetwork runs in another network namespace than this
// process; the control, a child without it, must share this one.
bool ChildHasItsOwnNetwork() {
  auto start = [](bool isolated) {
    platform::ProcessOptions o;
    o.argv = {"/bin/sleep", "30"};
    o.privateNetwork = isolated;
    return platform::Process::Start(o);
  };
  auto isolated = start(true);
  auto shared = start(false);
  const std::string self = NetNamespaceOf(::getpid());
  const std::string own = NetNamespaceOf(isolated->Pid());
  const bool controlShares = NetNamespaceOf(shared->Pid()) == self;
  isolated->KillAndReap();
  shared->KillAndReap();
  return controlShares && !own.empty() && own != self;
}

// Whether a child started with onlyWritableTemp finds /tmp read-only and its folder writable,
// as an office putting its pipes in the first writable shared folder would; the control, a
// child without it, writes to /tmp.
bool ChildHasOnlyItsTempWritable() {
  char folder[] = "/tmp/qx-lock-test-XXXXXX";
  if (!::mkdtemp(folder)) return false;
  ::chmod(folder, 0777);
  auto run = [&](bool locked) {
    platform::ProcessOptions o;
    o.argv = {"/bin/sh", "-c", "t=$(mktemp /tmp/qx-lock-test.XXXXXX) || exit 1; rm -f \"$t\"; exit 2", folder};
    if (locked)
      o.argv = {"/bin/sh", "-c", "mktemp /tmp/qx-lock-test.XXXXXX >/dev/null 2>&1 && exit 1; touch \"$0/pipe\" && exit 2",
                folder};
    o.privateNetwork = true;
    if (locked) o.onlyWritableTemp = folder;
    auto child = platform::Process::Start(o);
    auto exit = child->WaitFor(std::chrono::seconds(30));
    return exit && !exit->signaled && exit->code == 2;
  };
  const bool controlWrites = run(false), locked = run(true);
  std::filesystem::remove_all(folder);
  return controlWrites && locked;
}

}  // namespace

// The office's network namespace, and the shared temporary folders it may not write (so that
// its pipes go where no other user can bind their names first), as root and as an ordinary
// user; where the system refuses namespaces, the probes say so and children share the network
// and /tmp. The other identities run this test program again (a fork of a threaded test
// program could not safely start processes).
TEST(ProcessIsolation, PrivateNetworkChildrenLiveInAnotherNetworkNamespace) {
  if (const char* expect = std::getenv("QX_TEST_EXPECT_NETWORK")) {
    const bool own = std::string(expect) == "own";
    EXPECT_EQ(platform::PrivateNetworkProblem().empty(), own) << platform::PrivateNetworkProblem();
    EXPECT_EQ(ChildHasItsOwnNetwork(), own);
    EXPECT_EQ(platform::TempLockProblem().empty(), own) << platform::TempLockProblem();
    EXPECT_EQ(ChildHasOnlyItsTempWritable(), own);
    return;
  }
  EXPECT_EQ(platform::PrivateNetworkProblem(), "");
  EXPECT_TRUE(ChildHasItsOwnNetwork());
  EXPECT_EQ(platform::TempLockProblem(), "");
  EXPECT_TRUE(ChildHasOnlyItsTempWritable());
  // The runs as other identities start this binary again: under a sanitizer its runtime, not
  // the isolation, decides how they go (they failed now and then as nobody, never reproduced
  // alone), so they are the plain build's to run.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the runs as other identities belong to the build without sanitizers";
#endif
  // Each run again says what it found, should it fail.
  TempDir said;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string filter = " --gtest_filter=ProcessIsolation.PrivateNetworkChildrenLiveInAnotherNetworkNamespace >" +
                             said / "out" + " 2>&1";
  if (::geteuid() == 0) {
    EXPECT_EQ(std::system(("QX_TEST_EXPECT_NETWORK=own setpriv --reuid=65534 --regid=65534 --clear-groups '" + self +
                           "'" + filter).c_str()),
              0)
        << "as the user nobody:\n" << testsupport::ReadFile(said / "out");
  }
  // The refusal, simulated: a user namespace whose limits allow no further user or network
  // namespace.
  const std::string refusing =
      "unshare -Ur /bin/sh -c 'echo 0 > /proc/sys/user/max_user_namespaces && "
      "echo 0 > /proc/sys/user/max_net_namespaces && QX_TEST_EXPECT_NETWORK=shared exec " +
      std::string("\"$0\" \"$@\"' ") + self + filter;
  EXPECT_EQ(std::system(refusing.c_str()), 0) << "in a namespace that refuses further namespaces:\n"
                                              << testsupport::ReadFile(said / "out");
}

// A child with a largest file stops writing there, and dumps no core; the control, a child
// without one, writes the whole file.
TEST(ProcessLimits, AChildWritesNoFileLargerThanItsLimit) {
  TempDir dir;
  auto write = [&](unsigned long long limit) {
    platform::ProcessOptions o;
    o.argv = {"/bin/sh", "-c", "ulimit -c >\"$0/core\"; head -c 65536 /dev/zero >\"$0/file\"", dir.path()};
    o.largestFile = limit;
    auto child = platform::Process::Start(o);
    EXPECT_TRUE(child->WaitFor(std::chrono::seconds(30)));
    return std::filesystem::file_size(dir / "file");
  };
  EXPECT_EQ(write(0), 65536u);
  EXPECT_EQ(write(4096), 4096u);
  EXPECT_EQ(testsupport::ReadFile(dir / "core"), "0\n");
}
