#pragma once
// TcvDialogs: the file and folder dialogs of the windows. It serves the project's open and save
// dialogs (core::IProjectDialogs) and the main window's folder browser, file chooser and list
// export, over QFileDialog. Tests replace it with scripted answers.
//
// Owned by the main window. GUI thread only.
#include <QStringList>
#include <QWidget>

#include "core/BoundControl.h"

namespace ui {

class TcvDialogs : public core::IProjectDialogs {
 public:
  explicit TcvDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  TcvDialogs(const TcvDialogs&) = delete;
  TcvDialogs& operator=(const TcvDialogs&) = delete;

  bool OpenFile(const std::string& filter, const std::string& proposedName, const std::string& folder,
                std::string& chosen) override;
  bool SaveFile(const std::string& filter, const std::string& defaultExt, const std::string& proposedName,
                const std::string& folder, std::string& chosen) override;

  // The folder browser, pre-selecting start (when not empty). False when cancelled.
  virtual bool ChooseFolder(const QString& start, QString& chosen);
  // Several existing files; fileName is proposed in the name box, folder opened first.
  // False when cancelled.
  virtual bool ChooseFiles(const QString& filter, const QString& fileName, const QString& folder,
                           QStringList& chosen);
  // A file to save under, asking before an existing one is overwritten. False when cancelled.
  virtual bool ChooseSaveFile(const QString& filter, const QString& defaultExt, QString& chosen);

  // "Desc|*.a;*.b|Desc2|*.c" as Qt's name filters: "Desc (*.a *.b)", "Desc2 (*.c)". A pattern
  // list already in parentheses at the end of a description is replaced, not repeated.
  static QStringList NameFilters(const QString& filter);

 private:
  QWidget* owner_;
};

}  // namespace ui
