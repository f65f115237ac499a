// The capacity rule: when a table's slot array grows, is compacted and
// shrinks, what a grow leaves in its new slots, and a grow that cannot happen.
#include "db/capacity.h"
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
