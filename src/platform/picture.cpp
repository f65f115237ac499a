#include "platform/picture.h"

#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

#include <algorithm>
#include <cstring>
#include <new>

namespace plinka::platform {

PictureLoad decodePicture(const std::string& path, PixelBlock& out, int fitWidth, int fitHeight) {
  out = PixelBlock{};
  // The reader judges the format by the content, so a picture under the
  // wrong ending still loads and a damaged one is refused.
  QImageReader reader(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
  reader.setDecideFormatFromContent(true);
  // The size its header gives, before any pixel is decoded.
  const QSize declared = reader.size();
  if (declared.isValid()) {
    if (static_cast<uint64_t>(declared.width()) * static_cast<uint64_t>(declared.height()) > kMostPicturePixels)
      return PictureLoad::TooLarge;
    if (fitWidth > 0 && fitHeight > 0 && (declared.width() > fitWidth || declared.height() > fitHeight))
      reader.setScaledSize(QSize(std::min(declared.width(), fitWidth), std::min(declared.height(), fitHeight)));
  }
  QImage image;
  if (!reader.read(&image) || image.isNull() || image.width() <= 0 || image.height() <= 0)
    return PictureLoad::Unreadable;
  // A reader that could not tell the size beforehand is held to the same
  // limit afterwards.
  if (static_cast<uint64_t>(image.width()) * static_cast<uint64_t>(image.height()) > kMostPicturePixels)
    return PictureLoad::TooLarge;
  image.convertTo(QImage::Format_ARGB32);
  if (image.isNull() || image.format() != QImage::Format_ARGB32)
    return PictureLoad::Unreadable;
  const int width = image.width();
  const int height = image.height();
  try {
    out.argb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  } catch (const std::bad_alloc&) {
    out = PixelBlock{};
    return PictureLoad::Unreadable;
  }
  for (int y = 0; y < height; ++y) {
    std::memcpy(out.argb.data() + static_cast<size_t>(y) * static_cast<size_t>(width), image.constScanLine(y),
                static_cast<size_t>(width) * sizeof(uint32_t));
  }
  out.width = width;
  out.height = height;
  return PictureLoad::Loaded;
}

bool loadPicture(const std::string& path, PixelBlock& out) { return decodePicture(path, out) == PictureLoad::Loaded; }

}  // namespace plinka::platform
