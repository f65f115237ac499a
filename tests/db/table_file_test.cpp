// Creating and opening table files.
#include "db/search.h"
#include "db/table.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

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
