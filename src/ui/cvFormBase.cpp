#include "ui/cvFormBase.h"

#include <QEventLoop>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>

namespace ui {

TcvFrmBase::TcvFrmBase(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
  setFont(BaseFont());
  setGeometry(100, 100, 1200, 600);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
}

TcvFrmBase::~TcvFrmBase() {
  if (modalLoop_) modalLoop_->quit();
}

QFont TcvFrmBase::BaseFont(const QString& family, int pointSize) {
  QFont font(family, pointSize);
  // Without the family Qt would pick a substitute of its own; the desktop's choice reads better.
  if (QFontInfo(font).family().compare(family, Qt::CaseInsensitive) != 0) {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
  }
  return font;
}

int TcvFrmBase::ShowModal() {
  modalResult_ = mrNone;
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
  QEventLoop loop;
  modalLoop_ = &loop;
  QPointer<TcvFrmBase> self(this);
  if (isVisible()) loop.exec(QEventLoop::DialogExec);
  if (!self) return mrNone;
  modalLoop_ = nullptr;
  setWindowModality(Qt::NonModal);
  return modalResult_;
}

void TcvFrmBase::SetModalResult(int result) {
  modalResult_ = result;
  close();
}

void TcvFrmBase::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (!placed_) {
    placed_ = true;
    CenterOnScreen();
  }
  FormShow();
}

void TcvFrmBase::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (modalLoop_ && !event->spontaneous()) modalLoop_->quit();
}

void TcvFrmBase::CenterOnScreen() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace ui
