#include "ui/cvFormAbout.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include "core/Globals.h"
#include "core/cvProject.h"

namespace ui {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& bounds, int pixelHeight, bool bold) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(bounds);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QFont font = TcvFrmBase::BaseFont(QStringLiteral("Verdana"), 8);
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(221, 221, 221));
  label->setPalette(palette);
  // The base window's button-face background would otherwise make the labels use ButtonText.
  label->setForegroundRole(QPalette::WindowText);
  // Clicks on the labels close the window as clicks on the window do.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

}  // namespace

TcvFrmAbout::TcvFrmAbout(QWidget* mainForm, QWidget* parent)
    : TcvFrmBase(parent, Qt::Dialog | Qt::FramelessWindowHint), mainForm_(mainForm) {
  setObjectName("cvFrmAbout");
  setFixedSize(472, 243);
  setWindowOpacity(200.0 / 255.0);
  setFont(BaseFont(QStringLiteral("Verdana"), 8));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0, 85, 255));
  palette.setColor(QPalette::Button, QColor(0, 85, 255));
  setPalette(palette);
  setAutoFillBackground(true);

  img = new QLabel(this);
  img->setObjectName("img");
  img->setGeometry(40, 40, 80, 80);
  img->setAttribute(Qt::WA_TransparentForMouseEvents);
  lblProduct = MakeLabel(this, "lblProduct", QRect(163, 40, 250, 50), 21, true);
  lblProduct->setWordWrap(true);
  lblVersion = MakeLabel(this, "lblVersion", QRect(176, 96, 224, 16), 13, true);
  lblCopright = MakeLabel(this, "lblCopright", QRect(184, 208, 264, 16), 13, false);
  lblCopright->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblCopright->setText(QStringLiteral("Copyright \u00A9 2020 The Quillex authors"));
}

void TcvFrmAbout::ShowAbout() {
  int call = showCount_++;
  if (call == 0) {
    core::TcvProject* project = core::cvProject();
    if (mainForm_ && project && project->PureConsole()) mainForm_->setWindowOpacity(0.0);
    return;
  }
  ShowModal();
}

void TcvFrmAbout::FormShow() {
  if (!lblProduct->text().isEmpty()) return;
  core::TcvProject* project = core::cvProject();
  // Plain-text labels show an "&" as it stands, so the title needs no doubling here.
  lblProduct->setText(QString::fromStdString(project->Title));
  lblVersion->setText(QString::fromStdString(project->Version));
}

void TcvFrmAbout::mousePressEvent(QMouseEvent* event) {
  event->accept();
  FormClick();
}

void TcvFrmAbout::keyPressEvent(QKeyEvent* event) {
  if (event->text().isEmpty()) {
    TcvFrmBase::keyPressEvent(event);
    return;
  }
  close();
}

}  // namespace ui
