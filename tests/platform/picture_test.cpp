#include "library/cover_fixture.h"
#include "platform/picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace plinka::test {
namespace {

struct Decoded {
  std::string file;
  int width;
  int height;
  uint32_t red, green, blue;  // expected colour of every pixel (JPEG within a margin)
};

bool near(uint32_t actual, uint32_t expected) {
  return std::abs(static_cast<int>(actual) - static_cast<int>(expected)) <= 24;
}

TEST(PictureTest, DecodesEachFormatToItsSizeAndColours) {
  const Decoded cases[] = {
      {kJpeg, 8, 8, 255, 0, 0},
      {kBmp, 4, 2, 0, 0, 255},
      {kGif, 3, 5, 0, 255, 0},
  };
  for (const Decoded& c : cases) {
    SCOPED_TRACE(c.file);
    platform::PixelBlock block;
    ASSERT_TRUE(platform::loadPicture(fixturePicture(c.file), block));
    EXPECT_EQ(block.width, c.width);
    EXPECT_EQ(block.height, c.height);
    ASSERT_EQ(block.argb.size(), static_cast<size_t>(c.width * c.height));
    for (uint32_t pixel : block.argb) {
      EXPECT_EQ(pixel >> 24, 0xFFu);
      EXPECT_TRUE(near((pixel >> 16) & 0xFF, c.red) && near((pixel >> 8) & 0xFF, c.green) && near(pixel & 0xFF, c.blue))
          << std::hex << pixel;
    }
  }
}

TEST(PictureTest, ContentDecidesTheFormatNotTheName) {
  TempDir dir;
  std::filesystem::copy_file(fixturePicture(kBmp), dir.file("actually-a-bitmap.jpg"));
  platform::PixelBlock block;
  ASSERT_TRUE(platform::loadPicture(dir.file("actually-a-bitmap.jpg"), block));
  EXPECT_EQ(block.width, 4);
  EXPECT_EQ(block.height, 2);
}

TEST(PictureTest, RefusesWhatIsNotAWholePicture) {
  TempDir dir;
  const std::string jpeg = readFile(fixturePicture(kJpeg));
  const std::string gif = readFile(fixturePicture(kGif));
  const std::string bmp = readFile(fixturePicture(kBmp));
  struct Damaged {
    const char* name;
    std::string bytes;
  };
  const Damaged cases[] = {
      {"empty.jpg", ""},
      {"text.jpg", "this is not a picture at all"},
      {"jpeg-header-only.jpg", jpeg.substr(0, 20)},
      {"gif-header-only.gif", gif.substr(0, 13)},
      {"bmp-header-only.bmp", bmp.substr(0, 30)},
  };
  for (const Damaged& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(dir.file(c.name), c.bytes);
    platform::PixelBlock block;
    block.width = 7;
    block.argb.assign(3, 1);
    EXPECT_FALSE(platform::loadPicture(dir.file(c.name), block));
    EXPECT_EQ(block.width, 0);
    EXPECT_TRUE(block.argb.empty());
  }
  platform::PixelBlock block;
  EXPECT_FALSE(platform::loadPicture(dir.file("missing.jpg"), block));
  EXPECT_FALSE(platform::loadPicture(dir.path(), block));
}

}  // namespace
}  // namespace plinka::test
