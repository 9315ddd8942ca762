#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace ui {

namespace {

QString DefaultSuffix(const std::string& ext) {
  QString suffix = QString::fromStdString(ext);
  while (suffix.startsWith('.')) suffix.remove(0, 1);
  return suffix;
}

}  // namespace

QStringList TcvDialogs::NameFilters(const QString& filter) {
  QStringList parts = filter.split('|');
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    description.remove(QRegularExpression(QStringLiteral("\\s*\\([^()]*\\)$")));
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (auto& p : patterns) p = p.trimmed();
    result << QStringLiteral("%1 (%2)").arg(description, patterns.join(' '));
  }
  if (result.isEmpty()) result << QStringLiteral("* (*)");
  return result;
}

bool TcvDialogs::OpenFile(const std::string& filter, const std::string& proposedName, const std::string& folder,
                          std::string& chosen) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(NameFilters(QString::fromStdString(filter)));
  if (!folder.empty()) dialog.setDirectory(QString::fromStdString(folder));
  if (!proposedName.empty()) dialog.selectFile(QFileInfo(QString::fromStdString(proposedName)).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = dialog.selectedFiles().first().toStdString();
  return true;
}

bool TcvDialogs::SaveFile(const std::string& filter, const std::string& defaultExt, const std::string& proposedName,
                          const std::string& folder, std::string& chosen) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(NameFilters(QString::fromStdString(filter)));
  dialog.setDefaultSuffix(DefaultSuffix(defaultExt));
  if (!folder.empty()) dialog.setDirectory(QString::fromStdString(folder));
  if (!proposedName.empty()) dialog.selectFile(QFileInfo(QString::fromStdString(proposedName)).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = dialog.selectedFiles().first().toStdString();
  return true;
}

bool TcvDialogs::ChooseFolder(const QString& start, QString& chosen) {
  QString folder = QFileDialog::getExistingDirectory(owner_, QString(), start, QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return false;
  chosen = folder;
  return true;
}

bool TcvDialogs::ChooseFiles(const QString& filter, const QString& fileName, const QString& folder,
                             QStringList& chosen) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters(NameFilters(filter));
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!fileName.isEmpty()) dialog.selectFile(QFileInfo(fileName).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = dialog.selectedFiles();
  return true;
}

bool TcvDialogs::ChooseSaveFile(const QString& filter, const QString& defaultExt, QString& chosen) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(NameFilters(filter));
  dialog.setDefaultSuffix(DefaultSuffix(defaultExt.toStdString()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = dialog.selectedFiles().first();
  return true;
}

}  // namespace ui
