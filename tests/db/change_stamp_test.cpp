// The change stamp beside a table: absent or damaged reads as unknown, and
// every renewal gives a value a reader has not seen.
#include "db/change_stamp.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace plinka::db {
namespace {

TEST(ChangeStamp, RenewalsAreNewAndReadBack) {
  test::TempDir dir;
  const std::string table = dir.file("Plinka.cvf");
  EXPECT_EQ(readChangeStamp(table), 0u);
  const uint64_t first = renewChangeStamp(table);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(readChangeStamp(table), first);
  const uint64_t second = renewChangeStamp(table);
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, first);
  EXPECT_EQ(readChangeStamp(table), second);
}

TEST(ChangeStamp, DamagedStampReadsAsUnknown) {
  test::TempDir dir;
  const std::string table = dir.file("Plinka.cvf");
  test::writeFile(changeStampPath(table), "abc");
  EXPECT_EQ(readChangeStamp(table), 0u);
}

}  // namespace
}  // namespace plinka::db
