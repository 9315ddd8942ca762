#include "ui/cvFormCfg.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/Globals.h"
#include "core/cvInfo.h"
#include "core/cvProject.h"

namespace ui {

TcvFrmCfg::TcvFrmCfg(QWidget* parent)
    : TcvFrmBase(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                             Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("cvFrmCfg");
  setWindowTitle("Config");
  setFixedSize(292, 273);

  txtCfg = new QPlainTextEdit(this);
  txtCfg->setObjectName("txtCfg");
  txtCfg->setGeometry(16, 16, 256, 200);
  txtCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtCfg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtCfg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtCfg->setToolTip("Please add/delete/modify the options by yourself");

  btnHelp = new QPushButton("Help", this);
  btnHelp->setObjectName("btnHelp");
  btnHelp->setGeometry(16, 233, 72, 25);
  btnHelp->setToolTip("Click here to see the details about the options");
  btnOk = new QPushButton("&Ok", this);
  btnOk->setObjectName("btnOk");
  btnOk->setGeometry(120, 233, 72, 25);
  btnOk->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(200, 233, 72, 25);

  connect(btnHelp, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnHelpClick(); }); });
  connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
}

void TcvFrmCfg::FormShow() {
  core::TcvProject* project = core::cvProject();
  project->Collect(false);
  QString text = QString::fromStdString(project->SettingsText());
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  txtCfg->setPlainText(text);
}

void TcvFrmCfg::btnOkClick() {
  core::TcvProject* project = core::cvProject();
  project->SetSettingsText(txtCfg->toPlainText().toStdString());
  project->Distribute();
  SetModalResult(mrOk);
}

void TcvFrmCfg::btnHelpClick() { core::cvInfo()->OpenLink("h", "", ""); }

void TcvFrmCfg::keyPressEvent(QKeyEvent* event) {
  // Escape leaves as Cancel does; Enter in the memo stays a line break.
  if (event->key() == Qt::Key_Escape) {
    SetModalResult(mrOk);
    return;
  }
  TcvFrmBase::keyPressEvent(event);
}

}  // namespace ui
