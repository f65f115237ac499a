// Creating and opening table files, and the capacity rule.
#include "db/search.h"
#include "db/table.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

namespace {

bool openAt(TableHandle& h, const std::string& path, uint32_t writable) {
  std::strcpy(h.path, path.c_str());
  h.writable = writable;
  return openMapped(h);
}

}  // namespace

TEST(TableFile, NewSongTableHasItsExactBytes) {
  test::TempDir dir;
  const std::string path = dir.file("Plinka.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  const std::string bytes = test::readFile(path);

  // Header and field table, then 15 slots although 10 are declared.
  ASSERT_EQ(bytes.size(), 26636u);
  EXPECT_EQ(bytes.substr(0, 8), "DATA1000");
  const size_t words[] = {608, 1352, 1356, 1360, 1364};
  const uint32_t values[] = {1, 2, 44, 10, 2};
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(fileWord(bytes, words[i]), values[i]) << "header word at " << words[i];
  for (size_t at = 8; at < 1444; ++at) {
    const size_t word = at - at % 4;
    if (word != 608 && (word < 1352 || word > 1364)) {
      ASSERT_EQ(bytes[at], 0) << "header byte " << at;
    }
  }

  struct Entry {
    uint32_t field, type, offset;
  } entries[] = {{1, 14, 1800}, {2, 12, 2800}, {9, 12, 3248}, {10, 2, 3312},
                 {11, 2, 3316}, {12, 2, 3320}, {44, 2, 3448}};
  for (const auto& e : entries) {
    EXPECT_EQ(fileWord(bytes, 1444 + 8 * (e.field - 1)), e.type) << "field " << e.field;
    EXPECT_EQ(fileWord(bytes, 1444 + 8 * (e.field - 1) + 4), e.offset) << "field " << e.field;
  }
  // Only slot 0's status is set; every field and every other slot is zero.
  EXPECT_EQ(fileWord(bytes, 1796), 10u);
  for (size_t at = 1800; at < bytes.size(); ++at)
    ASSERT_EQ(bytes[at], 0) << "slot byte " << at;

  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 0));
  EXPECT_EQ(h.fieldCount, 44u);
  EXPECT_EQ(h.slotCount, 10u);
  EXPECT_EQ(h.slotSize, 1656u);
  EXPECT_EQ(h.slotAreaOffset, 1796u);
  EXPECT_EQ(countInUse(h), 1u);
  EXPECT_EQ(countOccupied(h), 1u);
  for (uint32_t f = 1; f <= 44; ++f) {
    const int32_t type = readField(h, 0, f);
    if (f <= 9) {
      EXPECT_STREQ(h.text, "") << f;
    } else {
      EXPECT_EQ(h.value, 0u) << f;
    }
    EXPECT_EQ(type, f == 1 ? 14 : f <= 9 ? 12 : 2) << f;
  }
}

TEST(TableFile, BufferIndexTableHoldsTheRecordsAskedFor) {
  test::TempDir dir;
  struct Case {
    uint32_t bufferSize, records;
  } cases[] = {{0, 1}, {1, 1}, {30, 30}, {250, 250}};
  for (const auto& c : cases) {
    const std::string path = dir.file("LocFiles.cvf");
    ASSERT_TRUE(createBufferIndexTable(path.c_str(), c.bufferSize));
    TableHandle h;
    ASSERT_TRUE(openAt(h, path, 0));
    EXPECT_EQ(h.fieldCount, 5u);
    EXPECT_EQ(h.slotSize, 1020u);
    EXPECT_EQ(countInUse(h), c.records) << c.bufferSize;
    EXPECT_EQ(nthInUse(h, c.records), static_cast<int32_t>(c.records - 1)) << "records fill the first slots";
    for (uint32_t s = 0; s < c.records; ++s)
      ASSERT_EQ(readNumber(h, s, 3), 0u);
  }
}

