#include "ui/cvFormBase.h"

#include <QEventLoop>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>

#include <exception>

#include "core/Globals.h"
#include "core/cvInfo.h"

namespace ui {

void ReportException(const std::string& message) {
  try {
    if (core::TcvInfo* info = core::cvInfo()) info->HandleException(message);
  } catch (...) {
    // The report itself failing must not end the program.
  }
}

void RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ReportException(e.what());
  } catch (...) {
    ReportException("Unknown exception");
  }
}

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
    // The fixed layouts were measured with a narrow face; a condensed cut of the desktop's font
    // keeps captions inside their buttons where one exists.
    font.setStretch(QFont::SemiCondensed);
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
