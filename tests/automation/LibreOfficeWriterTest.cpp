// The Writer server against a real headless LibreOffice: documents the tests make through the
// server itself, the text formats byte by byte, pages and markers, protected documents, and a
// server that dies or is aborted. Every office started here is checked to be gone at the end.
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/task/XInteractionPassword.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <cppuhelper/implbase1.hxx>
#include <gtest/gtest.h>

#include <tuple>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "Offices.h"
#include "automation/Com.h"
#include "automation/LibreOfficeWriter.h"
#include "automation/OleError.h"
#include "automation/ServerRegistry.h"
#include "automation/libreoffice/OfficeProcess.h"
#include "automation/libreoffice/SilentInteraction.h"
#include "automation/libreoffice/UnoSession.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/TextEncoding.h"

using namespace automation;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::set<int> g_officePids;
std::string g_tmp;  // TMPDIR of this test run: profiles appear here and nowhere else

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

AutoObject NewServer() {
  CoInitialize();
  auto start = Clock::now();
  AutoObject app = CreateOleObject("Word.Application");
  std::string version = app.Get("Version").AsString();
  std::printf("[ timing ] server usable after %.3f s (LibreOffice %s)\n", Seconds(start), version.c_str());
  g_officePids.insert(app.Get("ProcessID").AsInt());
  return app;
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(platform::ReadFileBytes(path, bytes)) << path;
  return bytes;
}

std::string Utf16File(const std::u16string& text) {
  return std::string("\xFF\xFE", 2) + platform::Utf16ToLeBytes(text);
}

size_t Count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + needle.size())) ++n;
  return n;
}

std::vector<std::string> ProfileFolders() {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(g_tmp))
    if (e.path().filename().string().rfind("qx-lo-profile-", 0) == 0) found.push_back(e.path());
  return found;
}

// Accents, CJK and an emoji outside the BMP, in one line.
const std::string kMixed = "Caf\xC3\xA9 na\xC3\xAFve \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80";

class WriterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { app_ = NewServer(); }
  static void TearDownTestSuite() {
    if (app_) app_.Call("Quit", {false});
    app_.Release();
  }
  void SetUp() override {
    dir_ = platform::MakeTempDirectory("qx-writer-test-");
  }
  void TearDown() override { platform::RemoveTree(dir_); }

  // A new document holding text, saved in a Word format through the server itself.
  std::string MakeDocument(const std::string& name, const std::string& text, int format,
                           const Variant& password = Variant::Missing()) {
    AutoObject doc = app_.Get("Documents").AsObject().Call("Add", {Variant::Missing()}).AsObject();
    app_.Get("Selection").AsObject().Call("TypeText", {text});
    std::string path = dir_ + "/" + name;
    doc.Call("SaveAs", {path, int32_t(format), Variant::Missing(), password});
    doc.Call("Close", {false});
    return path;
  }

  AutoObject Open(const std::string& path, bool readOnly = false) {
    auto start = Clock::now();
    AutoObject doc =
        app_.Get("Documents").AsObject().Call("Open", {path, Variant::Missing(), readOnly}).AsObject();
    std::printf("[ timing ] opened %s in %.3f s\n", fs::path(path).filename().c_str(), Seconds(start));
    return doc;
  }

  std::string SaveText(AutoObject& doc, int format) {
    std::string target = dir_ + "/out" + std::to_string(format) + ".txt";
    std::vector<Variant> args{target, int32_t(format)};
    for (int i = 0; i < 10; ++i) args.push_back(Variant::Missing());
    args.push_back(false);
    doc.CallRef("SaveAs", args);
    EXPECT_EQ(args[1].AsInt(), format);
    return ReadAll(target);
  }

  static AutoObject app_;
  std::string dir_;
};
AutoObject WriterTest::app_;

TEST_F(WriterTest, WordDocumentsSaveAsUnicodeAndAnsiText) {
  const std::pair<const char*, int> formats[] = {{"mixed.doc", 0}, {"mixed.docx", 16}, {"mixed.docm", 13}};
  for (const auto& [name, format] : formats) {
    SCOPED_TRACE(name);
    std::string path = MakeDocument(name, kMixed + "\rSecond line", format);
    AutoObject doc = Open(path);
    auto start = Clock::now();
    std::string unicode = SaveText(doc, 7);
    std::string ansi = SaveText(doc, 2);
    std::printf("[ timing ] two text saves of %s in %.3f s\n", name, Seconds(start));
    doc.Call("Close", {false});
    EXPECT_EQ(unicode, Utf16File(platform::Utf8ToUtf16(kMixed + "\r\nSecond line\r\n")));
    EXPECT_EQ(ansi, platform::EncodeAnsi(kMixed + "\r\nSecond line\r\n"));
    if (platform::AnsiCharset() == "UTF-8") {
      EXPECT_EQ(ansi.substr(0, 5), "Caf\xC3\xA9");
    }
  }
}

