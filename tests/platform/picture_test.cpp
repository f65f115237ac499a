#include "library/cover_fixture.h"
#include "platform/picture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace plinka::test {
namespace {

struct Decoded {
  std::string file;
  int width;
  int height;
  uint32_t red, green, blue;  // expected colour of every pixel (JPEG within a margin)
};

// An uncompressed 24-bit bitmap of the given size, all one grey; with
// `headerOnly` only its 54 header bytes (the size is all it tells).
std::string bitmap(uint32_t width, uint32_t height, bool headerOnly = false) {
  const uint32_t row = (width * 3 + 3) / 4 * 4;
  const uint64_t pixels = static_cast<uint64_t>(row) * height;
  std::string b(54, '\0');
  auto put = [&b](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
      b[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, static_cast<uint32_t>(54 + pixels), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, width, 4);
  put(22, height, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, static_cast<uint32_t>(pixels), 4);
  if (!headerOnly)
    b.append(static_cast<size_t>(pixels), '\x80');
  return b;
}

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

// A picture larger than the area it is shown in is decoded straight to that
// size, each direction on its own; a smaller one keeps its size.
TEST(PictureTest, DecodesALargePictureToTheSizeItIsShownAt) {
  TempDir dir;
  writeFile(dir.file("wide.bmp"), bitmap(600, 400));
  struct Case {
    int fitWidth, fitHeight;
    int width, height;
  } cases[] = {{100, 100, 100, 100}, {1000, 1000, 600, 400}, {100, 1000, 100, 400}, {0, 0, 600, 400}};
  for (const Case& c : cases) {
    platform::PixelBlock block;
    ASSERT_EQ(platform::decodePicture(dir.file("wide.bmp"), block, c.fitWidth, c.fitHeight),
              platform::PictureLoad::Loaded);
    EXPECT_EQ(block.width, c.width) << c.fitWidth << "x" << c.fitHeight;
    EXPECT_EQ(block.height, c.height) << c.fitWidth << "x" << c.fitHeight;
    ASSERT_EQ(block.argb.size(), static_cast<size_t>(c.width * c.height));
    EXPECT_TRUE(near((block.argb[0] >> 16) & 0xFF, 0x80));
  }
}

// The header's size decides before anything is decoded: above 50 megapixels
// the picture is refused as too large (a header alone is enough to tell).
TEST(PictureTest, RefusesPicturesOverFiftyMegapixelsByTheirHeader) {
  TempDir dir;
  struct Case {
    uint32_t width, height;
    platform::PictureLoad load;
  } cases[] = {{10000, 5001, platform::PictureLoad::TooLarge}, {8000, 8000, platform::PictureLoad::TooLarge}};
  for (const Case& c : cases) {
    writeFile(dir.file("huge.bmp"), bitmap(c.width, c.height, true));
    platform::PixelBlock block;
    EXPECT_EQ(platform::decodePicture(dir.file("huge.bmp"), block, 500, 500), c.load) << c.width << "x" << c.height;
    EXPECT_TRUE(block.argb.empty());
  }
}

}  // namespace
}  // namespace plinka::test
