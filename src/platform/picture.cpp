#include "platform/picture.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstring>
#include <new>

namespace plinka::platform {

bool loadPicture(const std::string& path, PixelBlock& out) {
  out = PixelBlock{};
  // The reader judges the format by the content, so a picture under the
  // wrong ending still loads and a damaged one is refused.
  QImageReader reader(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
  reader.setDecideFormatFromContent(true);
  QImage image;
  if (!reader.read(&image) || image.isNull() || image.width() <= 0 || image.height() <= 0) {
    return false;
  }
  image = image.convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) {
    return false;
  }
  const int width = image.width();
  const int height = image.height();
  try {
    out.argb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  } catch (const std::bad_alloc&) {
    out = PixelBlock{};
    return false;
  }
  for (int y = 0; y < height; ++y) {
    std::memcpy(out.argb.data() + static_cast<size_t>(y) * static_cast<size_t>(width), image.constScanLine(y),
                static_cast<size_t>(width) * sizeof(uint32_t));
  }
  out.width = width;
  out.height = height;
  return true;
}

}  // namespace plinka::platform