TEST_F(WriterTest, AnsiTextInSingleByteLocaleUsesQuestionMarks) {
  if (platform::AnsiCharset() == "UTF-8") GTEST_SKIP() << "needs a single-byte locale (LC_ALL)";
  AutoObject doc = Open(MakeDocument("latin.docx", kMixed, 16));
  std::string ansi = SaveText(doc, 2);
  doc.Call("Close", {false});
  EXPECT_EQ(ansi.substr(0, 4), "Caf\xE9");
  EXPECT_NE(ansi.find('?'), std::string::npos);
}

TEST_F(WriterTest, PageMarkersBecomeRunsOfCarriageReturns) {
  std::string text;
  for (int i = 1; i <= 110; ++i) text += "Line " + std::to_string(i) + "\r";
  AutoObject doc = Open(MakeDocument("pages.docx", text, 16));
  ASSERT_EQ(app_.Get("ActiveWindow").AsObject().Get("ActivePane").AsObject().Get("Pages").AsObject()
                .Get("Count").AsInt(), 3);
  AutoObject sel = app_.Get("Selection").AsObject();
  sel.Call("HomeKey", {int32_t(6)});
  for (int i = 0; i < 2; ++i) {
    sel.Call("GotoNext", {int32_t(1)});
    sel.Call("TypeText", {"\x07\x07\x07"});
  }
  for (int format : {7, 2}) {
    std::string saved = SaveText(doc, format);
    std::string cr3 = format == 7 ? std::string("\r\0\r\0\r\0", 6) : "\r\r\r";
    std::string cr4 = format == 7 ? std::string("\r\0\r\0\r\0\r\0", 8) : "\r\r\r\r";
    EXPECT_EQ(Count(saved, cr3), 2u) << format;
    EXPECT_EQ(Count(saved, cr4), 0u) << format;
    EXPECT_EQ(Count(saved, format == 7 ? std::string("\xD0\xFD", 2) : "\xEF\xB7\x90"), 0u);
  }
  doc.Call("Close", {false});
}

TEST_F(WriterTest, ProtectedDocumentsFailQuicklyWithoutTheirPassword) {
  std::string path = MakeDocument("secret.doc", "Hidden words", 0, "right");
  const Variant passwords[] = {Variant::Missing(), Variant(int32_t(42)), Variant("wrong")};
  for (const auto& password : passwords) {
    auto start = Clock::now();
    try {
      app_.Get("Documents").AsObject().Call(
          "Open", {path, Variant::Missing(), false, Variant::Missing(), password});
      ADD_FAILURE() << "opened without the right password";
    } catch (const EOleError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("The document could not be opened (", 0), 0u) << e.what();
      EXPECT_EQ(e.Reason(), "password") << e.what();
    }
    EXPECT_LT(Seconds(start), 5.0);
  }
  AutoObject doc = app_.Get("Documents").AsObject().Call(
      "Open", {path, Variant::Missing(), false, Variant::Missing(), "right"}).AsObject();
  EXPECT_EQ(SaveText(doc, 7), Utf16File(u"Hidden words\r\n"));
  doc.Call("Close", {false});
}

