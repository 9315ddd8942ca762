#include "UiTestEnv.h"

#include <QTreeWidget>

#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"

namespace uitest {

std::vector<QObject*>& Suites() {
  static std::vector<QObject*> suites;
  return suites;
}

namespace {

template <typename T>
std::optional<T> Next(std::deque<std::optional<T>>& queue) {
  if (queue.empty()) return std::nullopt;
  auto answer = queue.front();
  queue.pop_front();
  return answer;
}

}  // namespace

bool ScriptedDialogs::OpenFile(const std::string& filter, const std::string& proposedName, const std::string& folder,
                               std::string& chosen) {
  asked << QString::fromStdString("open|" + filter + "|" + proposedName + "|" + folder);
  auto answer = Next(openFile);
  if (answer) chosen = *answer;
  return answer.has_value();
}

bool ScriptedDialogs::SaveFile(const std::string& filter, const std::string& defaultExt,
                               const std::string& proposedName, const std::string& folder, std::string& chosen) {
  asked << QString::fromStdString("save|" + filter + "|" + defaultExt + "|" + proposedName + "|" + folder);
  auto answer = Next(saveFile);
  if (answer) chosen = *answer;
  return answer.has_value();
}

bool ScriptedDialogs::ChooseFolder(const QString& start, QString& chosen) {
  asked << "folder|" + start;
  auto answer = Next(folders);
  if (answer) chosen = *answer;
  return answer.has_value();
}

bool ScriptedDialogs::ChooseFiles(const QString& filter, const QString& fileName, const QString& folder,
                                  QStringList& chosen) {
  asked << "files|" + filter + "|" + fileName + "|" + folder;
  auto answer = Next(files);
  if (answer) chosen = *answer;
  return answer.has_value();
}

bool ScriptedDialogs::ChooseSaveFile(const QString& filter, const QString& defaultExt, QString& chosen) {
  asked << "export|" + filter + "|" + defaultExt;
  auto answer = Next(saveAs);
  if (answer) chosen = *answer;
  return answer.has_value();
}

Env::Env() : exeName(dir / "quillex") {
  info = std::make_unique<core::TcvInfo>(exeName, "http://www.quillex.example.org", "support@quillex.example.org");
  project = std::make_unique<core::TcvProject>(exeName);
  project->SourceMask = "*.doc?";
  project->SourceFilter = "Word Document (*.doc;*.docx)|*.doc;*.docx";
  project->TargetExt = ".txt";
  project->ShortName = "quillex";
  project->ProjectExt = ".batch-quillex";
  project->ProjectFilter = "Quillex Project|*.batch-quillex";
  project->Title = "Quillex Converter";
  project->Version = "2020.12.1118.2014";
  core::SetCvInfo(info.get());
  core::SetCvProject(project.get());
}

Env::~Env() {
  core::SetCvProject(nullptr);
  core::SetCvInfo(nullptr);
  project.reset();
  info.reset();
}

std::string Env::Write(const std::string& name, const std::string& bytes) {
  std::string path = dir / name;
  testsupport::WriteFile(path, bytes);
  return path;
}

namespace {

QStringList Arguments(const std::vector<std::string>& calls) {
  QStringList links;
  for (const auto& call : calls) {
    QString line = QString::fromStdString(call);
    links << line.section('\t', 1);
  }
  return links;
}

}  // namespace

QStringList OpenedLinks(const Env& env) { return Arguments(env.opener.Calls()); }

QStringList WaitForLinks(const Env& env, int count) {
  return Arguments(env.opener.WaitForCalls(static_cast<std::size_t>(count)));
}

QStringList ColumnTexts(const ui::TcvFrmMain& main, int column) {
  QStringList rows;
  for (int i = 0; i < main.lViewer->topLevelItemCount(); ++i) rows << main.lViewer->topLevelItem(i)->text(column);
  return rows;
}

QList<int> RowIcons(const ui::TcvFrmMain& main) {
  QList<int> icons;
  for (int i = 0; i < main.lViewer->topLevelItemCount(); ++i)
    icons << ui::TcvFrmMain::ImageIndexOf(main.lViewer->topLevelItem(i));
  return icons;
}

}  // namespace uitest
