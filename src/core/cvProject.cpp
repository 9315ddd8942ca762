#include "core/cvProject.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <initializer_list>

#include "platform/FileSystem.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/TextEncoding.h"
#include "platform/UserPlaces.h"

namespace core {

namespace {

// Project and recent-list files are a few kilobytes; anything this large is not one of ours.
constexpr std::size_t kMaxListFile = 16u << 20;

std::string ReplaceAll(std::string text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

std::string LinesToAnsiText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return platform::EncodeAnsi(text);
}

// The folder of a source, as the target when none is set: the folder itself when the source
// names one. A web address has no folder of this machine: its "folder part" would become a
// relative "http:" folder wherever the program runs.
std::string DefaultTargetFor(const std::string& source) {
  std::string path = platform::FileUrlToPath(source);
  if (path.find("://") != std::string::npos) return std::string();
  if (!path.empty() && platform::DirectoryExists(path)) return platform::IncludeTrailingPathDelimiter(path);
  return platform::ExtractFilePath(path);
}

}  // namespace

TcvProject::TcvProject(std::string filesBase) : filesBase_(std::move(filesBase)) {
  std::string bytes;
  if (platform::ReadFileBytes(RecentFileName(), bytes, kMaxListFile)) {
    for (auto& line : SettingsList::SplitLines(platform::DecodeText(bytes)))
      if (!line.empty()) recent_.push_back(line);
  }
}

TcvProject::~TcvProject() {
  UnbindAll();
  try {
    platform::WriteFileAtomic(RecentFileName(), LinesToAnsiText(recent_));
  } catch (...) {
    // A program folder that cannot be written is not the user's problem.
  }
}

std::string TcvProject::Value(const std::string& key) const {
  std::lock_guard<std::mutex> guard(lock_);
  return settings_.Value(key);
}

void TcvProject::SetValue(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_.SetValue(key, value);
}

std::string TcvProject::SettingsText() const {
  std::lock_guard<std::mutex> guard(lock_);
  return settings_.Text();
}

void TcvProject::SetSettingsText(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_.SetText(text);
}

std::vector<std::string> TcvProject::SettingsLines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return settings_.Lines();
}

std::string TcvProject::Source() const { return platform::ExpandHome(Value("Source")); }

std::string TcvProject::Target() const { return platform::ExpandHome(Value("Target")); }

std::string TcvProject::LogFile() const { return platform::ExpandHome(Value("LogFile")); }

TOverwrite TcvProject::IsOverwrite() const {
  std::string v = Value("IsOverwrite");
  if (SameText(v, "skip")) return TOverwrite::Skip;
  if (SameText(v, "newer")) return TOverwrite::Newer;
  return ReadBool(v, true) ? TOverwrite::Overwrite : TOverwrite::NewName;
}

namespace {

// "UTF8" and "UTF16" are read too: both spellings are common.
int EncodingIndex(std::string v) {
  if (v.size() > 3 && SameText(v.substr(0, 3), "UTF") && v[3] != '-') v.insert(3, "-");
  return WordIndex(v, {"UTF-16", "UTF-8", "Locale"});
}
int LineEndsIndex(const std::string& v) { return WordIndex(v, {"CRLF", "LF"}); }
int LogFormatIndex(const std::string& v) { return WordIndex(v, {"text", "json"}); }
int FormatIndex(const std::string& v) { return WordIndex(v, {"Text", "Markdown"}); }

}  // namespace

TEncoding TcvProject::Encoding() const {
  return Format() == TFormat::Markdown ? TEncoding::Utf8 : TextEncoding();
}

TEncoding TcvProject::TextEncoding() const {
  int i = EncodingIndex(Value("Encoding"));
  if (i >= 0) return static_cast<TEncoding>(i);
  if (Bool("Ansi", false)) return TEncoding::Locale;
  return TargetIsStdout() ? TEncoding::Utf8 : TEncoding::Utf16;
}

TLineEnds TcvProject::LineEnds() const {
  int i = LineEndsIndex(Value("LineEnds"));
  if (i >= 0) return static_cast<TLineEnds>(i);
  return TargetIsStdout() || Format() == TFormat::Markdown ? TLineEnds::Lf : TLineEnds::CrLf;
}

TFormat TcvProject::Format() const {
  return FormatIndex(Value("Format")) == 1 ? TFormat::Markdown : TFormat::Text;
}