// Each guard of the seeded profile, read back from the office that was started with it: a key
// this office no longer knows (renamed in a later LibreOffice) reads empty and fails here
// instead of silently guarding nothing.
TEST_F(WriterTest, TheOfficeAppliesEveryGuardOfItsProfile) {
  const std::string scripting = "/org.openoffice.Office.Common/Security/Scripting";
  const std::string inet = "/org.openoffice.Inet/Settings";
  const std::vector<std::tuple<std::string, std::string, std::string>> guards = {
      {scripting, "BlockUntrustedRefererLinks", "true"},
      {scripting, "DisableMacrosExecution", "true"},
      {scripting, "MacroSecurityLevel", "3"},
      {inet, "ooInetProxyType", "1"},
      {inet, "ooInetNoProxy", ""},
      {inet, "ooInetHTTPProxyName", "127.0.0.1"},
      {inet, "ooInetHTTPProxyPort", "9"},
      {inet, "ooInetHTTPSProxyName", "127.0.0.1"},
      {inet, "ooInetHTTPSProxyPort", "9"},
      {inet, "ooInetFTPProxyName", "127.0.0.1"},
      {inet, "ooInetFTPProxyPort", "9"},
  };
  // Offices that dropped FTP (26.x) dropped its proxy keys with it: they cannot fetch an ftp:
  // address at all, which the content broker confirms.
  const bool ftp = app_.Get("OfficeReaches", {"ftp"}).AsBool();
  EXPECT_TRUE(app_.Get("OfficeReaches", {"http"}).AsBool()) << "the control: a scheme every office fetches";
  for (const auto& [node, name, value] : guards)
    if (ftp || name.find("FTP") == std::string::npos)
      EXPECT_EQ(app_.Get("OfficeSetting", {node, name}).AsString(), value) << node << "/" << name;
  // The positive control: a name the office does not know reads empty, as a renamed key would.
  EXPECT_EQ(app_.Get("OfficeSetting", {scripting, "DisableMacrosExecutionRenamed"}).AsString(), "");
}

// Beneath the profile's guards: the office shares no network with the program that started it.
TEST_F(WriterTest, TheOfficeHasANetworkOfItsOwn) {
  if (!platform::PrivateNetworkProblem().empty()) GTEST_SKIP() << platform::PrivateNetworkProblem();
  auto network = [](const std::string& pid) {
    std::error_code ec;
    return fs::read_symlink("/proc/" + pid + "/ns/net", ec).string();
  };
  const std::string office = network(std::to_string(app_.Get("ProcessID").AsInt()));
  EXPECT_NE(office, "");
  EXPECT_NE(office, network("self"));
}

namespace {

namespace css = ::com::sun::star;
using css::uno::Reference;
using automation::lo::ToOU;

// A continuation as the office offers one; it remembers being chosen, and a password given.
template <class Interface>
class Offered : public cppu::WeakImplHelper1<Interface> {
 public:
  Offered(std::string name, std::string& chosen) : name_(std::move(name)), chosen_(chosen) {}
  void SAL_CALL select() override { chosen_ += name_; }
  void SAL_CALL setPassword(const rtl::OUString&) { chosen_ += "password given,"; }
  rtl::OUString SAL_CALL getPassword() { return {}; }

 private:
  std::string name_;
  std::string& chosen_;
};

class AskedRequest : public cppu::WeakImplHelper1<css::task::XInteractionRequest> {
 public:
  AskedRequest(const std::string& kind, std::string& chosen) {
    // A default value of the kind's type, as the office would send one.
    css::uno::Type type(css::uno::TypeClass_EXCEPTION, ToOU(kind));
    uno_type_any_construct(&request_, nullptr, type.getTypeLibType(), css::uno::cpp_acquire);
    offered_.realloc(3);
    offered_.getArray()[0] = new Offered<css::task::XInteractionPassword>("password", chosen);
    offered_.getArray()[1] = new Offered<css::task::XInteractionApprove>("approve", chosen);
    offered_.getArray()[2] = new Offered<css::task::XInteractionAbort>("abort", chosen);
  }
  css::uno::Any SAL_CALL getRequest() override { return request_; }
  css::uno::Sequence<Reference<css::task::XInteractionContinuation>> SAL_CALL getContinuations() override {
    return offered_;
  }

 private:
  css::uno::Any request_;
  css::uno::Sequence<Reference<css::task::XInteractionContinuation>> offered_;
};

}  // namespace

