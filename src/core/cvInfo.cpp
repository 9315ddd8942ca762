#include "core/cvInfo.h"

#include "core/Globals.h"
#include "core/cvFileUtils.h"
#include "core/cvProject.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/TextEncoding.h"

namespace core {

namespace {

const char kStoreMagic[] = "QuillexStore/2";
// Each holder keeps the lock for one small read and write; a wait this long means a holder
// that will not let go, and a lost count is then better than a hung program.
constexpr unsigned kStoreLockWaitMs = 10000;

bool ParseInt64(const std::string& text, int64_t& out) {
  if (text.empty()) return false;
  std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (v > (INT64_MAX - 9) / 10) return false;
    v = v * 10 + (text[i] - '0');
  }
  out = text[0] == '-' ? -v : v;
  return true;
}

std::string RemoveQuotes(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '"') out += c;
  return out;
}

}  // namespace

TcvInfo::TcvInfo(std::string exeName, std::string webSite, std::string mailbox, std::string stateBase,
                 std::string manual)
    : exeName_(std::move(exeName)),
      webSite_(std::move(webSite)),
      mailbox_(std::move(mailbox)),
      stateBase_(stateBase.empty() ? exeName_ : std::move(stateBase)),
      manual_(std::move(manual)) {
  installNumber_ = TcvFileUtils::FileStamp(
      platform::ExcludeTrailingPathDelimiter(platform::ExtractFilePath(exeName_)), true, true);
  LoadStore();
  UpdateCounter("R", 0, 1);
}

TcvInfo::~TcvInfo() { SaveStore(); }

std::string TcvInfo::StoreFileName() const { return platform::ChangeFileExt(stateBase_, ".ext"); }

std::string TcvInfo::StoreValue(const std::string& key) const {
  std::lock_guard<std::mutex> guard(lock_);
  return store_.Value(key);
}

std::vector<std::string> TcvInfo::StoreLines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return store_.Lines();
}

std::string TcvInfo::EncodeStore(const std::vector<std::string>& lines) {
  std::string text = std::string(kStoreMagic) + "\r\n";
  for (const auto& line : lines) text += line + "\r\n";
  return platform::Utf16ToLeBytes(platform::Utf8ToUtf16(text));
}

bool TcvInfo::DecodeStore(const std::string& bytes, std::vector<std::string>& lines) {
  lines.clear();
  if (bytes.size() % 2 != 0) return false;
  auto all = SettingsList::SplitLines(platform::Utf16ToUtf8(platform::LeBytesToUtf16(bytes)));
  if (all.empty() || all.front() != kStoreMagic) return false;
  lines.assign(all.begin() + 1, all.end());
  SettingsList probe;
  probe.SetLines(lines);
  if (probe.Value("R").empty()) {
    lines.clear();
    return false;
  }
  return true;
}

void TcvInfo::LoadStore() {
  std::vector<std::string> lines;
  std::string bytes;
  bool ok = platform::ReadFileBytes(StoreFileName(), bytes, 1u << 20) && DecodeStore(bytes, lines);
  std::lock_guard<std::mutex> guard(lock_);
  store_.Clear();
  if (ok) store_.SetLines(lines);
  store_.SetValue("v", "2");
}

void TcvInfo::ChangeStore(const std::function<bool(SettingsList&)>& change) {
  std::lock_guard<std::mutex> guard(lock_);
  platform::FileLock fileLock(StoreFileName() + ".lock", kStoreLockWaitMs);
  // A file that is gone or not ours leaves this process's own counts standing: a store that
  // cannot be written (a read-only install) still counts for the links of this run.
  std::string bytes;
  std::vector<std::string> lines;
  if (platform::ReadFileBytes(StoreFileName(), bytes, 1u << 20) && DecodeStore(bytes, lines)) {
    store_.SetLines(lines);
    store_.SetValue("v", "2");
  }
  if (!change(store_)) return;
  try {
    // Renamed into place, so a reader without the lock never sees a torn file either.
    platform::WriteFileAtomic(StoreFileName(), EncodeStore(store_.Lines()), true);
  } catch (...) {
    // A store that cannot be written only loses counts.
  }
}

void TcvInfo::SaveStore() {
  ChangeStore([](SettingsList&) { return true; });
}

void TcvInfo::UpdateCounter(const std::string& key, int64_t value, int64_t step) {
  ChangeStore([&](SettingsList& store) {
    std::string stored = store.Value(key);
    int64_t current = 0;
    if (!ParseInt64(stored, current)) current = 0;
    std::string text = std::to_string(value > 0 ? value : current + step);
    if (text == stored) return false;
    store.SetValue(key, text);
    return true;
  });
}

std::string TcvInfo::CounterText() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::string text;
  for (const auto& line : store_.Lines()) {
    auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    char first = line[0];
    if (first < 'A' || first > 'Z') continue;
    text += static_cast<char>(first - 'A' + 'a');
    text += line.substr(eq + 1);
  }
  return text;
}

std::string TcvInfo::BuildLink(const std::string& page, const std::string& action, const std::string& extra) const {
  TcvProject* project = cvProject();
  std::string title = project ? project->Title : std::string();
  std::string version = project ? project->Version : std::string();
  std::string shortName = project ? project->ShortName : std::string();

  if (page == "supports") {
    auto amp = title.find('&');
    if (amp != std::string::npos) title.replace(amp, 1, "And");
    return "mailto:" + mailbox_ + "?subject=Support required for " + title + " " + version + " - " +
           std::to_string(installNumber_);
  }
  if (page == "h") {
    if (!manual_.empty()) return manual_;
    std::string chm = platform::ChangeFileExt(exeName_, ".chm");
    return platform::FileExists(chm) ? chm : platform::ChangeFileExt(exeName_, ".pdf");
  }
  std::string link = webSite_;
  if (!page.empty())
    link += "/en/" + shortName + "/" + page + ".htm";
  else if (!action.empty())
    link += "/net/";

  const std::pair<const char*, std::string> pairs[] = {
      {"a", action}, {"p", shortName}, {"v", version}, {"c", CounterText()}, {"i", std::to_string(installNumber_)}};
  std::string query;
  for (const auto& [name, raw] : pairs) {
    std::string value = RemoveQuotes(raw);
    if (value.empty()) continue;
    if (!query.empty()) query += "&";
    query += std::string(name) + "=" + value;
  }
  if (!extra.empty()) query += "&" + extra;
  return link + "?" + query;
}

void TcvInfo::OpenLink(const std::string& page, const std::string& action, const std::string& extra) {
  platform::ShellOpen(BuildLink(page, action, extra));
}

std::string TcvInfo::CommaText(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string& item = items[i];
    bool quote = item.empty();
    for (unsigned char c : item)
      if (c <= ' ' || c == ',' || c == '"') quote = true;
    if (i > 0) text += ",";
    if (!quote) {
      text += item;
      continue;
    }
    text += '"';
    for (char c : item) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::string TcvInfo::FailureReportAction(const std::vector<std::string>& errors) {
  std::string text = CommaText(errors);
  std::string escaped;
  for (char c : text) {
    if (c == '?')
      escaped += "%3F";
    else
      escaped += c;
  }
  return "err&e=" + escaped;
}

void TcvInfo::ReportFailures(const std::vector<std::string>& errors) { OpenLink("", FailureReportAction(errors), ""); }

void TcvInfo::HandleException(const std::string& message) {
  try {
    UpdateCounter("E", 0, 1);
  } catch (...) {
  }
  OpenLink("", "err&e=" + message, "");
}

}  // namespace core
