// Documents run no code: a document whose open event runs a Basic macro that writes a file is
// converted, and the file never appears. The same document does write it in an office whose
// macro security lets it, so the check cannot pass for want of a working macro.
#include <gtest/gtest.h>

#include <filesystem>

#include "ProgramUnderTest.h"
#include "platform/Process.h"

using e2e::ProgramUnderTest;
using testsupport::Exists;
using testsupport::TempDir;
using namespace std::chrono_literals;

namespace {

// A flat OpenDocument text with a Basic module bound to the document's open event. Without the
// dom namespace the office drops the binding and no office would ever run the macro.
std::string MacroDocument(const std::string& witness) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:dom="http://www.w3.org/2001/xml-events" xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:script="urn:oasis:names:tc:opendocument:xmlns:script:1.0" xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:ooo="http://openoffice.org/2004/office" office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:scripts>
  <office:script script:language="ooo:Basic">
   <ooo:libraries>
    <ooo:library-embedded ooo:name="Standard">
     <ooo:module ooo:name="Module1">
      <ooo:source-code>Sub OnOpen
  Dim n As Integer
  n = FreeFile
  Open &quot;)" + witness + R"(&quot; For Output As #n
  Print #n, &quot;the macro ran&quot;
  Close #n
End Sub
</ooo:source-code>
     </ooo:module>
    </ooo:library-embedded>
   </ooo:libraries>
  </office:script>
  <office:event-listeners>
   <script:event-listener script:language="ooo:script" script:event-name="dom:load" xlink:href="vnd.sun.star.script:Standard.Module1.OnOpen?language=Basic&amp;location=document" xlink:type="simple"/>
  </office:event-listeners>
 </office:scripts>
 <office:body><office:text><text:p>A document that writes a file when opened.</text:p></office:text></office:body>
</office:document>
)";
}

// Opens the document in a plain office whose profile allows every macro; true when the
// witness appeared within the bound. The witness is removed again.
bool MacroRunsWhenAllowed(const std::string& document, const std::string& witness, const std::string& profile) {
  testsupport::WriteFile(profile + "/user/registrymodifications.xcu", R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>0</value></prop></item>
</oor:items>
)");
  platform::ProcessOptions o;
  o.argv = {"/usr/lib/libreoffice/program/soffice.bin", "--headless", "--norestore", "--nologo",
            "-env:UserInstallation=file://" + profile, document};
  o.removeEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
  o.extraEnvironment = {"SAL_USE_VCLPLUGIN=svp"};
  // A fresh profile makes the first start end with a restart request: start it again then.
  for (int start = 0; start < 2; ++start) {
    auto office = platform::Process::Start(o);
    bool seen = testsupport::WaitUntil([&] { return Exists(witness) || !office->IsRunning(); }, 30s) && Exists(witness);
    // Killed, this office would leave its pipes behind; they are known only while it runs.
    auto sockets = testsupport::BoundSockets(office->Pid());
    office->KillAndReap();
    for (const auto& s : sockets) std::filesystem::remove(s);
    if (seen) {
      std::filesystem::remove(witness);
      return true;
    }
  }
  return false;
}

}  // namespace

TEST(MacroDocuments, ConvertWithoutRunningTheirCode) {
  ProgramUnderTest program;
  TempDir work;
  std::string witness = work / "witness";
  // Type detection goes by content, so the same document named as a Word file loads alike.
  for (const char* name : {"opens.fodt", "opens-as-word.doc"}) testsupport::WriteFile(work / (std::string("in/") + name), MacroDocument(witness));

  int status = program.Run("-P:Source=" + work / "in/*" + ";Target=" + work / "out" +
                           ";PureConsole=True;LogFile=" + work / "run.log");
  EXPECT_EQ(status, 0);
  auto lines = e2e::ReadLines(work / "run.log");
  EXPECT_EQ(lines.size(), 2u);
  for (const char* stem : {"opens", "opens-as-word"}) {
    std::string text = e2e::Utf16File(work / (std::string("out/") + stem + ".txt"));
    EXPECT_NE(text.find("A document that writes a file when opened."), std::string::npos) << stem;
  }
  EXPECT_FALSE(Exists(witness)) << "a document ran its macro during the conversion";

  // The control: the same document does run its macro in an office whose profile allows every
  // macro, so the check above cannot pass for want of a working macro.
  EXPECT_TRUE(MacroRunsWhenAllowed(work / "in/opens.fodt", witness, work / "profile"))
      << "the macro did not run even where macros are allowed";
}