// Each kind of question a load may ask, put to the handler every load gets, with every kind of
// answer on offer: a yes only to warnings, repairs and a filter's options; an abort, and never a
// password of its own, to the rest (including a kind it has not seen). Runs here because the
// office's UNO runtime, which knows the request types, is up.
TEST_F(WriterTest, TheInteractionHandlerApprovesOnlyWhatItKnowsAndAbortsTheRest) {
  const struct {
    const char* kind;
    const char* answer;
    bool password;
  } cases[] = {
      {"com.sun.star.task.ErrorCodeRequest", "approve", false},
      {"com.sun.star.document.BrokenPackageRequest", "approve", false},
      {"com.sun.star.document.FilterOptionsRequest", "approve", false},
      {"com.sun.star.task.DocumentPasswordRequest", "abort", true},
      {"com.sun.star.task.DocumentPasswordRequest2", "abort", true},
      {"com.sun.star.task.DocumentMSPasswordRequest2", "abort", true},
      {"com.sun.star.task.DocumentMacroConfirmationRequest", "abort", false},
      {"com.sun.star.ucb.AuthenticationRequest", "abort", false},
      {"com.sun.star.ucb.InteractiveIOException", "abort", false},
  };
  for (const auto& c : cases) {
    auto passwordAsked = std::make_shared<std::atomic<bool>>(false);
    auto handler = automation::lo::MakeSilentInteractionHandler(passwordAsked);
    std::string chosen;
    Reference<css::task::XInteractionRequest> request(new AskedRequest(c.kind, chosen));
    ASSERT_EQ(automation::lo::FromOU(request->getRequest().getValueTypeName()), c.kind);
    handler->handle(request);
    EXPECT_EQ(chosen, c.answer) << c.kind;
    EXPECT_EQ(passwordAsked->load(), c.password) << c.kind;
  }
}

TEST_F(WriterTest, ReadOnlyDocumentsStillSaveAsText) {
  AutoObject doc = Open(MakeDocument("ro.doc", "Read only", 0), true);
  EXPECT_EQ(SaveText(doc, 7), Utf16File(u"Read only\r\n"));
  doc.Call("Close", {false});
}

TEST_F(WriterTest, FailuresCarryClearMessages) {
  auto message = [&](const std::function<void()>& f) -> std::string {
    try {
      f();
    } catch (const EOleServerGone& e) {
      return std::string("GONE ") + e.what();
    } catch (const EOleError& e) {
      return e.what();
    }
    return "(no error)";
  };
  AutoObject docs = app_.Get("Documents").AsObject();
  std::string missing = dir_ + "/none.doc";
  EXPECT_EQ(message([&] { docs.Call("Open", {missing, Variant::Missing(), false}); }),
            "The document could not be opened (file not found)");
  std::string garbage = dir_ + "/garbage.docx";
  platform::WriteFileInPlace(garbage, "PK\x03\x04 not really a zip", false);
  EXPECT_NE(message([&] { docs.Call("Open", {garbage, Variant::Missing(), false}); })
                .find("The document could not be opened ("), std::string::npos);
  AutoObject doc = docs.Call("Add", {Variant::Missing()}).AsObject();
  // A file where the folder should be: no office can write there, even as root.
  platform::WriteFileInPlace(dir_ + "/blocker", "", false);
  std::string noFolder = dir_ + "/blocker/x.txt";
  std::string saveError = message([&] { doc.Call("SaveAs", {noFolder, int32_t(7)}); });
  EXPECT_EQ(saveError.rfind("The document could not be saved as text (", 0), 0u) << saveError;
  EXPECT_EQ(message([&] { doc.Call("Frobnicate"); }), "Method 'Frobnicate' not supported by automation object");
  doc.Call("Close", {false});
  // The server stays usable after its errors.
  EXPECT_EQ(app_.Get("Path").AsString(), "/usr/lib/libreoffice/program");
  EXPECT_GE(app_.Get("Version").AsDouble(), 7.0);
}

TEST_F(WriterTest, ApplicationSettingsAndTwoDocumentsShareOneOffice) {
  int pid = app_.Get("ProcessID").AsInt();
  app_.Put("Visible", true);
  app_.Put("WindowState", int32_t(2));
  app_.Put("DisplayAlerts", int32_t(0));
  app_.Get("Options").AsObject().Put("UpdateFieldsAtPrint", false);
  app_.Get("Options").AsObject().Put("UpdateLinksAtPrint", false);
  AutoObject a = Open(MakeDocument("a.docx", "First", 16));
  AutoObject b = Open(MakeDocument("b.docx", "Second", 16));
  a.Get("WebOptions").AsObject().Put("Encoding", int32_t(65001));
  EXPECT_EQ(app_.Get("Documents").AsObject().Get("Count").AsInt(), 2);
  EXPECT_EQ(app_.Get("ProcessID").AsInt(), pid);
  EXPECT_FALSE(a.Get("HasVBProject").AsBool());
  EXPECT_EQ(SaveText(a, 7), Utf16File(u"First\r\n"));
  b.Call("Close", {false});
  a.Call("Close", {false});
}

