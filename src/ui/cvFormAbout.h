#pragma once
// TcvFrmAbout: the about window, a borderless, semi-transparent blue panel with the product's
// title, version and copyright line, closed by a click or a key. ShowAbout's first call (at
// start-up) shows nothing: it makes the main window invisible for PureConsole projects; every
// later call shows the window modally.
//
// One instance, created after the main window by the windowed run and kept until the end.
// GUI thread only.
#include "ui/cvFormBase.h"

class QLabel;

namespace ui {

class TcvFrmAbout : public TcvFrmBase {
  Q_OBJECT
 public:
  // mainForm: the window made transparent by the first ShowAbout of a PureConsole project.
  explicit TcvFrmAbout(QWidget* mainForm, QWidget* parent = nullptr);

  QLabel *img = nullptr, *lblProduct = nullptr, *lblVersion = nullptr, *lblCopright = nullptr;

  void ShowAbout();
  int ShowCount() const { return showCount_; }

 protected:
  // Fills the title and version at the first showing only.
  void FormShow() override;
  void FormClick() { close(); }
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* mainForm_;
  int showCount_ = 0;
};

}  // namespace ui
