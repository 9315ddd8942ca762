#pragma once
// TcvFrmCfg: the settings editor. Shown modally by the main window's Config action, it shows
// every setting of the current project as a "Name=Value" line and, on OK, makes the edited text
// the project's whole settings list and pushes it into the bound controls. Nothing is written to
// the project file here.
//
// Created by the main window on first use and kept (a child window of it). GUI thread only.
#include "ui/cvFormBase.h"

class QPlainTextEdit;
class QPushButton;

namespace ui {

class TcvFrmCfg : public TcvFrmBase {
  Q_OBJECT
 public:
  explicit TcvFrmCfg(QWidget* parent = nullptr);

  QPlainTextEdit* txtCfg = nullptr;
  QPushButton *btnHelp = nullptr, *btnOk = nullptr, *btnCancel = nullptr;

  void btnOkClick();
  void btnHelpClick();

 protected:
  // Collects the bound controls into the settings (without writing) and fills the memo.
  void FormShow() override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ui
