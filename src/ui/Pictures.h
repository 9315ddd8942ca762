#pragma once
// The pictures of the windows: the image list of sixteen 16x16 images shared by the list, the
// actions and the tool bar, and the 128x128 product picture. They are drawn from the SVG
// sources compiled into the program and rendered once, on first use.
//
// GUI thread only (QPixmap).
#include <QIcon>
#include <QPixmap>

namespace ui {

// Image indexes by role; 12, 13 and 15 have no role and stay blank.
enum TImageIndex {
  imgWaiting = 0,
  imgSuccess = 1,
  imgFailure = 2,
  imgOpen = 3,
  imgNew = 4,
  imgSave = 5,
  imgSaveAs = 6,
  imgUpdate = 7,
  imgHelp = 8,
  imgHome = 9,
  imgSupport = 10,
  imgAbout = 11,
  imgConfig = 14,
  imgCount = 16
};

constexpr int kImageSize = 16;
constexpr int kProductPictureSize = 128;

// The image at index as a 16x16 pixmap; a blank one for indexes without a role or out of range.
QPixmap ImagePixmap(int index);
QIcon ImageIcon(int index);
// The product picture, 128x128.
QPixmap ProductPicture();

}  // namespace ui
