// Many damaged and generated table files, opened mapped (read-only and
// writable) and plain; whatever opens is walked, read field by field,
// searched and, when writable, changed. Nothing may crash or read outside
// the file; the kept counts must match the slots afterwards.
#include "db/search.h"
#include "db/table.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace plinka;
using namespace plinka::db;
using namespace plinka::db::testing;

namespace {

// A grown song table with some records, as a byte string.
std::string realSongTable(const test::TempDir& dir) {
  const std::string path = dir.file("real.cvf");
  EXPECT_TRUE(createSongTable(path.c_str()));
  TableHandle h;
  std::strcpy(h.path, path.c_str());
  h.writable = 1;
  EXPECT_TRUE(openMapped(h));
  for (int i = 0; i < 25; ++i) {
    const int32_t s = allocate(h);
    writeText(h, static_cast<uint32_t>(s), FileName, "/music/Artist " + std::to_string(i % 4) + "/song.mp3");
    writeText(h, static_cast<uint32_t>(s), Name, "Song " + std::to_string(i));
    writeNumber(h, static_cast<uint32_t>(s), PlayCount, static_cast<uint32_t>(i));
  }
  setStatus(h, 7, kStatusFree);
  setStatus(h, 9, 11);
  closeTable(h);
  return test::readFile(path);
}

// Rewrites the field table for `types` and sets N to what the bytes hold.
std::string relaidOut(std::string bytes, const std::vector<uint32_t>& types) {
  const uint32_t fieldCount = static_cast<uint32_t>(types.size());
  putWord(bytes, 1356, fieldCount);
  uint32_t offset = 1444 + 8 * fieldCount + 4;
  for (uint32_t f = 0; f < fieldCount; ++f) {
    putWord(bytes, 1444 + 8 * f, types[f]);
    putWord(bytes, 1444 + 8 * f + 4, offset);
    offset += typeWidth(types[f]);
  }
  const uint32_t slotSize = offset - (1444 + 8 * fieldCount);
  const uint64_t area = 1444 + 8 * fieldCount;
  putWord(bytes, 1360, bytes.size() > area ? static_cast<uint32_t>((bytes.size() - area) / slotSize) : 0);
  return bytes;
}

void exercise(TableHandle& h, std::mt19937& rng, const std::string& what) {
  const uint32_t slots = std::min<uint32_t>(h.slotCount, 300);
  for (uint32_t s = 0; s < slots + 2; ++s) {
    getStatus(h, s);
    for (uint32_t f = 0; f <= h.fieldCount + 1 && f < 64; ++f)
      readField(h, s, f);
  }
  readField(h, 0xFFFFFFFF, 1);
  int32_t at = firstWithStatus(h, 10, 0);
  for (int guard = 0; at >= 0 && guard < 400; ++guard) {
    const int32_t next = nextInUse(h, static_cast<uint32_t>(at));
    if (next == at)
      break;
    at = next;
  }
  previousInUse(h, h.slotCount);
  lastInUse(h);
  nthInUse(h, 1);
  nthInUse(h, h.inUseCount);
  for (const char* text : {"a", "song", "5", ""}) {
    std::strcpy(h.searchText, text);
    int32_t s = findNextMatch(h, 0);
    for (int guard = 0; s >= 0 && guard < 50; ++guard)
      s = findNextMatch(h, static_cast<uint32_t>(s));
    findByFieldBackwards(h, 1);
    findByFieldForwards(h, 0, h.fieldCount);
  }
  if (h.openForWriting) {
    for (int i = 0; i < 3; ++i) {
      const int32_t s = allocate(h);
      if (s < 0)
        break;
      std::memset(h.text, 'z', sizeof h.text);
      writeField(h, static_cast<uint32_t>(s), 1);
      h.value = rng();
      writeField(h, static_cast<uint32_t>(s), h.fieldCount);
    }
    if (h.isMapped() && h.slotCount > 0) {
      setStatus(h, rng() % h.slotCount, rng() % 2 ? kStatusFree : kStatusInUse);
      copySlot(h, rng() % h.slotCount, rng() % h.slotCount);
    }
    sortByField(h, 1);
    applyCapacityRule(h);
  }
  if (h.isMapped()) {
    const Tally t = tally(h);
    EXPECT_EQ(countInUse(h), t.inUse) << what;
    EXPECT_EQ(countOccupied(h), t.occupied) << what;
  }
}

}  // namespace