TEST(TableFile, CreationReplacesAnOldFileAndFailsWithoutLeavingOne) {
  test::TempDir dir;
  const std::string path = dir.file("Plinka.cvf");
  test::writeFile(path, std::string(100000, 'x'));
  ASSERT_TRUE(createSongTable(path.c_str()));
  EXPECT_EQ(test::readFile(path).size(), 26636u);

  EXPECT_FALSE(createSongTable(dir.file("missing/Plinka.cvf").c_str()));
  EXPECT_FALSE(createSongTable(std::string(700, 'p').c_str())) << "longer than the handle's path";
}

TEST(TableFile, DamagedHeadersAreRefused) {
  test::TempDir dir;
  const std::string good = dir.file("good.cvf");
  ASSERT_TRUE(createSongTable(good.c_str()));
  const std::string bytes = test::readFile(good);

  struct Case {
    const char* what;
    std::string bytes;
    bool plainOpens;  // plain opening makes no length check
  };
  auto with = [&](size_t at, const std::string& part) {
    std::string b = bytes;
    b.replace(at, part.size(), part);
    return b;
  };
  auto withWord = [&](size_t at, uint32_t v) {
    std::string b = bytes;
    putWord(b, at, v);
    return b;
  };
  const Case cases[] = {
      {"version 0000", with(0, "DATA0000"), false},
      {"lower-case tag", with(0, "data1000"), false},
      {"version 1001", with(4, "1001"), false},
      {"empty file", "", false},
      {"only the tag", "DATA1000", false},
      {"header cut short", bytes.substr(0, 1400), false},
      {"no field count", withWord(1356, 0), false},
      {"millions of fields", withWord(1356, 5000000), false},
      {"one field too many", withWord(1356, 45), false},
      {"field offset moved", withWord(1444 + 8 * 3 + 4, 2865), false},
      {"field type changed", withWord(1444 + 8 * 1, 14), false},
      {"one slot missing", bytes.substr(0, 1796 + 9 * 1656), true},
      {"last byte missing", bytes.substr(0, 1796 + 10 * 1656 - 1), true},
      {"slot count beyond the file", withWord(1360, 16), true},
      {"slot count of 4 billion", withWord(1360, 0xFFFFFFFFu), true},
  };
  for (const auto& c : cases) {
    const std::string path = dir.file("damaged.cvf");
    test::writeFile(path, c.bytes);
    for (uint32_t writable : {0u, 1u}) {
      TableHandle h;
      EXPECT_FALSE(openAt(h, path, writable)) << c.what;
      EXPECT_FALSE(h.isOpen()) << c.what;
      EXPECT_EQ(readField(h, 0, 1), -1) << c.what;
      EXPECT_EQ(openPlain(h), c.plainOpens) << c.what;
      EXPECT_EQ(getStatus(h, 0), -1) << c.what << ": records are not reached in plain mode";
    }
  }
  // A table longer than its header asks for is fine (creation leaves slack).
  TableHandle h;
  EXPECT_TRUE(openAt(h, good, 0));
}

TEST(TableFile, ClosingAndReopeningReplacesTheHandlesState) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 1));
  h.holdCount = 3;
  ASSERT_TRUE(openMapped(h)) << "reopening an open table";
  EXPECT_EQ(h.holdCount, 0u);
  {
    // A job keeping a slot number while others open the table holds it
    // across their opens.
    const SlotHold hold(h);
    ASSERT_TRUE(openMapped(h));
    EXPECT_EQ(h.lastingHolds.load(), 1u);
    EXPECT_FALSE(compact(h));
  }
  EXPECT_TRUE(compact(h));
  EXPECT_EQ(h.writable, 1u);
  closeTable(h);
  EXPECT_FALSE(h.isOpen());
  EXPECT_EQ(h.writable, 0u);
  closeTable(h);  // closing twice does nothing
  EXPECT_EQ(allocate(h), -1);

  // Read-only: writes are refused even when the caller flips `writable` later.
  ASSERT_TRUE(openAt(h, path, 0));
  h.writable = 1;
  h.value = 7;
  EXPECT_EQ(writeField(h, 0, PlayCount), -1);
  EXPECT_FALSE(setStatus(h, 0, 5));
  EXPECT_EQ(allocate(h), -1);
  EXPECT_FALSE(sortByField(h, Name));
  EXPECT_EQ(readNumber(h, 0, PlayCount), 0u);
}