std::string TcvProject::TargetExtension() const {
  return Format() == TFormat::Markdown ? std::string(".md") : TargetExt;
}

TLogFormat TcvProject::LogFormat() const {
  return LogFormatIndex(Value("LogFormat")) == 1 ? TLogFormat::Json : TLogFormat::Text;
}

int DefaultOfficeMemoryLimit(int workers) {
  constexpr long long kCeilingMiB = 4096;
  long long machineMiB = platform::PhysicalMemoryBytes() / (1024 * 1024);
  if (machineMiB <= 0) return kCeilingMiB;
  long long share = machineMiB * 3 / 4 / std::max(workers, 1);
  return static_cast<int>(std::clamp(share, 1LL, kCeilingMiB));
}

namespace {

constexpr long long kDefaultMaxDocumentSize = 1LL << 30;

// A count of bytes: digits only, with an optional leading minus; nullopt for anything else.
std::optional<long long> ReadBytes(const std::string& text) {
  std::string t = text;
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
  t.erase(0, std::min(t.size(), t.find_first_not_of(" \t")));
  if (t.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || end != t.c_str() + t.size()) return std::nullopt;
  return value;
}

}  // namespace

long long TcvProject::MaxDocumentSize() const {
  return ReadBytes(Value("MaxDocumentSize")).value_or(kDefaultMaxDocumentSize);
}

std::vector<TUnreadableSetting> TcvProject::UnreadableSettings() const {
  // A value is read when its reading does not depend on the default handed in.
  // clang-format off
  static const std::pair<const char*, bool> kBools[] = {
      {"Subdir", false},       {"SkipHidden", false},  {"KeepTargetSubdirs", true}, {"KeepFileTime", false},
      {"DeleteSource", false}, {"AppVisible", false},  {"ReadOnly", false},         {"SkipPassword", false},
      {"Ansi", false},         {"PageBreaks", false},  {"PureConsole", false},      {"RunAndClose", false},
      {"Quiet", false},        {"FailureReport", true},
      {"Watch", false},        {"FollowLinks", false}, {"AnyFile", false}};
  // clang-format on
  static const std::pair<const char*, int> kInts[] = {
      {"ThreadsCount", 1}, {"Daemon", 0}, {"ConvertTimeout", 300000}};
  std::vector<TUnreadableSetting> found;
  auto boolText = [](bool b) { return std::string(b ? "True" : "False"); };
  std::string overwrite = Value("IsOverwrite");
  if (!overwrite.empty() && !SameText(overwrite, "skip") && !SameText(overwrite, "newer") &&
      ReadBool(overwrite, false) != ReadBool(overwrite, true))
    found.push_back({"IsOverwrite", overwrite, "True"});
  for (const auto& [name, def] : kBools) {
    std::string v = Value(name);
    if (!v.empty() && ReadBool(v, false) != ReadBool(v, true)) found.push_back({name, v, boolText(def)});
  }
  for (const auto& [name, def] : kInts) {
    std::string v = Value(name);
    bool unread = !v.empty() && ReadInt(v, 0) != ReadInt(v, 1);
    if (unread || (std::string(name) == "Daemon" && ReadInt(v, 0) < 0))
      found.push_back({name, v, std::to_string(def)});
  }
  // Words, whose default depends on other settings: the value used is named as it is written.
  static const char* const kEncodings[] = {"UTF-16", "UTF-8", "Locale"};
  static const char* const kLineEnds[] = {"CRLF", "LF"};
  if (std::string v = Value("Encoding"); !v.empty() && EncodingIndex(v) < 0)
    found.push_back({"Encoding", v, kEncodings[static_cast<int>(Encoding())]});
  if (std::string v = Value("LineEnds"); !v.empty() && LineEndsIndex(v) < 0)
    found.push_back({"LineEnds", v, kLineEnds[static_cast<int>(LineEnds())]});
  if (std::string v = Value("LogFormat"); !v.empty() && LogFormatIndex(v) < 0)
    found.push_back({"LogFormat", v, "text"});
  AddUnreadableTextParts(found);
  if (std::string v = Value("Format"); !v.empty() && FormatIndex(v) < 0)
    found.push_back({"Format", v, "Text"});
  if (std::string v = Value("MaxDocumentSize"); !v.empty() && !ReadBytes(v))
    found.push_back({"MaxDocumentSize", v, std::to_string(kDefaultMaxDocumentSize)});
  // Its default depends on the machine and the workers, so it has no row above.
  std::string memory = Value("OfficeMemoryLimit");
  if (!memory.empty() && ReadInt(memory, 0) != ReadInt(memory, 1))
    found.push_back({"OfficeMemoryLimit", memory, std::to_string(DefaultOfficeMemoryLimit(ThreadsCount()))});
  return found;
}

