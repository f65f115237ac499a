// The FileName index against the walk it replaces: on random tables (both
// letter cases, the same path in several slots, every status, texts filling
// their field) a folded lookup gives the slot of the table's backwards
// search, an exact one the highest byte-for-byte match, and records added or
// deleted after the build are found or passed over.
#include "db/filename_index.h"
#include "db/search.h"
#include "support/table_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace plinka::db {
namespace {

using testing::makeTable;
using testing::readText;
using testing::writeText;

TEST(FileNameIndex, AgreesWithTheBackwardsSearchOnRandomTables) {
  const std::vector<std::string> paths = {"/m/a.mp3", "/m/A.mp3",        "/M/A.MP3",        "/m/b.mp3", "/m/@.mp3",
                                          "/m/`.mp3", "/m/\xc3\xa9.mp3", "/m/\xc3\xc9.mp3", "/m/a.mp",  ""};
  const uint32_t statuses[] = {0, 5, 9, 10, 10, 10, 11, 12};
  constexpr uint32_t kSlots = 80;
  std::mt19937 rng(20261211);
  for (int round = 0; round < 8; ++round) {
    test::TempDir dir;
    TableHandle h;
    // A 64-byte FileName, so that a path can fill it with no zero.
    makeTable(h, dir.file("t.cvf"), {kTypeText64, 2, kTypeText64}, kSlots);
    const std::string full(63, 'f');
    for (uint32_t s = 0; s < kSlots; ++s) {
      writeText(h, s, FileName, rng() % 10 == 0 ? full : paths[rng() % paths.size()]);
      ASSERT_TRUE(setStatus(h, s, s == 0 ? kStatusInUse : statuses[rng() % std::size(statuses)]));
    }
    FileNameIndex index;
    ASSERT_TRUE(index.build(h));

    std::vector<std::string> lookups = paths;
    lookups.push_back(full);
    lookups.push_back(full + "f");
    lookups.push_back("/m/c.mp3");
    auto check = [&](const char* label) {
      for (const std::string& path : lookups) {
        std::strcpy(h.searchText, path.c_str());
        const int32_t walked = findByFieldBackwards(h, FileName);
        EXPECT_EQ(index.find(h, path.c_str(), LetterCase::Folded), walked) << label << " " << path;
        EXPECT_EQ(findFileName(h, path.c_str(), LetterCase::Folded), walked) << label << " " << path;
        const int32_t exact = findFileName(h, path.c_str(), LetterCase::Exact);
        EXPECT_EQ(index.find(h, path.c_str(), LetterCase::Exact), exact) << label << " " << path;
        if (exact >= 0) {
          EXPECT_EQ(readText(h, static_cast<uint32_t>(exact), FileName), path.substr(0, 63));
        }
        EXPECT_EQ(index.findPreferExact(h, path.c_str()), exact >= 0 ? exact : walked) << label << " " << path;
      }
    };
    check("built");

    // Changes told to the index after the build: new paths in free slots,
    // records deleted.
    for (uint32_t s = 1; s < kSlots; s += 7) {
      if (isOccupied(testing::rawStatus(h, s)))
        continue;
      writeText(h, s, FileName, "/m/new " + std::to_string(s) + ".mp3");
      ASSERT_TRUE(setStatus(h, s, kStatusInUse));
      index.add(h, s);
      lookups.push_back("/M/NEW " + std::to_string(s) + ".MP3");
    }
    for (uint32_t s = 3; s < kSlots; s += 11)
      ASSERT_TRUE(setStatus(h, s, kStatusFree));
    check("after changes");
    closeTable(h);
  }
}

}  // namespace
}  // namespace plinka::db
