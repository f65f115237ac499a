// Field access, statuses, counts, walks and ratings.
#include "db/search.h"
#include "db/table.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

TEST(FieldAccess, ValuesAreStoredByTheFieldsType) {
  test::TempDir dir;
  TableHandle h;
  // Fields: 1 text 64, 2 number 2 bytes, 3 number 4, 4 number 1, 5 number 8,
  // 6 unknown number code (64 wide), 7 unknown text code (64 wide).
  makeTable(h, dir.file("t.cvf"), {12, 1, 2, 0, 3, 7, 99}, 10);
  EXPECT_EQ(h.slotSize, 4u + 64 + 2 + 4 + 1 + 8 + 64 + 64);

  struct Case {
    uint32_t field;
    uint32_t written, read;
  } numbers[] = {{2, 70000, 4464}, {3, 70000, 70000}, {4, 70000, 112}, {5, 0xFFFFFFFF, 0xFFFFFFFF}, {6, 70000, 70000}};
  for (const auto& c : numbers) {
    writeNumber(h, 3, c.field, c.written);
    EXPECT_EQ(readNumber(h, 3, c.field), c.read) << "field " << c.field;
  }
  EXPECT_EQ(readNumber(h, 3, 3), 70000u) << "narrow writes leave their neighbours alone";

  struct TextCase {
    uint32_t field;
    std::string written, read;
  } texts[] = {
      {1, "Video", "Video"},
      {1, std::string(70, 'x'), std::string(63, 'x')},
      {1, std::string(63, 'y'), std::string(63, 'y')},
      {7, "unknown codes of 10 and above are texts", "unknown codes of 10 and above are texts"},
      {1, "", ""},
  };
  for (const auto& c : texts) {
    writeText(h, 2, c.field, c.written);
    EXPECT_STREQ(h.text, "") << "a text write empties the text buffer";
    EXPECT_EQ(readText(h, 2, c.field), c.read);
    const uint8_t* field = h.map.data() + h.fields[c.field - 1].offset + 2 * h.slotSize;
    EXPECT_EQ(field[63], 0) << "the last byte of a text field is always zero";
  }
}

TEST(FieldAccess, TextFieldsWiderThanTheBufferStayInsideIt) {
  test::TempDir dir;
  TableHandle h;
  makeTable(h, dir.file("t.cvf"), {15, 2}, 10);  // a 5000-byte text field
  std::memset(h.text, 'w', sizeof h.text);       // no terminator at all
  ASSERT_EQ(writeField(h, 1, 1), 15);
  h.value = 99;
  ASSERT_EQ(writeField(h, 1, 2), 2);
  const uint8_t* field = h.map.data() + h.fields[0].offset + h.slotSize;
  EXPECT_EQ(field[1023], 'w');
  EXPECT_EQ(field[1024], 0) << "what the buffer could not fill is zero";
  EXPECT_EQ(field[4999], 0);
  ASSERT_EQ(readField(h, 1, 1), 15);
  EXPECT_EQ(std::strlen(h.text), sizeof h.text - 1);
  EXPECT_EQ(readNumber(h, 1, 2), 99u);
}

TEST(Records, AReusedSlotStillHoldsTheDeletedRecord) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  std::strcpy(h.path, path.c_str());
  h.writable = 1;
  ASSERT_TRUE(openMapped(h));
  const int32_t s = allocate(h);
  ASSERT_EQ(s, 1);
  writeText(h, s, Comment, "old comment");
  ASSERT_TRUE(setStatus(h, s, kStatusFree));
  EXPECT_EQ(allocate(h), s) << "the lowest slot with status 0 or 5";
  EXPECT_EQ(readText(h, s, Comment), "old comment");
}

