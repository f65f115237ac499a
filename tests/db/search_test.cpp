// Finding records by one field or by a text anywhere in them.
#include "db/search.h"
#include "db/table.h"
#include "support/temp_dir.h"
#include "table_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
