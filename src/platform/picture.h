// Picture files (JPEG, BMP, GIF) decoded into a plain block of pixels that
// the engine keeps and the front end paints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plinka::platform {

// A picture at its natural pixel size: width x height pixels, row by row from
// the top, each pixel 0xAARRGGBB.
struct PixelBlock {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;
};

// Decodes the picture file at path, whatever its name says it is, into out.
// False, with out emptied, when the file cannot be read, is not a picture
// this loader knows, is damaged, or its pixels cannot be held in memory.
bool loadPicture(const std::string& path, PixelBlock& out);

}  // namespace plinka::platform
