#pragma once
// The world a window test runs in: its own information store and project (installed as the
// process-wide instances) with the program placed in a temporary folder, the product constants
// set as the program sets them, the recording xdg-open first on PATH, and scripted dialogs.
#include <QObject>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "ui/Dialogs.h"
#include "ui/cvFormMain.h"

namespace core {
class TcvInfo;
class TcvProject;
}  // namespace core

namespace uitest {

// Registers a test class object for main(); returns the list of all.
std::vector<QObject*>& Suites();
template <typename T>
struct Register {
  Register() { Suites().push_back(new T); }
};

// Dialogs that answer from queues (an empty optional is a cancel) and record what they were
// asked. An exhausted queue cancels.
class ScriptedDialogs : public ui::TcvDialogs {
 public:
  std::deque<std::optional<std::string>> openFile, saveFile;
  std::deque<std::optional<QString>> folders, saveAs;
  std::deque<std::optional<QStringList>> files;
  QStringList asked;  // "kind|argument|argument" per call

  bool OpenFile(const std::string& filter, const std::string& proposedName, const std::string& folder,
                std::string& chosen) override;
  bool SaveFile(const std::string& filter, const std::string& defaultExt, const std::string& proposedName,
                const std::string& folder, std::string& chosen) override;
  bool ChooseFolder(const QString& start, QString& chosen) override;
  bool ChooseFiles(const QString& filter, const QString& fileName, const QString& folder,
                   QStringList& chosen) override;
  bool ChooseSaveFile(const QString& filter, const QString& defaultExt, QString& chosen) override;
};

class Env {
 public:
  Env();
  ~Env();
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;

  std::string Path(const std::string& name) const { return dir / name; }
  // Writes a file in the test folder and returns its path.
  std::string Write(const std::string& name, const std::string& bytes);

  testsupport::TempDir dir;
  testsupport::RecordingOpener opener;
  std::string exeName;
  std::unique_ptr<core::TcvInfo> info;
  std::unique_ptr<core::TcvProject> project;
};

// The argument of each recorded xdg-open call.
QStringList OpenedLinks(const Env& env);
// What the list shows: one column's texts, and the status icon of every row, top to bottom.
QStringList ColumnTexts(const ui::TcvFrmMain& main, int column);
QList<int> RowIcons(const ui::TcvFrmMain& main);
QStringList WaitForLinks(const Env& env, int count);

}  // namespace uitest
