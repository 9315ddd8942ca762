#pragma once
// TcvFrmQuillexAbout: the about window of this product, with the 128x128 product picture in
// place of the generic picture. Ownership and threads as TcvFrmAbout.
#include "ui/cvFormAbout.h"

namespace ui {

class TcvFrmQuillexAbout : public TcvFrmAbout {
  Q_OBJECT
 public:
  explicit TcvFrmQuillexAbout(QWidget* mainForm, QWidget* parent = nullptr);
};

}  // namespace ui
