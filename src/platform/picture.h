// Picture files (JPEG, BMP, GIF) decoded into a plain block of pixels that
// the engine keeps and the front end paints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plinka::platform {

// A decoded picture: width x height pixels, row by row from the top, each
// pixel 0xAARRGGBB.
struct PixelBlock {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;
};

// Pictures of more pixels than this are not decoded at all: a cover that
// size is a mistake (or a trap), and decoding it would take hundreds of
// megabytes.
constexpr uint64_t kMostPicturePixels = 50000000;

enum class PictureLoad {
  Loaded,
  Unreadable,  // cannot be read, not a picture this loader knows, damaged, or no memory for it
  TooLarge,    // more than kMostPicturePixels pixels (by its header; nothing decoded)
};

// Decodes the picture file at path, whatever its name says it is, into out
// (emptied unless Loaded). With `fitWidth` and `fitHeight` above 0, a
// picture wider or taller than that is decoded straight to at most that
// many pixels in each direction (each direction on its own: the picture
// area stretches the picture to its shape anyway); a smaller one keeps its
// own size.
PictureLoad decodePicture(const std::string& path, PixelBlock& out, int fitWidth = 0, int fitHeight = 0);

// decodePicture at the picture's own size; true when Loaded.
bool loadPicture(const std::string& path, PixelBlock& out);

}  // namespace plinka::platform
