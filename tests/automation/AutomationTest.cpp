// The automation layer without an office: variant conversions, the message forms callers show,
// the server registry, and the path and stand-in helpers the Writer server relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "automation/AutoObject.h"
#include "automation/LibreOfficeWriter.h"
#include "automation/OleError.h"
#include "automation/ServerRegistry.h"
#include "automation/Variant.h"
#include "automation/libreoffice/FileFormats.h"
#include "automation/libreoffice/TextExport.h"

using namespace automation;

namespace {

// A server whose every member runs a script given by the test.
class ScriptedServer : public IDispatchable {
 public:
  using Script = std::function<Variant(const std::string&, InvokeKind, std::vector<Variant>&)>;
  explicit ScriptedServer(Script script) : script_(std::move(script)) {}
  Variant Invoke(const std::string& member, InvokeKind kind, std::vector<Variant>& args) override {
    return script_(member, kind, args);
  }

 private:
  Script script_;
};

AutoObject Scripted(ScriptedServer::Script script) {
  return AutoObject(std::make_shared<ScriptedServer>(std::move(script)));
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EOleError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(VariantTest, ConvertsLikeAnOleVariant) {
  struct Case {
    Variant value;
    std::string asString;
    double asDouble;
    bool asBool;
  };
  const Case cases[] = {
      {Variant(), "", 0, false},
      {Variant(true), "True", -1, true},
      {Variant(false), "False", 0, false},
      {Variant(int32_t(16)), "16", 16, true},
      {Variant(16.0), "16", 16, true},
      {Variant(7.4), "7.4", 7.4, true},
      {Variant("16.0"), "16.0", 16, true},
      {Variant(" 7.4 "), " 7.4 ", 7.4, true},
      {Variant("0"), "0", 0, false},
      {Variant("-1e3"), "-1e3", -1000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asString);
    EXPECT_EQ(c.value.AsString(), c.asString);
    EXPECT_DOUBLE_EQ(c.value.AsDouble(), c.asDouble);
    EXPECT_EQ(c.value.AsBool(), c.asBool);
  }
  EXPECT_TRUE(Variant("TRUE").AsBool());
  EXPECT_FALSE(Variant("false").AsBool());
}

TEST(VariantTest, IntegersRoundHalfToEvenAndRefuseWhatDoesNotFit) {
  const std::pair<Variant, int32_t> cases[] = {
      {Variant("16.0"), 16}, {Variant(2.5), 2},   {Variant(3.5), 4},     {Variant(-2.5), -2},
      {Variant(true), -1},   {Variant("  42 "), 42}, {Variant(), 0}, {Variant("+5"), 5},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(value.AsInt(), expected) << value.AsString();
  EXPECT_EQ(MessageOf([] { Variant(3e10).AsInt(); }), "Overflow");
  EXPECT_EQ(MessageOf([] { Variant("9999999999").AsInt(); }), "Overflow");
}

TEST(VariantTest, ImpossibleConversionsAreTypeMismatches) {
  const std::function<void()> attempts[] = {
      [] { Variant("11.1.0.1").AsDouble(); },
      [] { Variant("abc").AsInt(); },
      [] { Variant("").AsInt(); },
      [] { Variant("7,4").AsDouble(); },
      [] { Variant("yes").AsBool(); },
      [] { Variant::Missing().AsString(); },
      [] { Variant::Missing().AsInt(); },
      [] { Variant(int32_t(1)).AsObject(); },
      [] { Variant(Scripted(nullptr)).AsString(); },
  };
  for (size_t i = 0; i < std::size(attempts); ++i) EXPECT_EQ(MessageOf(attempts[i]), "Type mismatch") << i;
}

TEST(VariantTest, KeepsTypeAndObjectIdentity) {
  AutoObject object = Scripted(nullptr);
  Variant v(object);
  EXPECT_EQ(v.type(), VariantType::Object);
  EXPECT_EQ(v.AsObject(), object);
  EXPECT_FALSE(Variant().AsObject());
  EXPECT_EQ(Variant::Missing().type(), VariantType::Missing);
  EXPECT_EQ(Variant("x").type(), VariantType::String);  // not Bool, as a pointer could become
}

TEST(AutoObjectTest, PassesKindArgumentsAndWritesBackByReference) {
  std::vector<std::string> log;
  AutoObject obj = Scripted([&](const std::string& m, InvokeKind k, std::vector<Variant>& a) {
    log.push_back(m + ":" + std::to_string(static_cast<int>(k)) + ":" + std::to_string(a.size()));
    if (m == "SaveAs") a[1] = Variant(int32_t(7));
    return a.empty() ? Variant() : a[0];
  });
  EXPECT_EQ(obj.Get("Version").AsString(), "");
  obj.Put("Visible", true);
  EXPECT_EQ(obj.Call("Open", {"x.doc", Variant::Missing(), true}).AsString(), "x.doc");
  std::vector<Variant> args{"t.txt", int32_t(2)};
  obj.CallRef("SaveAs", args);
  EXPECT_EQ(args[1].AsInt(), 7);
  EXPECT_EQ(log, (std::vector<std::string>{"Version:0:0", "Visible:1:1", "Open:2:3", "SaveAs:2:2"}));
}

TEST(AutoObjectTest, ServerErrorsReachTheCallerInTheirShownForm) {
  struct Case {
    std::function<void()> thrower;
    std::string expected;
    bool serverGone;
  };
  const Case cases[] = {
      {[] { throw EOleMemberNotFound("Frobnicate"); },
       "Method 'Frobnicate' not supported by automation object", false},
      {[] { throw EOleError("The file is damaged. \r\n"); }, "The file is damaged", false},
      {[] { throw EOleError("Trailing dots..."); }, "Trailing dots", false},
      {[] { throw std::runtime_error("Plain failure.\t"); }, "Plain failure", false},
      {[] { throw std::runtime_error(" ."); }, "Unspecified error", false},
      {[] { throw 42; }, "Unspecified error", false},
      {[] { throw EOleServerGone("Gone away."); }, "Gone away", true},
  };
  for (const auto& c : cases) {
    AutoObject obj = Scripted([&](const std::string&, InvokeKind, std::vector<Variant>&) -> Variant {
      c.thrower();
      return Variant();
    });
    bool gone = false;
    std::string message;
    try {
      obj.Call("Anything");
    } catch (const EOleServerGone& e) {
      gone = true;
      message = e.what();
    } catch (const EOleError& e) {
      message = e.what();
    }
    EXPECT_EQ(message, c.expected);
    EXPECT_EQ(gone, c.serverGone) << c.expected;
  }
}

TEST(AutoObjectTest, NullObjectFailsCleanly) {
  AutoObject none;
  EXPECT_FALSE(none);
  EXPECT_FALSE(none.IsAlive());
  none.Abort();
  EXPECT_THROW(none.Get("Version"), EOleError);
  AutoObject obj = Scripted(nullptr);
  obj.Release();
  EXPECT_FALSE(obj);
}

TEST(ServerRegistryTest, OnlyAnUnknownServerIsNamedByItsProgId) {
  RegisterServer("Test.Throws", []() -> AutoObject { throw EOleError("Server busy."); });
  RegisterServer("Test.Null", [] { return AutoObject(); });
  RegisterServer("Test.Good", [] { return Scripted(nullptr); });
  const std::pair<std::string, std::string> cases[] = {
      {"WPS.Application", "Invalid class string, ProgID: \"WPS.Application\""},
      {"No.Such", "Invalid class string, ProgID: \"No.Such\""},
      {"Test.Throws", "Server busy"},
      {"Test.Null", "Server execution failed"},
  };
  for (const auto& [progId, expected] : cases)
    EXPECT_EQ(MessageOf([&] { CreateOleObject(progId); }), expected);
  EXPECT_TRUE(CreateOleObject("test.good"));  // ProgIDs ignore case
  UnregisterServer("Test.Good");
  EXPECT_EQ(MessageOf([] { CreateOleObject("Test.Good"); }),
            "Invalid class string, ProgID: \"Test.Good\"");
  UnregisterServer("Test.Throws");
  UnregisterServer("Test.Null");
}

TEST(ServerRegistryTest, WordIsRegisteredAndWpsIsNot) {
  RegisterLibreOfficeWriter();
  RegisterLibreOfficeWriter();
  EXPECT_EQ(MessageOf([] { CreateOleObject("WPS.Application"); }),
            "Invalid class string, ProgID: \"WPS.Application\"");
  EXPECT_EQ(LibreOfficeProgramFolder(), "/usr/lib/libreoffice/program");
  // An office that cannot start says so, and why (here: no folder for its profile).
  const char* tmp = std::getenv("TMPDIR");
  std::string saved = tmp ? tmp : "";
  setenv("TMPDIR", "/nonexistent/qx-tmp", 1);
  std::string message = MessageOf([] { CreateOleObject("Word.Application"); });
  tmp ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
  EXPECT_EQ(message.rfind("LibreOffice could not be started: ", 0), 0u) << message;
  EXPECT_NE(message.find("profile"), std::string::npos) << message;
  EXPECT_EQ(message.find("ProgID"), std::string::npos) << message;
}

TEST(TextExportTest, LocalPathsBecomeEncodedFileUrls) {
  const std::pair<std::string, std::string> cases[] = {
      {"/tmp/a b.doc", "file:///tmp/a%20b.doc"},
      {"/tmp/#1 100%.doc", "file:///tmp/%231%20100%25.doc"},
      {"/tmp/\"q\"'s.docx", "file:///tmp/%22q%22%27s.docx"},
      {"/tmp/caf\xC3\xA9.doc", "file:///tmp/caf%C3%A9.doc"},
      {"/tmp/a?b;c.doc", "file:///tmp/a%3Fb%3Bc.doc"},
      {"http://example.org/x.doc", "http://example.org/x.doc"},
      {"/tmp/odd://name.doc", "file:///tmp/odd%3A//name.doc"},
  };
  for (const auto& [path, url] : cases) EXPECT_EQ(lo::OfficeUrl(path), url);
  std::string relative = lo::OfficeUrl("rel.doc");
  EXPECT_EQ(relative, lo::FileUrlFromPath((std::filesystem::current_path() / "rel.doc").string()));
}

TEST(TextExportTest, TypedBellsComeOutAsCarriageReturns) {
  EXPECT_EQ(lo::BellsToStandIns("a\x07\x07z"), "a\xEF\xB7\x90\xEF\xB7\x90z");
  EXPECT_EQ(lo::StandInsToCr_Utf8("a\xEF\xB7\x90\xEF\xB7\x90z\r\n"), "a\r\rz\r\n");
  // UTF-16LE: only whole code units are stand-ins; "\xFD\xD0" across a unit boundary is not.
  const std::string in("\xFF\xFE" "a\0" "\xD0\xFD" "\xD0\xFD" "\xFD\xD0" "\xFD\x00", 12);
  const std::string out("\xFF\xFE" "a\0" "\r\0" "\r\0" "\xFD\xD0" "\xFD\x00", 12);
  EXPECT_EQ(lo::StandInsToCr_Utf16Le(in), out);
  EXPECT_EQ(lo::StandInsToCr_Utf16Le(std::string("\x00\xD0\xFD\x00", 4)), std::string("\x00\xD0\xFD\x00", 4));
}

}  // namespace

TEST(FileFormatsTest, OnlyThePlainTextFiltersGiveTextFormats) {
  using namespace automation::lo;
  const std::pair<const char*, int> cases[] = {
      {"MS Word 97", kFormatDocument},          {"MS Word 2007 XML", kFormatXmlDocument},
      {"MS Word 2007 XML VBA", kFormatXmlMacros}, {"Rich Text Format", kFormatRtf},
      {"HTML", kFormatHtml},                    {"writer8", kFormatOpenDocument},
      {"WordPerfect", kFormatDocument},         {"", kFormatDocument},
      {"Text", kFormatText},                    {"Text (encoded)", kFormatEncodedText},
      {"Text (encoded) (StarWriter/Web)", kFormatEncodedText},
  };
  for (const auto& [filter, format] : cases) EXPECT_EQ(SaveFormatOfFilter(filter), format) << filter;
}
