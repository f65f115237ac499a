// Sorting a table by one field, checked against a plain bubble sort of the
// same slots that swaps neighbours only when the first key collates greater.
#include "db/search.h"
#include "db/table.h"
#include "platform/collate.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

namespace {

// Switches LC_COLLATE to a real locale when the machine has one.
class CollationLocale {
public:
  CollationLocale() {
    saved_ = std::setlocale(LC_COLLATE, nullptr);
    for (const char* name : {"en_US.UTF-8", "en_US.utf8", "C.UTF-8", "C"})
      if (std::setlocale(LC_COLLATE, name)) {
        name_ = name;
        break;
      }
  }
  ~CollationLocale() { std::setlocale(LC_COLLATE, saved_.c_str()); }
  const std::string& name() const { return name_; }

private:
  std::string saved_, name_;
};

constexpr uint32_t kNameField = 1, kNumberField = 2, kIdField = 3;

const char* const kNames[] = {
    "b",  "B",    "a",    "A",     "abc",   "Abc",          "ABC",   "ab c",  "ab-c",          "", "10", "9",
    "-3", "zeta", "Zeta", "Ωmega", "émile", "\xc3\x89mile", "Queen", "queen", "the queen band"};
const uint32_t kNumbers[] = {0, 5, 9, 10, 100, static_cast<uint32_t>(-3), 0x80000000u, 0x80000005u, 0xFFFFFFFFu, 7};

// A table of `slots` slots, most in use, some free or never used between
// them, a few with status 11. Each record carries its first slot as its ID.
void fill(TableHandle& h, const std::string& path, uint32_t slots, uint32_t seed) {
  makeTable(h, path, {kTypeText64, kTypeNumber, kTypeNumber}, slots);
  std::mt19937 rng(seed);
  for (uint32_t s = 0; s < slots; ++s) {
    const uint32_t roll = rng() % 100;
    const uint32_t status = roll < 8 ? kStatusFree : roll < 12 ? kStatusNeverUsed : roll < 15 ? 11 : kStatusInUse;
    ASSERT_TRUE(setStatus(h, s, status));
    if (status == kStatusNeverUsed)
      continue;
    writeText(h, s, kNameField, kNames[rng() % std::size(kNames)]);
    writeNumber(h, s, kNumberField, kNumbers[rng() % std::size(kNumbers)]);
    writeNumber(h, s, kIdField, s);
  }
}

struct Slot {
  std::string bytes;
  uint32_t status() const {
    uint32_t v;
    std::memcpy(&v, bytes.data(), 4);
    return v;
  }
};

std::vector<Slot> snapshot(const TableHandle& h) {
  std::vector<Slot> slots(h.slotCount);
  for (uint32_t s = 0; s < h.slotCount; ++s)
    slots[s].bytes.assign(reinterpret_cast<const char*>(h.map.data() + h.slotAreaOffset + uint64_t{s} * h.slotSize),
                          h.slotSize);
  return slots;
}

std::string keyOf(const TableHandle& h, const Slot& slot, uint32_t field) {
  const FieldLayout& f = h.fields[field - 1];
  const char* p = slot.bytes.data() + (f.offset - h.slotAreaOffset);
  if (f.type >= 10)
    return std::string(p, strnlen(p, f.width - 1));
  uint32_t v;
  std::memcpy(&v, p, 4);
  char number[12];
  text::fromNumber(static_cast<int32_t>(v), number, sizeof number);
  return number;
}

// The slots as a bubble sort leaves them: compaction first unless held,
// then passes that shorten to the last swap, comparing occupied neighbours.
std::vector<Slot> bubbleSorted(const TableHandle& h, std::vector<Slot> slots, uint32_t field, bool held) {
  if (!held) {
    std::vector<Slot> compacted;
    for (const Slot& s : slots)
      if (s.status() > 9)
        compacted.push_back(s);
    for (size_t i = 0, c = compacted.size(); i < slots.size(); ++i)
      if (i < c)
        slots[i] = compacted[i];
      else if (slots[i].status() > 9)
        std::memcpy(slots[i].bytes.data(), "\5\0\0\0", 4);
  }
  std::vector<std::string> keys(slots.size());
  for (size_t i = 0; i < slots.size(); ++i)
    keys[i] = keyOf(h, slots[i], field);
  size_t limit = slots.size() - 1, lastSwap = 0, i = 1;
  for (;;) {
    while (i <= limit) {
      if (slots[i - 1].status() > 9 && slots[i].status() > 9 &&
          platform::collate(keys[i - 1].c_str(), keys[i].c_str()) > 0) {
        std::swap(slots[i - 1], slots[i]);
        std::swap(keys[i - 1], keys[i]);
        lastSwap = i;
      }
      ++i;
    }
    if (lastSwap == 0)
      break;
    limit = lastSwap;
    lastSwap = 0;
    i = 1;
  }
  return slots;
}

}  // namespace

TEST(SortByField, GivesTheOrderOfAStableBubbleSort) {
  CollationLocale locale;
  struct Case {
    uint32_t field;
    bool held;
    uint32_t slots;
  } cases[] = {
      {kNameField, false, 2000},
      {kNumberField, false, 2000},
      {kNameField, true, 3000},
      {kNumberField, true, 3000},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string what =
        "locale " + locale.name() + ", field " + std::to_string(c.field) + (c.held ? ", held" : "");
    TableHandle h;
    fill(h, dir.file("t.cvf"), c.slots, c.slots + c.field);
    h.holdCount = c.held ? 1 : 0;
    const std::vector<Slot> expected = bubbleSorted(h, snapshot(h), c.field, c.held);

    ASSERT_TRUE(sortByField(h, c.field)) << what;
    const std::vector<Slot> got = snapshot(h);
    ASSERT_EQ(got.size(), expected.size()) << what;
    for (size_t s = 0; s < got.size(); ++s) {
      if (expected[s].status() > 9 || c.held) {
        ASSERT_EQ(got[s].bytes, expected[s].bytes) << what << ", slot " << s;
      } else {
        ASSERT_LE(got[s].status(), 9u) << what << ", slot " << s;
      }
    }
    const Tally t = tally(h);
    EXPECT_EQ(countInUse(h), t.inUse) << what;
    EXPECT_EQ(countOccupied(h), t.occupied) << what;
  }
}

TEST(SortByField, RefusesWhatItCannotSort) {
  test::TempDir dir;
  TableHandle h;
  makeTable(h, dir.file("t.cvf"), {kTypeText64}, 2);
  EXPECT_FALSE(sortByField(h, 1)) << "fewer than 3 slots";
  makeTable(h, dir.file("u.cvf"), {kTypeText64}, 10);
  EXPECT_FALSE(sortByField(h, 0));
  EXPECT_FALSE(sortByField(h, 2));
  EXPECT_TRUE(sortByField(h, 1));
  ASSERT_TRUE(setStatus(h, 0, kStatusFree));
  EXPECT_FALSE(sortByField(h, 1)) << "no record in use";
  closeTable(h);
  EXPECT_FALSE(sortByField(h, 1));
}
