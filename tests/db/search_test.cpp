// Finding records by one field or by a text anywhere in them.
#include "db/search.h"
#include "db/table.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

namespace {

class SongSearch : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string path = dir.file("Plinka.cvf");
    ASSERT_TRUE(createSongTable(path.c_str()));
    std::strcpy(h.path, path.c_str());
    h.writable = 1;
    ASSERT_TRUE(openMapped(h));
    // Slot 0 is the empty record of a new table.
    add(1, Artist, "The Queen Band");
    add(1, Comment, "aab");
    add(2, Name, "No digits here");
    writeNumber(h, 2, PlayCount, 5);
    add(3, FileName, "/music/a.mp3");
    add(4, FileName, "/music/a.mp3");
    add(5, Name, "Caf\xc3\xa9 [live]");
    writeNumber(h, 5, ID, 540);
    add(6, FileName, "/music/hidden.mp3");
    ASSERT_TRUE(setStatus(h, 6, 11));  // occupied but not in use
  }
  void add(uint32_t slot, uint32_t field, const char* text) {
    while (h.slotCount <= slot || getStatus(h, slot) != 10)
      ASSERT_GE(allocate(h), 0);
    writeText(h, slot, field, text);
  }
  void search(const char* text) { std::strcpy(h.searchText, text); }

  test::TempDir dir;
  TableHandle h;
};

}  // namespace

TEST_F(SongSearch, FindNextMatchLooksAtEveryFieldOfRecordsInUse) {
  struct Case {
    const char* text;
    uint32_t from;
    int32_t slot;
  } cases[] = {
      {"queen", 0, 1},
      {"QUEEN", 0, 1},
      {"qUeEn bAND", 0, 1},
      {"queen", 1, -1},  // only slots after `from`
      {"5", 0, 2},       // PlayCount 5; no text holds a 5
      {"ab", 0, 5},      // "ab" reads as 540 (the ID); "aab" does not hold it
      {"aab", 0, 1},
      {"CAF\xc3\xa9", 0, 5},  // the letters fold, the accented bytes match as they are
      {"CAF\xc3\x89", 0, -1},
      {"[LIVE]", 0, 5},
      {"{live}", 0, -1},  // 123 and above are never folded
      {"hidden", 0, -1},  // status 11 is not in use
      {"/music/", 0, 3},
      {"/music/", 3, 4},
      {"", 0, 1},    // an empty text occurs in every text field
      {"0", 0, -1},  // 0 is no search number; "0" occurs in no text
      {"queen", 4000, -1},
  };
  for (const auto& c : cases) {
    search(c.text);
    EXPECT_EQ(findNextMatch(h, c.from), c.slot) << '"' << c.text << "\" after " << c.from;
  }
}

TEST_F(SongSearch, FindByFieldNeedsTheWholeText) {
  struct Case {
    const char* text;
    uint32_t field;
    int32_t backwards;
    uint32_t from;
    int32_t forwards;
  } cases[] = {
      {"queen", Artist, -1, 0, -1},
      {"the queen band", Artist, 1, 0, 1},
      {"THE QUEEN BAND", Artist, 1, 2, -1},
      {"The Queen Ban", Artist, -1, 0, -1},
      {"/music/a.mp3", FileName, 4, 0, 3},  // two alike: backwards gives the higher slot
      {"/MUSIC/A.MP3", FileName, 4, 4, 4},
      {"/music/hidden.mp3", FileName, 6, 0, 6},  // occupied counts here
      {"5", PlayCount, 2, 0, 2},
      {"ab", ID, 5, 0, 5},        // 540 as a number
      {"0", PlayCount, 6, 0, 0},  // 0 matches the value 0
      {"", Name, 6, 0, 0},        // empty equals empty
  };
  for (const auto& c : cases) {
    search(c.text);
    EXPECT_EQ(findByFieldBackwards(h, c.field), c.backwards) << '"' << c.text << "\" in field " << c.field;
    EXPECT_EQ(findByFieldForwards(h, c.from, c.field), c.forwards) << '"' << c.text << "\" from " << c.from;
  }
}

TEST_F(SongSearch, SearchesRefuseWhatTheyCannotLookAt) {
  search("queen");
  EXPECT_EQ(findByFieldBackwards(h, 0), -1);
  EXPECT_EQ(findByFieldBackwards(h, 45), -1);
  EXPECT_EQ(findByFieldForwards(h, 0, 0), -1);
  std::memset(h.searchText, 'q', sizeof h.searchText);  // no terminator
  EXPECT_EQ(findNextMatch(h, 0), -1);
  for (uint32_t s = 0; s < h.slotCount; ++s)
    if (getStatus(h, s) > 9) {
      ASSERT_TRUE(setStatus(h, s, kStatusFree));
    }
  search("queen");
  EXPECT_EQ(findNextMatch(h, 0), -1) << "no record in use";
  EXPECT_EQ(findByFieldBackwards(h, Artist), -1);
  closeTable(h);
  EXPECT_EQ(findNextMatch(h, 0), -1);
  EXPECT_FALSE(recordMatches(h, 1));
}