TEST(DamagedFiles, AreRefusedOrReadSafely) {
  test::TempDir dir;
  const std::string real = realSongTable(dir);
  ASSERT_GT(real.size(), 26636u);
  const uint32_t slotSize = 1656, area = 1796;
  std::mt19937 rng(2024);

  std::vector<std::pair<std::string, std::string>> files;  // what, bytes
  auto add = [&](std::string what, std::string bytes) { files.emplace_back(std::move(what), std::move(bytes)); };

  // Cut at every length that matters to the header, the field table and
  // each slot boundary, and at random lengths.
  std::vector<size_t> cuts;
  for (size_t at :
       {size_t{0}, size_t{4}, size_t{8}, size_t{1356}, size_t{1360}, size_t{1364}, size_t{1444}, size_t{area}})
    for (size_t d = 0; d < 3; ++d)
      cuts.push_back(at + d - 1 < real.size() ? at + d - 1 : 0);
  for (size_t k = 0; area + k * slotSize <= real.size(); ++k)
    for (size_t d : {size_t{0}, size_t{1}, size_t{5}})
      cuts.push_back(area + k * slotSize - d);
  for (int i = 0; i < 30; ++i)
    cuts.push_back(rng() % real.size());
  for (size_t cut : cuts)
    add("cut at " + std::to_string(cut), real.substr(0, cut));

  // Bit flips in the header and the field table.
  for (int i = 0; i < 300; ++i) {
    std::string b = real;
    for (int flips = 1 + static_cast<int>(rng() % 3); flips > 0; --flips) {
      const size_t at = i % 2 ? 1352 + rng() % 16 : rng() % (area + 8);
      b[at] = static_cast<char>(b[at] ^ (1 << (rng() % 8)));
    }
    add("bit flips " + std::to_string(i), b);
  }

  // Huge and odd field and slot counts.
  const uint32_t counts[] = {0,
                             1,
                             2,
                             43,
                             44,
                             45,
                             4096,
                             4097,
                             1000000,
                             0x7FFFFFFF,
                             0x80000000,
                             0xFFFFFFFF,
                             0xFFFFFFFF / slotSize + 1,
                             0x100000000ull / 8 - 180};
  for (uint32_t n : counts) {
    std::string b = real;
    putWord(b, 1356, n);
    add("F = " + std::to_string(n), b);
    b = real;
    putWord(b, 1360, n);
    add("N = " + std::to_string(n), b);
  }

  // Other layouts that are sound in themselves: whatever the length allows.
  const uint32_t typeChoices[] = {0, 1, 2, 3, 4, 5, 9, 10, 11, 12, 13, 14, 15, 16, 99, 0xFFFFFFFF};
  for (int i = 0; i < 60; ++i) {
    std::vector<uint32_t> types(1 + rng() % 12);
    for (auto& t : types)
      t = typeChoices[rng() % std::size(typeChoices)];
    add("layout " + std::to_string(i), relaidOut(real, types));
  }

  // Random statuses in a sound table, and random bytes behind a sound tag.
  for (int i = 0; i < 20; ++i) {
    std::string b = real;
    for (size_t s = 0; area + (s + 1) * slotSize <= b.size(); ++s)
      putWord(b, area + s * slotSize, rng() % 4 ? rng() % 16 : rng());
    add("statuses " + std::to_string(i), b);
  }
  for (int i = 0; i < 40; ++i) {
    std::string b(rng() % 40000, '\0');
    for (auto& c : b)
      c = static_cast<char>(rng());
    if (i % 2 && b.size() >= 8)
      b.replace(0, 8, "DATA1000");
    if (i % 4 == 1 && b.size() >= 1364)
      putWord(b, 1356, 1 + rng() % 8);
    add("random " + std::to_string(i), b);
  }

  const std::string path = dir.file("damaged.cvf");
  int opened = 0;
  for (const auto& [what, bytes] : files) {
    for (uint32_t writable : {0u, 1u}) {
      ::unlink(path.c_str());  // a fresh file: truncating one with data in it waits for the disk
      test::writeFile(path, bytes);
      TableHandle h;
      std::strcpy(h.path, path.c_str());
      h.writable = writable;
      if (openMapped(h)) {
        ++opened;
        ASSERT_LE(h.slotAreaOffset + uint64_t{h.slotCount} * h.slotSize, h.map.size()) << what;
        exercise(h, rng, what);
      }
      h.writable = writable;
      if (openPlain(h)) {
        EXPECT_EQ(readField(h, 0, 1), -1) << what;
        EXPECT_EQ(allocate(h), -1) << what;
        EXPECT_FALSE(sortByField(h, 1)) << what;
      }
      closeTable(h);
    }
  }
  EXPECT_GT(opened, 100) << "the generated files should exercise opened tables too";
}
