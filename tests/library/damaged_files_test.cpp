// Damaged and random files through every scanner: each must return normally,
// read nothing outside the file or its buffers (run under AddressSanitizer to
// see that), and give texts that are terminated and valid UTF-8.
#include "library/file_checksum.h"
#include "library/lame_scan.h"
#include "library/tag_bytes.h"
#include "library/tag_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace plinka;
using namespace plinka::test::tags;
using plinka::test::TempDir;

namespace {

bool validUtf8(const char* s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    size_t len = *p < 0x80 ? 1 : (*p >> 5) == 0x6 ? 2 : (*p >> 4) == 0xE ? 3 : (*p >> 3) == 0x1E ? 4 : 0;
    if (len == 0)
      return false;
    for (size_t k = 1; k < len; ++k)
      if ((p[k] & 0xC0) != 0x80)
        return false;
    p += len;
  }
  return true;
}

// Valid tags of every kind the reader knows, to be damaged.
std::vector<std::string> sampleFiles() {
  const std::string audio(300, '\x55');
  const std::string longText = latin1(std::string(700, '\xE9'));
  const std::string utf16 = '\1' + bomLE(u"Caf\u00E9 \U0001F3B5 mus\u00EFc");
  const std::string comment = '\1' + std::string("eng") + bomLE(u"desc") + std::string(2, '\0') + bomBE(u"text");
  const std::string picture = std::string("\0image/png\0\3\0", 13) + std::string(3000, '\xFF');
  const std::string v1 = v1Block("T\xE9tle", "Artist", "Album", "1999", "Comment");
  std::vector<std::string> files;
  files.push_back(tag(3, frame(3, "TIT2", longText) + frame(3, "TPE1", utf16) + frame(3, "COMM", comment), 40) + audio);
  files.push_back(tag(4,
                      frame(4, "APIC", picture) +
                          frame(4, "TALB",
                                utf8("Gr\xC3\xBC\xC3\x9F"
                                     "e"),
                                0x0003) +
                          frame(4, "COMM", comment, 0x0041),
                      20, 0x80) +
                  audio + v1);
  files.push_back(tag(2, frame(2, "TT2", utf16) + frame(2, "COM", comment) + frame(2, "PIC", picture)) + audio);
  files.push_back(tag(3, bigEndian32(6) + std::string(6, '\0') + frame(3, "TIT2", latin1("a\xFF\0b")), 10, 0xC0) +
                  audio);
  files.push_back(audio + "LAME3.99" + audio + v1);
  return files;
}

std::string damaged(const std::string& base, std::mt19937& rng) {
  std::string s = base;
  switch (rng() % 5) {
  case 0:  // cut short
    s.resize(rng() % (s.size() + 1));
    break;
  case 1:  // a few bits flipped
    for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n && !s.empty(); ++i)
      s[rng() % s.size()] ^= static_cast<char>(1u << (rng() % 8));
    break;
  case 2:  // sizes and flags in the headers overwritten
    for (size_t at : {3u, 5u, 6u, 7u, 8u, 9u, 14u, 15u, 16u, 17u, 18u, 19u})
      if (at < s.size() && rng() % 3 == 0)
        s[at] = static_cast<char>(rng());
    break;
  case 3:  // random bytes spread over the file
    for (int i = 0; i < 40 && !s.empty(); ++i)
      s[rng() % s.size()] = static_cast<char>(rng());
    break;
  default:  // random content behind a tag header
    s = s.substr(0, std::min<size_t>(10, s.size()));
    for (size_t n = rng() % 2000; n > 0; --n)
      s += static_cast<char>(rng());
    break;
  }
  return s;
}

}  // namespace

TEST(DamagedMediaFiles, ScannersStayInsideAndGiveValidTexts) {
  TempDir dir;
  const std::string path = dir.file("damaged.mp3");
  const std::vector<std::string> samples = sampleFiles();
  std::mt19937 rng(20240601);
  library::TagReader reader;
  for (int round = 0; round < 10000; ++round) {
    const std::string bytes = damaged(samples[rng() % samples.size()], rng);
    // A fresh file each round: rewriting a truncated file makes some file
    // systems flush it to disk at every close.
    std::remove(path.c_str());
    test::writeFile(path, bytes);
    ASSERT_EQ(library::readTag(reader, path.c_str()), 1) << "round " << round;
    for (const char* text :
         {reader.result.title, reader.result.artist, reader.result.album, reader.result.comment, reader.result.year}) {
      ASSERT_NE(std::memchr(text, 0, library::kTagTextSize), nullptr) << "round " << round;
      ASSERT_TRUE(validUtf8(text)) << "round " << round;
    }
    library::lameMarkerFound(path.c_str());
    ASSERT_NE(library::fileChecksum(path.c_str()), 0u) << "round " << round;
  }
}