TEST(CapacityRule, FirstRecordAfterCreationGrowsTheTable) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 1));
  // 1 of 10 occupied leaves only 9 free: grow by 10, appended behind the 5
  // slack slots of creation, which become part of the new slots.
  EXPECT_EQ(allocate(h), 1);
  EXPECT_EQ(h.slotCount, 20u);
  EXPECT_EQ(test::readFile(path).size(), 26636u + 10 * 1656);
  EXPECT_EQ(countInUse(h), 2u);
  closeTable(h);
  EXPECT_EQ(fileWord(test::readFile(path), 1360), 20u);
}

TEST(CapacityRule, GrowsCompactsAndShrinksByTheRule) {
  struct Case {
    uint32_t slots, occupied;
    bool held;
    uint32_t slotsAfter;
    bool compacted;
  } cases[] = {
      {330, 320, false, 350, false},  // P = 96: grow by 320 / 16
      {95, 86, false, 105, false},    // P = 90 but only 9 free: grow by at least 10
      {200, 120, false, 163, true},   // P = 60: compact, shrink by 600 / 16
      {60, 40, false, 50, true},      // P = 66: shrink by 10
      {50, 30, false, 50, false},     // 50 slots never shrink
      {200, 120, true, 200, false},   // held: no compaction, no shrink
      {100, 80, false, 100, false},   // P = 80: nothing to do
      {330, 320, true, 350, false},   // held tables still grow
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.file("t.cvf");
    TableHandle h;
    makeTable(h, path, {kTypeText64, kTypeNumber}, c.slots);
    // Scatter the occupied records (slot 5 with status 11) and mark each with
    // its original slot so the order can be checked after a compaction.
    std::vector<uint32_t> original;
    for (uint32_t s = 0; s < c.slots && original.size() < c.occupied; ++s) {
      const bool skip = s % 3 == 1 && c.slots - s > c.occupied - original.size();
      if (skip) {
        ASSERT_TRUE(setStatus(h, s, s % 2 ? kStatusFree : kStatusNeverUsed));
        continue;
      }
      ASSERT_TRUE(setStatus(h, s, s == 5 ? 11 : kStatusInUse));
      writeNumber(h, s, 2, s);
      writeText(h, s, 1, "rec" + std::to_string(s));
      original.push_back(s);
    }
    ASSERT_EQ(countOccupied(h), c.occupied);
    h.holdCount = c.held ? 1 : 0;

    EXPECT_TRUE(applyCapacityRule(h));
    const std::string what = std::to_string(c.slots) + "/" + std::to_string(c.occupied);
    EXPECT_EQ(h.slotCount, c.slotsAfter) << what;
    EXPECT_EQ(h.holdCount, c.held ? 1u : 0u) << what;
    EXPECT_TRUE(h.writable && h.isMapped()) << what;
    EXPECT_EQ(h.map.size(), h.slotAreaOffset + uint64_t{c.slotsAfter} * h.slotSize) << what;
    const Tally t = tally(h);
    EXPECT_EQ(t.occupied, c.occupied) << what;
    EXPECT_EQ(countOccupied(h), t.occupied) << what;
    EXPECT_EQ(countInUse(h), t.inUse) << what;
    if (c.compacted) {
      for (uint32_t i = 0; i < original.size(); ++i) {
        EXPECT_GT(rawStatus(h, i), 9u) << what;
        EXPECT_EQ(readNumber(h, i, 2), original[i]) << what << " slot " << i;
        EXPECT_EQ(readText(h, i, 1), "rec" + std::to_string(original[i])) << what;
        EXPECT_EQ(rawStatus(h, i) == 11, original[i] == 5) << what << ": statuses travel with their records";
      }
    } else {
      for (uint32_t s : original)
        EXPECT_EQ(readNumber(h, s, 2), s) << what << ": records stay where they were";
    }
    closeTable(h);
    EXPECT_EQ(fileWord(test::readFile(path), 1360), c.slotsAfter) << what;
  }
}

