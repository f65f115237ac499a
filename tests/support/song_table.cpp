#include "support/song_table.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace plinka::test {

void putText(db::TableHandle& h, uint32_t slot, uint32_t field, const std::string& value) {
  std::snprintf(h.text, sizeof h.text, "%s", value.c_str());
  ASSERT_GE(db::writeField(h, slot, field), 0);
}

void putNumber(db::TableHandle& h, uint32_t slot, uint32_t field, uint32_t value) {
  h.value = value;
  ASSERT_GE(db::writeField(h, slot, field), 0);
}

void makeSongTable(db::TableHandle& h, const std::string& path, uint32_t count,
                   const std::function<void(db::TableHandle&, uint32_t)>& fill) {
  ASSERT_TRUE(db::createSongTable(path.c_str()));
  std::snprintf(h.path, sizeof h.path, "%s", path.c_str());
  h.writable = 1;
  ASSERT_TRUE(db::openMapped(h));
  for (uint32_t k = 0; k < count; ++k) {
    // Slot 0, the record every new table holds, takes the first song.
    if (k > 0) {
      ASSERT_EQ(db::allocate(h), static_cast<int32_t>(k));
    }
    fill(h, k);
  }
  if (count == 0) {
    ASSERT_TRUE(db::setStatus(h, 0, db::kStatusFree));
  }
  ASSERT_EQ(db::countInUse(h), count);
  db::closeTable(h);
}

uint32_t storedNumber(const std::string& path, uint32_t slot, uint32_t field) {
  db::TableHandle h;
  std::snprintf(h.path, sizeof h.path, "%s", path.c_str());
  if (!db::openMapped(h) || db::readField(h, slot, field) < 0)
    return 0xFFFFFFFFu;
  const uint32_t v = h.value;
  db::closeTable(h);
  return v;
}

}  // namespace plinka::test
