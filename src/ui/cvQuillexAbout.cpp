#include "ui/cvQuillexAbout.h"

#include <QLabel>

#include "ui/Pictures.h"

namespace ui {

TcvFrmQuillexAbout::TcvFrmQuillexAbout(QWidget* mainForm, QWidget* parent) : TcvFrmAbout(mainForm, parent) {
  setObjectName("cvFrmQuillexAbout");
  QPixmap picture = ProductPicture();
  img->setPixmap(picture);
  img->setGeometry(16, 16, picture.width(), picture.height());
}

}  // namespace ui