TEST(Search, OccurrenceTestRestartsAfterTheBreakingCharacter) {
  test::TempDir dir;
  TableHandle h;
  makeTable(h, dir.file("t.cvf"), {kTypeText64}, 10);
  struct Case {
    const char* record;
    const char* search;
    bool found;
  } cases[] = {
      {"aab", "ab", false},  // the second a broke "ab" and is not tried again
      {"aaab", "aab", false}, {"xaby", "ab", true}, {"AAB", "aab", true},     {"ab", "abc", false},
      {"abc", "", true},      {"", "a", false},     {"Queen", "queen", true},
  };
  for (const auto& c : cases) {
    writeText(h, 0, 1, c.record);
    std::strcpy(h.searchText, c.search);
    EXPECT_EQ(recordMatches(h, 0), c.found) << '"' << c.search << "\" in \"" << c.record << '"';
  }
}

namespace {

// The searches written the plain way: every field read through the handle's
// buffers, texts compared character by character. The fast searches must
// give the same slots on any table.
namespace plain {

int folded(unsigned char c) {
  if (c >= 'a' && c <= 'z')
    return c - ('a' - 'A');
  if (c >= 'A' && c <= 'Z')
    return c + ('a' - 'A');
  return c < 123 ? c : -1;
}

bool characterMatches(unsigned char record, unsigned char search) {
  return record == search || folded(record) == search;
}

bool wholeTextEqual(const char* record, const char* search) {
  for (size_t i = 0;; ++i) {
    const auto r = static_cast<unsigned char>(record[i]);
    const auto s = static_cast<unsigned char>(search[i]);
    if (!characterMatches(r, s))
      return false;
    if (r == 0)
      return true;
  }
}

bool occurs(const char* record, const char* search) {
  size_t t = 0, p = 0;
  for (;;) {
    const auto s = static_cast<unsigned char>(search[p]);
    if (s == 0)
      return true;
    const auto r = static_cast<unsigned char>(record[t]);
    if (r == s) {
      ++t;
      ++p;
      continue;
    }
    const int f = folded(r);
    if (f == 0)
      return false;
    if (f == s)
      ++p;
    else
      p = 0;
    ++t;
  }
}

uint32_t toNumber(const char* text) {
  uint32_t value = 0;
  for (auto p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    value = value * 10u + (static_cast<uint32_t>(*p) - '0');
  return value;
}

bool fieldEquals(TableHandle& h, uint32_t slot, uint32_t field, std::string& search) {
  const int32_t type = readField(h, slot, field);
  if (type < 0)
    return false;
  if (type < 10)
    return h.value == toNumber(search.c_str());
  return wholeTextEqual(h.text, search.c_str());
}

bool recordMatches(TableHandle& h, uint32_t slot, std::string& search) {
  const uint32_t number = toNumber(search.c_str());
  for (uint32_t f = h.fieldCount; f >= 1; --f) {
    const int32_t type = readField(h, slot, f);
    if (type < 0)
      return false;
    if (type < 10) {
      if (number != 0 && h.value == number)
        return true;
    } else if (occurs(h.text, search.c_str())) {
      return true;
    }
  }
  return false;
}

}  // namespace plain

}  // namespace

// Random tables of every field width, texts of letters in both cases, the
// characters around the folding range, bytes above 127 and digits; texts
// that fill their field with no zero; slots of every status. Each search is
// compared with the plain version for every slot and field.
TEST(Search, InPlaceComparisonsAgreeWithThePlainRules) {
  const std::vector<uint32_t> types = {0, 1, 2, 2, 2, 10, 11, 12, 15, 2, 11};
  const unsigned char alphabet[] = {'a', 'A', 'b', 'B', 'z',  'Z',  '[',  '{',  '@', '`',
                                    '5', '1', '0', ' ', 0xC3, 0xE9, 0xC9, 0xFF, 0x7F};
  const uint32_t statuses[] = {0, 5, 9, 10, 10, 10, 11, 12};
  constexpr uint32_t kSlots = 60;
  std::mt19937 rng(20261210);
  for (int table = 0; table < 6; ++table) {
    test::TempDir dir;
    TableHandle h;
    makeTable(h, dir.file("t.cvf"), types, kSlots);
    auto randomText = [&](size_t maxLength) {
      std::string t;
      for (size_t n = rng() % (maxLength + 1); n > 0; --n)
        t += static_cast<char>(alphabet[rng() % std::size(alphabet)]);
      return t;
    };
    for (uint32_t s = 0; s < kSlots; ++s) {
      for (uint32_t f = 1; f <= types.size(); ++f) {
        const FieldLayout& layout = h.fields[f - 1];
        uint8_t* p = h.map.data() + layout.offset + static_cast<uint64_t>(s) * h.slotSize;
        if (layout.type < 10) {
          const uint32_t value = rng() % 3 == 0 ? rng() : rng() % 60;
          std::memcpy(p, &value, typeWidth(layout.type));
          continue;
        }
        // Mostly short texts; now and then one that runs to the field's end
        // (or past what the text buffer holds) without a zero.
        std::string t = randomText(8);
        if (rng() % 8 == 0)
          t = std::string(std::min<size_t>(layout.width, 1100), 'a') + t;
        std::memset(p, 0, layout.width);
        std::memcpy(p, t.data(), std::min<size_t>(t.size(), layout.width));
      }
      ASSERT_TRUE(setStatus(h, s, s == 0 ? kStatusInUse : statuses[rng() % std::size(statuses)]));
    }

    std::vector<std::string> searches = {"",  "a",        "A",        "ab", "aB", "[", "{",   "@",
                                         "`", "\xc3\xa9", "\xc3\xc9", "5",  "15", "0", "aab", std::string(1023, 'a')};
    for (int n = 0; n < 30; ++n)
      searches.push_back(randomText(4));
    for (int n = 0; n < 10; ++n)
      searches.push_back(std::to_string(rng() % 60));
    for (std::string& text : searches) {
      if (text.find('\0') != std::string::npos)
        continue;
      std::strcpy(h.searchText, text.c_str());
      for (uint32_t s = 0; s < kSlots; ++s) {
        const bool expected = plain::recordMatches(h, s, text);
        std::strcpy(h.searchText, text.c_str());
        ASSERT_EQ(recordMatches(h, s), expected) << "table " << table << " slot " << s << " \"" << text << '"';
        int32_t next = -1;
        for (uint32_t t = s + 1; t < kSlots && next < 0; ++t)
          if (getStatus(h, t) == 10 && plain::recordMatches(h, t, text))
            next = static_cast<int32_t>(t);
        ASSERT_EQ(findNextMatch(h, s), next) << "table " << table << " after " << s << " \"" << text << '"';
      }
      for (uint32_t f = 1; f <= types.size(); ++f) {
        int32_t last = -1;
        for (uint32_t s = 0; s < kSlots; ++s)
          if (getStatus(h, s) > 9 && plain::fieldEquals(h, s, f, text))
            last = static_cast<int32_t>(s);
        std::strcpy(h.searchText, text.c_str());
        ASSERT_EQ(findByFieldBackwards(h, f), last) << "table " << table << " field " << f << " \"" << text << '"';
        const uint32_t from = rng() % kSlots;
        int32_t first = -1;
        for (uint32_t s = from; s < kSlots && first < 0; ++s)
          if (getStatus(h, s) > 9 && plain::fieldEquals(h, s, f, text))
            first = static_cast<int32_t>(s);
        ASSERT_EQ(findByFieldForwards(h, from, f), first)
            << "table " << table << " field " << f << " from " << from << " \"" << text << '"';
      }
    }
    closeTable(h);
  }
}

// All matches at once, the table shared out among threads, give what find
// next match gives called again and again: the same slots in the same
// order, from any starting slot, at the part boundaries too.
TEST(Search, AllMatchesInPartsAgreeWithFindNextMatchRepeated) {
  constexpr uint32_t kSlots = 70000;
  test::TempDir dir;
  TableHandle h;
  makeTable(h, dir.file("t.cvf"), {kTypeText64, kTypeNumber}, kSlots);
  std::mt19937 rng(20261211);
  for (uint32_t s = 0; s < kSlots; ++s) {
    const char* texts[] = {"", "plain", "Xylophone", "an xylo", "b"};
    uint8_t* p = h.map.data() + h.fields[0].offset + static_cast<uint64_t>(s) * h.slotSize;
    std::strcpy(reinterpret_cast<char*>(p), texts[rng() % std::size(texts)]);
    ASSERT_TRUE(setStatus(h, s, rng() % 4 == 0 ? kStatusFree : kStatusInUse));
  }
  std::strcpy(h.searchText, "xylo");
  for (const uint32_t from : {0u, 1u, 16383u, 35000u, kSlots - 2, kSlots - 1, kSlots + 5}) {
    std::vector<uint32_t> repeated;
    for (int32_t s = findNextMatch(h, from); s >= 0; s = findNextMatch(h, static_cast<uint32_t>(s)))
      repeated.push_back(static_cast<uint32_t>(s));
    for (const unsigned threads : {0u, 1u, 3u, 8u})
      EXPECT_EQ(findAllMatches(h, from, threads), repeated) << "from " << from << " with " << threads << " threads";
  }
  closeTable(h);
}