TEST(WriterLifeTest, KilledOfficeGivesServerGoneAndQuitCleansUp) {
  AutoObject app = NewServer();
  int pid = app.Get("ProcessID").AsInt();
  AutoObject docs = app.Get("Documents").AsObject();
  docs.Call("Add", {Variant::Missing()}).AsObject().Call("Close", {false});
  // The pipes a killed office leaves behind: the names computed here must be the live office's.
  std::vector<std::string> sockets = testsupport::BoundSockets(pid);
  ASSERT_EQ(ProfileFolders().size(), 1u);
  std::string singleInstance = lo::SingleInstancePipeName("file://" + ProfileFolders()[0]);
  EXPECT_EQ(std::count_if(sockets.begin(), sockets.end(),
                          [&](const std::string& s) { return s.ends_with("_" + singleInstance); }),
            1)
      << "no bound socket is named " << singleInstance;
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  try {
    docs.Call("Add", {Variant::Missing()});
    ADD_FAILURE() << "a call to a killed office succeeded";
  } catch (const EOleServerGone& e) {
    // How it ended tells a crash or the out-of-memory killer from a clean exit.
    EXPECT_STREQ(e.what(), "The LibreOffice server has ended unexpectedly (signal 9 (SIGKILL))");
  }
  EXPECT_THROW(app.Get("Version"), EOleServerGone);
  EXPECT_FALSE(app.IsAlive());
  app.Call("Quit", {false});  // harmless on a dead server
  app.Release();
  EXPECT_FALSE(platform::ProcessExists(pid));
  EXPECT_TRUE(ProfileFolders().empty());
  EXPECT_GE(sockets.size(), 2u);
  for (const auto& socket : sockets) EXPECT_FALSE(fs::exists(fs::symlink_status(socket))) << socket;
}

TEST(WriterLifeTest, AbortEndsACallInProgress) {
  AutoObject app = NewServer();
  int pid = app.Get("ProcessID").AsInt();
  // A stopped office hangs every call, as a document caught in an endless loop would.
  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  std::exception_ptr failure;
  bool gone = false;
  std::thread worker([&] {
    try {
      app.Get("Version");
    } catch (const EOleServerGone&) {
      gone = true;
    } catch (...) {
      failure = std::current_exception();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto start = Clock::now();
  app.Abort();
  worker.join();
  EXPECT_LT(Seconds(start), 2.0);
  EXPECT_TRUE(gone);
  EXPECT_FALSE(failure);
  EXPECT_THROW(app.Get("Documents"), EOleServerGone);
  app.Release();
  EXPECT_FALSE(platform::ProcessExists(pid));
}

TEST(WriterLifeTest, QuitEndsTheOfficeAndRemovesItsProfile) {
  AutoObject app = NewServer();
  int pid = app.Get("ProcessID").AsInt();
  // A session of its own: Ctrl-C at the program's terminal must not reach the office.
  EXPECT_NE(getsid(pid), getsid(0));
  ASSERT_EQ(ProfileFolders().size(), 1u);
  // Self-tests that an office runs at its first start after an upgrade leave this log; a seeded
  // profile never counts as one, or each start would take six times as long.
  EXPECT_FALSE(fs::exists(ProfileFolders()[0] + "/user/GraphicsRenderTests.log"));
  auto start = Clock::now();
  app.Call("Quit", {false});
  std::printf("[ timing ] quit in %.3f s\n", Seconds(start));
  EXPECT_FALSE(platform::ProcessExists(pid));
  EXPECT_TRUE(ProfileFolders().empty());
  EXPECT_THROW(app.Get("Version"), EOleServerGone);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  g_tmp = fs::temp_directory_path() / ("qx-auto-test-" + std::to_string(getpid()));
  fs::create_directories(g_tmp);
  setenv("TMPDIR", g_tmp.c_str(), 1);
  RegisterLibreOfficeWriter();
  int rc = RUN_ALL_TESTS();
  for (int pid : g_officePids) {
    if (platform::ProcessExists(pid)) {
      std::fprintf(stderr, "office %d survived the tests\n", pid);
      kill(pid, SIGKILL);
      rc = 1;
    }
  }
  std::error_code ec;
  fs::remove_all(g_tmp, ec);
  return rc;
}