TEST(Records, RatingsFollowTheRatingValues) {
  SettingsRecord settings{};
  const uint32_t values[10] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512};
  std::memcpy(reinterpret_cast<char*>(&settings) + offsetof(SettingsRecord, ratingValue), values, sizeof values);
  struct Case {
    uint32_t score, rating;
  } ratings[] = {{0, 0}, {1, 1}, {3, 2}, {4, 3}, {511, 9}, {512, 10}, {600, 10}, {0xFFFFFFFF, 10}};
  for (const auto& c : ratings)
    EXPECT_EQ(ratingOfScore(settings, c.score), c.rating) << c.score;
  struct Back {
    uint32_t rating, score;
  } scores[] = {{0, 0}, {1, 1}, {4, 8}, {10, 512}, {11, 0}, {0xFFFFFFFF, 0}};
  for (const auto& c : scores)
    EXPECT_EQ(scoreOfRating(settings, c.rating), c.score) << c.rating;
}

TEST(Records, WalksFindTheRecordsInUse) {
  test::TempDir dir;
  TableHandle h;
  makeTable(h, dir.file("t.cvf"), {kTypeNumber}, 600);
  // In use: 0, 3, 4, 300, 599. Status 11 (occupied, not in use) at 5;
  // 0x1000A at 7: its low 16 bits read as 10.
  for (uint32_t s : {3u, 4u, 300u, 599u})
    ASSERT_TRUE(setStatus(h, s, kStatusInUse));
  ASSERT_TRUE(setStatus(h, 5, 11));
  ASSERT_TRUE(setStatus(h, 7, 0x1000A));
  ASSERT_TRUE(setStatus(h, 9, 0xFFFF));

  struct Case {
    const char* what;
    int32_t got, expected;
  } cases[] = {
      {"next from 0", nextInUse(h, 0), 3},
      {"next from 4", nextInUse(h, 4), 300},
      {"next from the last", nextInUse(h, 599), 599},
      {"next from beyond the table", nextInUse(h, 5000), 5000},
      {"previous from 0", previousInUse(h, 0), 0},
      {"previous from 3", previousInUse(h, 3), 0},
      {"previous from 300", previousInUse(h, 300), 4},
      {"previous from beyond the table", previousInUse(h, 5000), 599},
      {"last", lastInUse(h), 599},
      {"1st", nthInUse(h, 1), 0},
      {"4th", nthInUse(h, 4), 300},
      {"5th", nthInUse(h, 5), 599},
      {"6th", nthInUse(h, 6), -1},
      {"0th", nthInUse(h, 0), -1},
      {"first 10 from 0", firstWithStatus(h, 10, 0), 0},
      {"first 10 from 5", firstWithStatus(h, 10, 5), 7},
      {"first 11", firstWithStatus(h, 11, 0), 5},
      {"first -1", firstWithStatus(h, -1, 0), 9},
      {"first 0 from beyond", firstWithStatus(h, 0, 5000), -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.got, c.expected) << c.what;
  EXPECT_EQ(countInUse(h), 5u);
  EXPECT_EQ(countOccupied(h), 8u);
}

TEST(Records, OutOfRangeAndClosedAccessIsRefused) {
  test::TempDir dir;
  TableHandle h;
  makeTable(h, dir.file("t.cvf"), {kTypeText64, kTypeNumber}, 10);
  h.value = 1234;
  std::strcpy(h.text, "keep");
  struct Case {
    const char* what;
    int32_t got;
  } cases[] = {
      {"read slot N", readField(h, 10, 1)},
      {"read slot 4 billion", readField(h, 0xFFFFFFFF, 2)},
      {"read field 0", readField(h, 0, 0)},
      {"read field F + 1", readField(h, 0, 3)},
      {"write slot N", writeField(h, 10, 2)},
      {"write field F + 1", writeField(h, 0, 3)},
      {"write field 0", writeField(h, 0, 0)},
      {"status of slot N", getStatus(h, 10)},
      {"copy from slot N", copySlot(h, 10, 0)},
      {"copy to slot N", copySlot(h, 0, 10)},
      {"set status of slot N", setStatus(h, 10, 10) ? 1 : -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.got, -1) << c.what;
  EXPECT_EQ(h.value, 1234u);
  EXPECT_STREQ(h.text, "keep");

  // No record in use: field access and walks refuse; statuses can be set.
  ASSERT_TRUE(setStatus(h, 0, kStatusFree));
  EXPECT_EQ(readField(h, 0, 2), -1);
  EXPECT_EQ(getStatus(h, 0), -1);
  EXPECT_EQ(nextInUse(h, 2), 2);
  EXPECT_EQ(lastInUse(h), -1);
  EXPECT_EQ(firstWithStatus(h, 5, 0), -1);
  ASSERT_TRUE(setStatus(h, 0, kStatusInUse));
  EXPECT_EQ(readField(h, 0, 2), 2);

  closeTable(h);
  EXPECT_EQ(readField(h, 0, 1), -1);
  EXPECT_EQ(getStatus(h, 0), -1);
  EXPECT_FALSE(setStatus(h, 0, 10));
  EXPECT_EQ(countInUse(h), 0u);
  EXPECT_EQ(nextInUse(h, 3), 3);
  EXPECT_EQ(previousInUse(h, 3), 3);
  EXPECT_EQ(nthInUse(h, 1), -1);
  EXPECT_EQ(copySlot(h, 0, 1), -1);
}

// Random status changes, copies, compactions, sorts, growth and shrinking:
// after every call the kept counts, the walks and allocation agree with a
// look at every slot.
TEST(Records, CountsAndWalksStayInStepWithTheSlots) {
  test::TempDir dir;
  TableHandle h;
  makeTable(h, dir.file("t.cvf"), {kTypeNumber}, 700);
  std::mt19937 rng(12345);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  const uint32_t statuses[] = {0, 5, 10, 10, 10, 11, 7, 0x1000A};

  auto check = [&](int step) {
    ASSERT_TRUE(h.isMapped()) << step;
    const Tally t = tally(h);
    ASSERT_EQ(countInUse(h), t.inUse) << step;
    ASSERT_EQ(countOccupied(h), t.occupied) << step;
    std::vector<uint32_t> inUse;
    for (uint32_t s = 0; s < h.slotCount; ++s)
      if (rawStatus(h, s) == 10)
        inUse.push_back(s);
    if (inUse.empty())
      return;
    ASSERT_EQ(lastInUse(h), static_cast<int32_t>(inUse.back())) << step;
    const uint32_t k = pick(static_cast<uint32_t>(inUse.size()));
    ASSERT_EQ(nthInUse(h, k + 1), static_cast<int32_t>(inUse[k])) << step;
    const uint32_t s = pick(h.slotCount);
    auto after = std::upper_bound(inUse.begin(), inUse.end(), s);
    ASSERT_EQ(nextInUse(h, s), static_cast<int32_t>(after == inUse.end() ? s : *after)) << step;
    auto before = std::lower_bound(inUse.begin(), inUse.end(), s);
    ASSERT_EQ(previousInUse(h, s), static_cast<int32_t>(s == 0 || before == inUse.begin() ? s : *(before - 1))) << step;
  };

  bool grew = false, shrank = false;
  for (int step = 0; step < 3000; ++step) {
    const uint32_t slotsBefore = h.slotCount;
    const uint32_t op = pick(100);
    if (op < 40) {
      const int32_t s = allocate(h);
      ASSERT_GE(s, 0) << step;
      for (int32_t t = 0; t < s; t += 1 + pick(8))
        ASSERT_FALSE(isAllocatable(rawStatus(h, static_cast<uint32_t>(t)))) << step << ": lower slot " << t;
      ASSERT_EQ(rawStatus(h, static_cast<uint32_t>(s)), 10u);
      writeNumber(h, static_cast<uint32_t>(s), 1, pick(50));
    } else if (op < 85) {
      ASSERT_TRUE(setStatus(h, pick(h.slotCount), statuses[pick(8)]));
    } else if (op < 93) {
      ASSERT_EQ(copySlot(h, pick(h.slotCount), pick(h.slotCount)) >= 0, true);
    } else if (op < 96) {
      h.holdCount = pick(2);
    } else if (op < 98) {
      compact(h);
    } else if (h.inUseCount != 0) {
      ASSERT_TRUE(sortByField(h, 1));
    }
    check(step);
    grew = grew || h.slotCount > slotsBefore;
    shrank = shrank || h.slotCount < slotsBefore;
  }
  EXPECT_TRUE(grew && shrank) << "the run should take the table through growth and shrinking";
}
