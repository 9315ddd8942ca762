#pragma once
// TcvProject: the batch project. It owns the settings (an ordered Name=Value list), the list of
// controls bound to settings, the recent-projects list and the product constants.
//
// Threads: everything runs on the main thread, except Value, the typed getters and
// SettingsText, which workers and the enumeration thread call during a run. Every read and
// change of the settings takes one lock, so a reader never sees a half-changed list.
#include <mutex>
#include <string>
#include <vector>

#include "core/BoundControl.h"
#include "core/SettingsList.h"

namespace core {

// Newer: a text at least as new as its document is left as Skip leaves it; any other is
// written as Overwrite writes it.
enum class TOverwrite { Overwrite, NewName, Skip, Newer };
// The character set of the text files, and their line ends.
enum class TEncoding { Utf16, Utf8, Locale };
enum class TLineEnds { CrLf, Lf };
// What the office writes: text (.txt, in the chosen encoding) or Markdown (.md, always UTF-8).
enum class TFormat { Text, Markdown };
// How the run log is written: the lines of the specified form, or JSON Lines.
enum class TLogFormat { Text, Json };

// A typed setting whose value could not be read, and the default used in its place.
struct TUnreadableSetting {
  std::string name;   // as the getters know it
  std::string value;  // as written
  std::string used;   // the default, as a value would be written
};

// Three quarters of the machine's memory shared among the workers (fewer than one counts as
// one), at most 4096 MiB: enough for any real document, and every office of a run together
// leaves the machine a quarter of its memory. 4096 when the machine's memory cannot be read.
int DefaultOfficeMemoryLimit(int workers);
// A setting name the program does not know (a typo, most often), and the known name nearest to
// it; nearest is empty when no known name is close.
struct TUnknownSetting {
  std::string name;     // as written, blanks included
  std::string nearest;  // as the program spells it
};

class TcvProject {
 public:
  // filesBase names the program's own files: with ProjectExt the start-up project, with ".log"
  // appended the recent-projects list. It is the program file for a portable copy and a path in
  // the user's configuration folder for an installed program. Reads the recent list when it exists.
  explicit TcvProject(std::string filesBase);
  // Unbinds the controls and writes the recent-projects list (a failure is silent).
  ~TcvProject();
  TcvProject(const TcvProject&) = delete;
  TcvProject& operator=(const TcvProject&) = delete;

  // Product constants, set once at start-up.
  std::string SourceMask, SourceFilter, TargetExt, ShortName, ProjectExt, ProjectFilter, Title, Version;

  // Main thread only.
  std::string ProjectFile;
  std::string CommandLineSettings;
  // Set when the command line named a source but no target, so that the texts go to the
  // source's own folder (Target was filled in for it).
  bool TargetBesideSource = false;
  const std::string& FilesBase() const { return filesBase_; }

  // Settings, any thread.
  std::string Value(const std::string& key) const;
  void SetValue(const std::string& key, const std::string& value);
  std::string SettingsText() const;               // every line, each ended by CR LF
  void SetSettingsText(const std::string& text);  // replaces the whole list
  std::vector<std::string> SettingsLines() const;
  bool Bool(const std::string& key, bool def) const { return ReadBool(Value(key), def); }
  int Int(const std::string& key, int def) const { return ReadInt(Value(key), def); }

