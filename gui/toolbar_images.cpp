#include "gui/toolbar_images.h"

#include <QImage>
#include <QString>

// The compiled-in resources live in a static library; registering them here
// keeps the linker from leaving them out.
static void registerResources() { Q_INIT_RESOURCE(plinka); }

namespace plinka::gui {

bool loadToolbarImages(const std::string& programFolder, std::vector<QPixmap>& images) {
  images.clear();
  const std::string path = programFolder + "ToolBar.bmp";
  QImage strip;
  if (!strip.load(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()))))
    return false;
  if (strip.height() < kToolbarImageSize || strip.width() < kToolbarImageSize * kToolbarImageCount)
    return false;
  const int count = strip.width() / kToolbarImageSize;
  images.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    images.push_back(QPixmap::fromImage(strip.copy(i * kToolbarImageSize, 0, kToolbarImageSize, kToolbarImageSize)));
  return true;
}

QIcon programIcon() {
  static const bool registered = (registerResources(), true);
  (void)registered;
  return QIcon(":/plinka.png");
}

}  // namespace plinka::gui