namespace {

// Edit distance with swapped neighbours counting as one edit, letter case ignored: "ThreadCount"
// is one from ThreadsCount, "Subdris" one from Subdir.
std::size_t NameDistance(const std::string& a, const std::string& b) {
  auto fold = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
  for (std::size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= n; ++i)
    for (std::size_t j = 1; j <= m; ++j) {
      std::size_t cost = fold(a[i - 1]) == fold(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && fold(a[i - 1]) == fold(b[j - 2]) && fold(a[i - 2]) == fold(b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[n][m];
}

bool IsKnownSetting(const std::string& name) {
  for (const auto& known : TcvProject::KnownSettings())
    if (SameText(known, name)) return true;
  // Older versions keyed a control's value by its name and property: the name without its type
  // letter is the setting.
  auto dot = name.find('.');
  if (dot != std::string::npos && dot > 1) {
    std::string key = name.substr(1, dot - 1);
    for (const auto& known : TcvProject::KnownSettings())
      if (SameText(known, key)) return true;
  }
  return false;
}

// Names are short, and a guess further off than a third of the name misleads more than it helps.
std::string NearestSetting(const std::string& name) {
  std::string best;
  std::size_t bestDistance = std::string::npos;
  for (const auto& known : TcvProject::KnownSettings()) {
    std::size_t distance = NameDistance(name, known);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = known;
    }
  }
  return bestDistance <= std::max<std::size_t>(2, best.size() / 3) ? best : std::string();
}

}  // namespace

const std::vector<std::string>& TcvProject::KnownSettings() {
  static const std::vector<std::string> kNames = {"Source",
                                                  "Target",
                                                  "Subdir",
                                                  "RegExt",
                                                  "SkipHidden",
                                                  "ThreadsCount",
                                                  "IsOverwrite",
                                                  "KeepTargetSubdirs",
                                                  "KeepFileTime",
                                                  "DeleteSource",
                                                  "RenameSource",
                                                  "AppVisible",
                                                  "ReadOnly",
                                                  "SkipPassword",
                                                  "Ansi",
                                                  "PageBreaks",
                                                  "PureConsole",
                                                  "RunAndClose",
                                                  "Daemon",
                                                  "LogFile",
                                                  "Shard",
                                                  "ConvertTimeout",
                                                  "FailureReport",
                                                  "Quiet",
                                                  "OfficeMemoryLimit",
                                                  "Encoding",
                                                  "LineEnds",
                                                  "LogFormat",
                                                  "Watch",
                                                  "MaxDocumentSize",
                                                  "FollowLinks",
                                                  "OfficeUser",
                                                  "AnyFile",
                                                  "Include",
                                                  "Changes",
                                                  "HiddenText",
                                                  "Format"};
  return kNames;
}

std::vector<TUnknownSetting> TcvProject::UnknownSettings() const {
  std::vector<TUnknownSetting> found;
  for (const auto& line : SettingsLines()) {
    auto eq = line.find('=');
    // Lines of any other form are not settings (comments, say) and are never read.
    if (eq == std::string::npos || eq == 0) continue;
    std::string name = line.substr(0, eq);
    if (IsKnownSetting(name)) continue;
    bool named = false;
    for (const auto& f : found) named = named || SameText(f.name, name);
    if (!named) found.push_back({name, NearestSetting(name)});
  }
  return found;
}

bool TcvProject::Shard(int& index, int& count) const {
  std::string v = Value("Shard");
  index = count = v.empty() ? 1 : 0;
  return v.empty() || ReadShard(v, index, count);
}

void TcvProject::OpenStartup() {
  if (startupOpened_) {
    Distribute();
    return;
  }
  startupOpened_ = true;
  if (ProjectFile.empty() && CommandLineSettings.empty())
    ProjectFile = platform::ChangeFileExt(filesBase_, ProjectExt);
  Open(true);
}

bool TcvProject::ReadProjectFile(const std::string& fileName) {
  std::string bytes;
  if (!platform::ReadFileBytes(fileName, bytes, kMaxListFile)) {
    if (!platform::PathExists(fileName)) return false;
    throw platform::EFileError("Cannot read the project file \"" + fileName + "\"");
  }
  SetSettingsText(platform::DecodeText(bytes));
  return true;
}

bool TcvProject::Open(bool withoutDialog) {
  if (!withoutDialog) {
    std::string chosen;
    if (!dialogs_ ||
        !dialogs_->OpenFile(ProjectFilter + "|" + SourceFilter, ReplaceAll(ProjectFile, '?', '*'),
                            platform::ExtractFilePath(ProjectFile), chosen))
      return false;
    ProjectFile = chosen;
  }
  if (IsProjectFile(ProjectFile)) {
    bool read = false;
    try {
      read = ReadProjectFile(ProjectFile);
    } catch (...) {
      // Taken as an empty project, the next Save would replace it, its keys and mode lost.
      ProjectFile = openFile_;
      throw;
    }
    if (read) AddRecent();
    openFile_ = ProjectFile;
  } else if (ProjectFile.empty() && !CommandLineSettings.empty()) {
    SetSettingsText(CommandLineSettings);
    TargetBesideSource = Target().empty() && !Source().empty();
    if (Target().empty()) SetValue("Target", DefaultTargetFor(Source()));
  } else {
    SetValue("Source", ProjectFile);
    TargetBesideSource = Target().empty();
    if (Target().empty()) SetValue("Target", DefaultTargetFor(ProjectFile));
    ProjectFile.clear();
  }
  if (ProjectFile.empty()) openFile_.clear();
  Distribute();
  return true;
}

void TcvProject::New() {
  ProjectFile.clear();
  openFile_.clear();
  {
    std::lock_guard<std::mutex> guard(lock_);
    settings_.Clear();
  }
  Distribute();
}

bool TcvProject::Save() {
  if (ProjectFile.empty()) return SaveAs();
  try {
    Collect(true);
  } catch (const platform::EFileError&) {
    // Without a dialog there is no one to ask: the caller learns of the failure.
    if (!dialogs_) throw;
    return SaveAs();
  }
  openFile_ = ProjectFile;
  return true;
}

bool TcvProject::SaveAs() {
  std::string chosen;
  if (!dialogs_ || !dialogs_->SaveFile(ProjectFilter, ProjectExt, ProjectFile,
                                       platform::ExtractFilePath(ProjectFile), chosen))
    return false;
  ProjectFile = chosen;
  Collect(true);
  openFile_ = ProjectFile;
  return true;
}

std::string TcvProject::KeyOf(const IBoundControl& control) {
  std::string name = control.ComponentName();
  return name.empty() ? name : name.substr(1);
}

void TcvProject::Collect(bool writeFile) {
  for (auto* control : bound_) SetValue(KeyOf(*control), control->GetProperty(control->Hint()));
  if (writeFile) {
    WriteProjectFile();
    AddRecent();
  }
}

void TcvProject::WriteProjectFile() {
  platform::WriteFileAtomic(ProjectFile, LinesToAnsiText(SettingsLines()));
}

void TcvProject::Distribute() {
  for (auto* control : bound_) {
    std::string key = KeyOf(*control);
    std::string value = Value(key);
    if (value.empty()) {
      // Projects written by older versions keyed a control by name and property.
      std::string oldKey = control->ComponentName() + "." + control->Hint();
      value = Value(oldKey);
      if (!value.empty()) SetValue(oldKey, "");
    }
    control->SetProperty(control->Hint(), value);
  }
}

bool TcvProject::IsProjectFile(const std::string& fileName) const {
  if (ProjectExt.empty()) return false;
  auto pos = fileName.find(ProjectExt);
  return pos != std::string::npos && pos + ProjectExt.size() == fileName.size();
}

void TcvProject::AddRecent() {
  if (ProjectFile.empty()) return;
  for (const auto& path : recent_)
    if (SameText(path, ProjectFile)) return;
  recent_.insert(recent_.begin(), ProjectFile);
}

void TcvProject::Bind(IBoundControl* control) { bound_.push_back(control); }

std::string TcvProject::TargetFolder() {
  // A "file:" address names a folder here; taken as it is, it would become a relative "file:"
  // folder in the working folder.
  std::string target = platform::FileUrlToPath(Target());
  // An empty target must never turn into the root folder.
  if (target.empty()) return target;
  if (!platform::DirectoryExists(target)) platform::ForceDirectories(target);
  return platform::IncludeTrailingPathDelimiter(target);
}

}  // namespace core
