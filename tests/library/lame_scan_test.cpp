#include "library/lame_scan.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

using namespace plinka;
using plinka::test::TempDir;

namespace {

// "LAME" (or other text) at the given offset of a file of filler bytes.
std::string at(size_t offset, const std::string& text, size_t after = 100) {
  return std::string(offset, 'x') + text + std::string(after, 'x');
}

}  // namespace

TEST(LameScan, MarkerMustBeginInTheFirst5000Bytes) {
  struct Case {
    const char* label;
    std::string bytes;
    bool found;
  } cases[] = {
      {"at the start", "LAME3.100", true},
      {"after other bytes", at(300, "LAME"), true},
      {"beginning at offset 4999, ending beyond", at(4999, "LAME"), true},
      {"beginning at offset 4999 at the end of the file", at(4999, "LAME", 0), true},
      {"beginning at offset 5000", at(5000, "LAME"), false},
      {"file ends inside the marker", at(4999, "LAM", 0), false},
      {"no marker", std::string(20000, 'L'), false},
      {"empty file", "", false},
      {"lower case", "lame", false},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.file("song.mp3");
    test::writeFile(path, c.bytes);
    EXPECT_EQ(library::lameMarkerFound(path.c_str()), c.found) << c.label;
  }
  EXPECT_FALSE(library::lameMarkerFound(dir.file("missing.mp3").c_str()));
}

TEST(LameScan, ABreakingByteIsNotTakenAsANewStart) {
  struct Case {
    const char* text;
    bool found;
  } cases[] = {
      {"LLAME", false},                       // the second L breaks "L?" and is passed over
      {"LALAME", false},                      // the L that breaks "LA?" is passed over
      {"LAMLAME", false}, {"LAXLAME", true},  // X breaks it; the next L starts afresh
      {"LxLAME", true},   {"LLLAME", true},   // the third L starts afresh
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.file("song.mp3");
    test::writeFile(path, std::string(c.text) + std::string(10, 'x'));
    EXPECT_EQ(library::lameMarkerFound(path.c_str()), c.found) << c.text;
  }
}

TEST(LameScan, StartPointSetByHandIsKept) {
  EXPECT_EQ(library::startPointAfterLameScan(true, 0), library::kLameStartPoint);
  EXPECT_EQ(library::startPointAfterLameScan(true, 1200), 1200u);
  EXPECT_EQ(library::startPointAfterLameScan(false, 0), 0u);
  EXPECT_EQ(library::startPointAfterLameScan(false, 1200), 1200u);
}
