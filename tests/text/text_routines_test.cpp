#include "text/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace plinka;

TEST(TextRoutines, DecimalTextTakesEveryCharacterAsADigit) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"", 0},           {"0", 0}, {"42", 42}, {"4294967295", 4294967295u},
      {"ab", 540},        // 49 * 10 + 50: letters count as digits too
      {"4294967296", 0},  // wraps like any unsigned word
  };
  for (const auto& c : cases)
    EXPECT_EQ(text::toNumber(c.text), c.value) << c.text;
}

TEST(TextRoutines, NumberToSignedDecimalText) {
  struct Case {
    int32_t n;
    const char* text;
  } cases[] = {{0, "0"}, {7, "7"}, {-15, "-15"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (const auto& c : cases) {
    char buf[12];
    EXPECT_EQ(text::fromNumber(c.n, buf, sizeof buf), std::strlen(c.text));
    EXPECT_STREQ(buf, c.text);
  }
}

TEST(TextRoutines, PositionOfAPattern) {
  struct Case {
    const char* text;
    const char* pattern;
    int32_t start;
    int32_t result;
  } cases[] = {
      {"hello world", "world", 1, 7}, {"hello world", "o", 1, 5},   {"hello world", "o", 6, 8},
      {"hello world", "x", 1, 0},     {"hello", "hello", 1, -1},    {"hi", "hello", 1, -1},
      {"hello world", "o", 0, -2},    {"hello world", "o", 12, -2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(text::position(c.text, c.pattern, c.start), c.result) << c.text << " / " << c.pattern << " @" << c.start;
}

TEST(TextRoutines, CopiesNeverPassTheBufferAndReportWhatWasCut) {
  char small[6];
  EXPECT_EQ(text::copy(small, "abc"), 3u);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(text::append(small, "defgh"), 8u);  // cut: needs 8, holds 5
  EXPECT_STREQ(small, "abcde");
  EXPECT_EQ(text::copy(small, "a much longer text"), 18u);
  EXPECT_STREQ(small, "a muc");

  char part[8];
  EXPECT_TRUE(text::copyAt(part, sizeof part, "0123456789", 3, 4));
  EXPECT_STREQ(part, "3456");
  EXPECT_FALSE(text::copyAt(part, sizeof part, "0123456789", 0, 8));  // no room for the zero
  EXPECT_STREQ(part, "");

  char out[16];
  text::copyReversed(out, sizeof out, "abc");
  EXPECT_STREQ(out, "cba");
  text::copyRight(out, sizeof out, "song.mp3", 4);
  EXPECT_STREQ(out, ".mp3");
  text::copyRight(out, sizeof out, "ab", 4);
  EXPECT_STREQ(out, "ab");
}

TEST(TextRoutines, LowerCaseTouchesOnlyAsciiLetters) {
  char t[] = "AbC-Z\xC4"
             "9";
  text::lowerAscii(t);
  EXPECT_STREQ(t, "abc-z\xC4"
                  "9");
}

TEST(TextRoutines, LastComponentOfAPath) {
  struct Case {
    const char* path;
    const char* last;
  } cases[] = {
      {"/music/Artist/Album/", "Album"}, {"/music/song.mp3", "song.mp3"}, {"song", "song"}, {"/", ""}, {"", ""}};
  for (const auto& c : cases) {
    char out[64];
    text::lastComponent(out, sizeof out, c.path);
    EXPECT_STREQ(out, c.last) << c.path;
  }
}

TEST(TextRoutines, Utf8FitNeverEndsInsideACharacter) {
  const std::string text = "ab\xC3\xA9\xE2\x82\xAC";  // a, b, e-acute, euro: 1 + 1 + 2 + 3 bytes
  struct Case {
    size_t max;
    size_t kept;
  };
  for (const Case& c : {Case{7, 7}, Case{100, 7}, Case{6, 4}, Case{5, 4}, Case{4, 4}, Case{3, 2}, Case{0, 0}}) {
    SCOPED_TRACE(c.max);
    EXPECT_EQ(text::utf8Fit(text.data(), text.size(), c.max), c.kept);
  }
}
