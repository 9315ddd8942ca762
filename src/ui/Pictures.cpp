#include "ui/Pictures.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <array>

namespace ui {

namespace {

const char* SourceOf(int index) {
  switch (index) {
    case imgWaiting: return ":/icons/waiting.svg";
    case imgSuccess: return ":/icons/success.svg";
    case imgFailure: return ":/icons/failure.svg";
    case imgOpen: return ":/icons/open.svg";
    case imgNew: return ":/icons/new.svg";
    case imgSave: return ":/icons/save.svg";
    case imgSaveAs: return ":/icons/saveas.svg";
    case imgUpdate: return ":/icons/update.svg";
    case imgHelp: return ":/icons/help.svg";
    case imgHome: return ":/icons/home.svg";
    case imgSupport: return ":/icons/support.svg";
    case imgAbout: return ":/icons/about.svg";
    case imgConfig: return ":/icons/config.svg";
    default: return nullptr;
  }
}

// Cached as images, not pixmaps: static pixmaps would outlive the application object.
QImage Render(const char* source, int size) {
  QImage pixmap(size, size, QImage::Format_ARGB32_Premultiplied);
  pixmap.fill(Qt::transparent);
  if (!source) return pixmap;
  QSvgRenderer renderer{QString::fromLatin1(source)};
  if (!renderer.isValid()) return pixmap;
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  return pixmap;
}

}  // namespace

QPixmap ImagePixmap(int index) {
  static std::array<QImage, imgCount> cache;
  if (index < 0 || index >= imgCount) return QPixmap::fromImage(Render(nullptr, kImageSize));
  if (cache[index].isNull()) cache[index] = Render(SourceOf(index), kImageSize);
  return QPixmap::fromImage(cache[index]);
}

QIcon ImageIcon(int index) { return QIcon(ImagePixmap(index)); }

QPixmap ProductPicture() {
  static QImage picture;
  if (picture.isNull()) picture = Render(":/icons/quillex.svg", kProductPictureSize);
  return QPixmap::fromImage(picture);
}

}  // namespace ui