  // Source, Target and LogFile read a leading "~/" as the home folder.
  std::string Source() const;
  std::string Target() const;
  bool Subdir() const { return Bool("Subdir", false); }
  int ThreadsCount() const { return Int("ThreadsCount", 1); }
  TOverwrite IsOverwrite() const;
  bool KeepTargetSubdirs() const { return Bool("KeepTargetSubdirs", true); }
  bool KeepFileTime() const { return Bool("KeepFileTime", false); }
  bool DeleteSource() const { return Bool("DeleteSource", false); }
  std::string RenameSource() const { return Value("RenameSource"); }
  bool PureConsole() const { return Bool("PureConsole", false); }
  bool RunAndClose() const { return Bool("RunAndClose", false); }
  // A headless run says nothing on standard error but why it could not be carried out and which
  // settings it could not read: no progress, no failures, no summary.
  bool Quiet() const { return Bool("Quiet", false); }
  int Daemon() const { return Int("Daemon", 0); }
  // A headless run that stays up after its first pass and converts each document written or
  // moved into the source tree, until a stop signal.
  bool Watch() const { return Bool("Watch", false); }
  std::string LogFile() const;
  // Milliseconds one conversion may take; 0 or less: no limit.
  int ConvertTimeout() const { return Int("ConvertTimeout", 300000); }
  // MiB of resident memory one office may hold while it converts; 0 or less: no limit. The
  // default is a fair share of the machine (DefaultOfficeMemoryLimit).
  int OfficeMemoryLimit() const { return Int("OfficeMemoryLimit", DefaultOfficeMemoryLimit(ThreadsCount())); }
  // Bytes a document (or standard input) may have; a larger one fails at once, unread. Also
  // bounds a file that grows while it is read. 0 or less: no limit. Default 1 GiB.
  long long MaxDocumentSize() const;
  // Links inside the source tree are followed only with this, and only while they stay inside it.
  bool FollowLinks() const { return Bool("FollowLinks", false); }
  // The account a root run's offices run under; empty gives the default account.
  std::string OfficeUser() const { return Value("OfficeUser"); }
  // Files LibreOffice would read as plain text (or empty ones) convert as it reads them, rather
  // than fail as no word-processor document.
  bool AnyFile() const { return Bool("AnyFile", false); }
  // Whether a run with failures opens the failure report link.
  bool FailureReport() const { return Bool("FailureReport", true); }
  // Target "-" writes the texts to standard output; Source "-" reads one document from
  // standard input. Either makes the run a filter.
  bool TargetIsStdout() const { return Value("Target") == "-"; }
  bool SourceIsStdin() const { return Value("Source") == "-"; }
  // Encoding wins over Ansi when it can be read; without it Ansi decides (True: Locale). A
  // filter run (TargetIsStdout) writes UTF-8 with LF unless these settings say otherwise.
  // Markdown is UTF-8, with LF unless LineEnds says CRLF.
  TEncoding Encoding() const;
  // The encoding the settings choose for text, whatever the Format.
  TEncoding TextEncoding() const;
  TLineEnds LineEnds() const;
  TFormat Format() const;
  // The extension of the files written: TargetExt for text, ".md" for Markdown.
  std::string TargetExtension() const;
  TLogFormat LogFormat() const;
  // What of a document goes into its text (cvProjectParts.cpp), each as its canonical words:
  // Include a comma list of notes, headers, comments, frames in that order ("" by default);
  // Changes show, accept or reject ("show"); HiddenText keep or drop ("keep"). Unreadable words
  // give their default. All at their defaults, the text is the word processor's own export.
  std::string Include() const;
  std::string Changes() const;
  std::string HiddenText() const;
  bool TextPartsAsExported() const { return Include().empty() && Changes() == "show" && HiddenText() == "keep"; }
  // Shard=K/N: the run takes only the documents of shard K of N. Missing gives 1/1 (every
  // document). False when the value is not K/N with 1 <= K <= N; index and count are then 0,
  // which no document's shard matches.
  bool Shard(int& index, int& count) const;
  bool IsAutoRun() const { return RunAndClose() || PureConsole() || Daemon() > 0; }
  // The typed settings whose value the getters above cannot read (so that they silently use
  // their default), at most one entry per setting. A negative Daemon counts as unreadable: no
  // pause is shorter than none.
  std::vector<TUnreadableSetting> UnreadableSettings() const;
  void AddUnreadableTextParts(std::vector<TUnreadableSetting>& found) const;
  // Every setting name the program reads, as it spells them.
  static const std::vector<std::string>& KnownSettings();
  // The Name=Value lines whose name is no known setting (letter case ignored), once per name, in
  // the order written. Names of the older "control.property" form (eSource.Text) count as known.
  // Such lines stay in the settings: the project file keeps what it does not understand.
  std::vector<TUnknownSetting> UnknownSettings() const;

  // Project operations, main thread.
  void SetDialogs(IProjectDialogs* dialogs) { dialogs_ = dialogs; }
  // Opens what the program was started with (the argument, the -P settings, or the project
  // beside the program) once; later calls only show the settings in the bound controls, so
  // that a document given as the argument is never replaced by the project beside the program.
  // Throws as Open.
  void OpenStartup();
  // Returns false when the dialog was cancelled. A project file that exists but cannot be read
  // (no permission, too large) throws platform::EFileError naming it; the settings stay, and
  // ProjectFile goes back to the project they came from, so Save never writes over that file.
  // A project file that does not exist is silent: the settings stay and Save creates it.
  bool Open(bool withoutDialog);
  void New();
  // Return false when the save dialog was cancelled. A write error throws platform::EFileError.
  // Save asks for a name, as SaveAs does, when there is none or the current one cannot be
  // written (an installed program's folder, a project on a medium now read-only).
  bool Save();
  bool SaveAs();
  void Collect(bool writeFile);
  void Distribute();
  bool IsProjectFile(const std::string& fileName) const;
  void AddRecent();
  void Bind(IBoundControl* control);
  void UnbindAll() { bound_.clear(); }
  // The Target value ("file:" addresses as paths) with a final "/", its folder created when
  // missing (a failure is ignored).
  std::string TargetFolder();

  std::vector<std::string> RecentProjects() const { return recent_; }
  std::string RecentFileName() const { return filesBase_ + ".log"; }

 private:
  static std::string KeyOf(const IBoundControl& control);
  void WriteProjectFile();
  // False when the file does not exist; throws platform::EFileError when it cannot be read.
  bool ReadProjectFile(const std::string& fileName);

  const std::string filesBase_;
  mutable std::mutex lock_;
  SettingsList settings_;
  std::vector<IBoundControl*> bound_;
  std::vector<std::string> recent_;
  IProjectDialogs* dialogs_ = nullptr;
  // The project file the settings belong to (empty when none), as ProjectFile was after the
  // last successful Open, New, Save or Save As.
  std::string openFile_;
  bool startupOpened_ = false;
};

}  // namespace core
