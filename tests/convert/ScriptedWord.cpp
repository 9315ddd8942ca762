#include "ScriptedWord.h"

#include <chrono>
#include <thread>

#include "automation/OleError.h"
#include "platform/FileSystem.h"
#include "platform/TextEncoding.h"

namespace scripted {

using automation::AutoObject;
using automation::EOleError;
using automation::EOleMemberNotFound;
using automation::EOleServerGone;
using automation::IDispatchable;
using automation::InvokeKind;
using automation::Variant;

namespace {

struct Server {
  std::shared_ptr<Script> script;
  std::atomic<bool> alive{true};
  std::mutex hangLock;
  std::condition_variable hangWake;
  std::string text = "Some text";  // the document's text; markers typed into it
  void Check() {
    if (!alive) throw EOleServerGone("The server has gone away");
  }
};

std::string Args(const std::vector<Variant>& args) {
  std::string s;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i) s += ",";
    s += args[i].IsMissing() ? "missing" : args[i].AsString();
  }
  return s;
}

class Object : public IDispatchable {
 public:
  Object(std::shared_ptr<Server> server, std::string kind) : server_(std::move(server)), kind_(std::move(kind)) {}

  Variant Invoke(const std::string& member, InvokeKind kind, std::vector<Variant>& args) override {
    auto& s = *server_;
    s.script->Record(kind_ + "." + member + "(" + Args(args) + ")");
    s.Check();
    if (kind_ == "App") return App(member, kind, args);
    if (kind_ == "Documents") return Documents(member, args);
    if (kind_ == "Doc") return Document(member, args);
    if (kind_ == "Selection") return Selection(member, args);
    if (kind_ == "Pages" && member == "Count") return Variant(int32_t(s.script->pages));
    if (kind_ == "Window" && member == "ActivePane") return Child("Pane");
    if (kind_ == "Pane" && member == "Pages") return Child("Pages");
    if (kind_ == "Options" || kind_ == "WebOptions") return Variant();
    throw EOleMemberNotFound(member);
  }
  void Abort() override {
    server_->script->Record("Abort");
    {
      std::lock_guard<std::mutex> g(server_->script->lock);
      ++server_->script->aborts;
    }
    {
      std::lock_guard<std::mutex> g(server_->hangLock);
      server_->alive = false;
    }
    server_->hangWake.notify_all();
  }
  bool IsAlive() const override { return server_->alive; }

 private:
  Variant Child(const std::string& kind) { return Variant(AutoObject(std::make_shared<Object>(server_, kind))); }

  Variant App(const std::string& member, InvokeKind, std::vector<Variant>&) {
    auto& sc = *server_->script;
    if (member == "Version") return sc.version;
    if (member == "Visible") {
      if (sc.visibleFails) throw EOleError("Visible refused.");
      return Variant();
    }
    if (member == "WindowState" || member == "DisplayAlerts") return Variant();
    if (member == "Documents") return Child("Documents");
    if (member == "Options") return Child("Options");
    if (member == "ActiveWindow") return Child("Window");
    if (member == "Selection") return Child("Selection");
    if (member == "Path") return Variant("/opt/word");
    if (member == "Quit") {
      std::lock_guard<std::mutex> g(sc.lock);
      ++sc.quits;
      server_->alive = false;
      return Variant();
    }
    throw EOleMemberNotFound(member);
  }

  Variant Documents(const std::string& member, std::vector<Variant>& args) {
    auto& sc = *server_->script;
    if (member == "Open" || member == "OpenCopy") {
      {
        std::lock_guard<std::mutex> g(sc.lock);
        sc.openArgCounts.push_back(static_cast<int>(args.size()));
      }
      if (!sc.openError.empty()) throw EOleError(sc.openError);
      server_->text = "Some text";
      return Child("Doc");
    }
    if (member == "Add") return Child("Doc");
    throw EOleMemberNotFound(member);
  }

  Variant Document(const std::string& member, std::vector<Variant>& args) {
    auto& sc = *server_->script;
    if (member == "WebOptions") return Child("WebOptions");
    if (member == "HasVBProject") return Variant(true);
    if (member == "Close") return Variant();
    if (member != "SaveAs") throw EOleMemberNotFound(member);
    int n;
    {
      std::lock_guard<std::mutex> g(sc.lock);
      n = sc.saves++;
    }
    if (n == sc.vanishAtSave) {
      server_->alive = false;
      throw EOleServerGone("The server has gone away");
    }
    if (sc.hangAtSave) {
      std::unique_lock<std::mutex> g(server_->hangLock);
      server_->hangWake.wait(g, [&] { return !server_->alive.load(); });
      throw EOleServerGone("The server has gone away");
    }
    if (!sc.saveError.empty()) throw EOleError(sc.saveError);
    std::this_thread::sleep_for(std::chrono::milliseconds(sc.saveDelayMs));
    std::string target = args.at(0).AsString();
    int format = args.at(1).AsInt();
    std::string text = server_->text + "\r\n";
    std::string bytes = format == 7 ? "\xFF\xFE" + platform::Utf16ToLeBytes(platform::Utf8ToUtf16(text)) : text;
    platform::WriteFileInPlace(target, bytes, false);
    return Variant();
  }

  Variant Selection(const std::string& member, std::vector<Variant>& args) {
    if (member == "HomeKey" || member == "GotoNext") return Variant();
    if (member == "TypeText") {
      std::string t = args.at(0).AsString();
      {
        std::lock_guard<std::mutex> g(server_->script->lock);
        server_->script->typed.push_back(t);
      }
      // Like the real server: each typed U+0007 comes out as CR in the saved text.
      for (char& c : t)
        if (c == '\x07') c = '\r';
      server_->text += "\r\n" + t + "Next page";
      return Variant();
    }
    throw EOleMemberNotFound(member);
  }

  std::shared_ptr<Server> server_;
  std::string kind_;
};

}  // namespace

AutoObject NewApplication(const std::shared_ptr<Script>& script) {
  std::this_thread::sleep_for(std::chrono::milliseconds(script->startDelayMs));
  {
    std::lock_guard<std::mutex> g(script->lock);
    ++script->starts;
    if (script->startFailures > 0) {
      --script->startFailures;
      throw EOleError("The office ended during start-up");
    }
    ++script->created;
  }
  auto server = std::make_shared<Server>();
  server->script = script;
  return AutoObject(std::make_shared<Object>(server, "App"));
}

}  // namespace scripted