TEST(CapacityRule, OpenWithCapacityCheckAppliesTheRule) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  TableHandle h;
  makeTable(h, path, {kTypeNumber}, 60);
  for (uint32_t s = 0; s < 40; ++s)
    ASSERT_TRUE(setStatus(h, s * 3 / 2, kStatusInUse));
  closeTable(h);
  std::strcpy(h.path, path.c_str());
  h.writable = 1;
  EXPECT_TRUE(openWithCapacityCheck(h));
  EXPECT_EQ(h.slotCount, 50u);
  EXPECT_EQ(countInUse(h), 40u);
  EXPECT_EQ(lastInUse(h), 39);
}

TEST(CapacityRule, AGrowThatCannotReopenTheFileChangesNothing) {
  test::TempDir dir;
  const std::string path = dir.file("t.cvf");
  ASSERT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  ASSERT_TRUE(openAt(h, path, 1));
  ASSERT_EQ(std::rename(path.c_str(), dir.file("moved.cvf").c_str()), 0);
  EXPECT_EQ(allocate(h), -1);
  EXPECT_FALSE(h.isOpen());
  EXPECT_EQ(test::readFile(dir.file("moved.cvf")).size(), 26636u);
}

TEST(CapacityRule, AGrowClearsStrayBytesBehindTheDeclaredSlots) {
  // Bytes behind the declared slots (a shrink whose cut failed, a damaged
  // file) hold copies of a record in use. The grow takes that range into
  // its new slots, which must come out empty rather than as extra songs.
  struct Case {
    const char* what;
    uint32_t wholeSlots;
    bool partialSlot;
  } cases[] = {
      {"three stray records", 3, false},
      {"a record and a half", 1, true},
      {"more stray records than the grow takes", 15, false},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.file("t.cvf");
    TableHandle h;
    makeTable(h, path, {kTypeText64, kTypeNumber}, 20);
    for (uint32_t s = 0; s < 19; ++s) {
      ASSERT_TRUE(setStatus(h, s, kStatusInUse));
      writeText(h, s, 1, "song" + std::to_string(s));
    }
    const uint32_t slotSize = h.slotSize;
    const uint32_t areaOffset = h.slotAreaOffset;
    closeTable(h);
    std::string bytes = test::readFile(path);
    const std::string record = bytes.substr(areaOffset + slotSize, slotSize);
    for (uint32_t i = 0; i < c.wholeSlots; ++i)
      bytes += record;
    if (c.partialSlot)
      bytes += record.substr(0, slotSize / 2);
    test::writeFile(path, bytes);

    ASSERT_TRUE(openAt(h, path, 1)) << c.what;
    ASSERT_EQ(countInUse(h), 19u) << c.what;
    EXPECT_TRUE(applyCapacityRule(h)) << c.what;
    ASSERT_EQ(h.slotCount, 30u) << c.what << ": 19 of 20 in use grows by 10";
    EXPECT_EQ(countInUse(h), 19u) << c.what;
    EXPECT_EQ(tally(h).inUse, 19u) << c.what;
    for (uint32_t s = 20; s < 30; ++s) {
      EXPECT_EQ(rawStatus(h, s), kStatusNeverUsed) << c.what << " slot " << s;
      EXPECT_EQ(readText(h, s, 1), "") << c.what << " slot " << s;
    }
    closeTable(h);
    ASSERT_TRUE(openAt(h, path, 0)) << c.what;
    EXPECT_EQ(countInUse(h), 19u) << c.what << " after reopening";
    closeTable(h);
  }
}
