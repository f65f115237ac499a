#include "support/table_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace plinka::db::testing {

void makeTable(TableHandle& h, const std::string& path, const std::vector<uint32_t>& types, uint32_t slotCount) {
  ASSERT_TRUE(createTableFile(h, path.c_str(), types.data(), static_cast<uint32_t>(types.size())));
  const uint64_t length = h.slotAreaOffset + static_cast<uint64_t>(slotCount) * h.slotSize;
  closeTable(h);
  const int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(length)), 0);
  uint8_t word[4];
  std::memcpy(word, &slotCount, 4);
  ASSERT_EQ(pwrite(fd, word, 4, kSlotCountOffset), 4);
  ::close(fd);
  h.writable = 1;
  ASSERT_TRUE(openMapped(h));
}

bool openAt(TableHandle& h, const std::string& path, uint32_t writable) {
  std::strcpy(h.path, path.c_str());
  h.writable = writable;
  return openMapped(h);
}

uint32_t rawStatus(const TableHandle& h, uint32_t slot) {
  uint32_t status;
  std::memcpy(&status, h.map.data() + h.slotAreaOffset + static_cast<uint64_t>(slot) * h.slotSize, 4);
  return status;
}

Tally tally(const TableHandle& h) {
  Tally t;
  for (uint32_t s = 0; s < h.slotCount; ++s) {
    const uint32_t status = rawStatus(h, s);
    t.inUse += status == 10;
    t.occupied += status > 9;
  }
  return t;
}

std::string readText(TableHandle& h, uint32_t slot, uint32_t field) {
  EXPECT_GE(readField(h, slot, field), 10) << "slot " << slot << " field " << field;
  return h.text;
}

uint32_t readNumber(TableHandle& h, uint32_t slot, uint32_t field) {
  const int32_t type = readField(h, slot, field);
  EXPECT_TRUE(type >= 0 && type < 10) << "slot " << slot << " field " << field;
  return h.value;
}

void writeText(TableHandle& h, uint32_t slot, uint32_t field, const std::string& text) {
  ASSERT_LT(text.size(), sizeof h.text);
  std::memcpy(h.text, text.c_str(), text.size() + 1);
  ASSERT_GE(writeField(h, slot, field), 10) << "slot " << slot << " field " << field;
}

void writeNumber(TableHandle& h, uint32_t slot, uint32_t field, uint32_t value) {
  h.value = value;
  const int32_t type = writeField(h, slot, field);
  ASSERT_TRUE(type >= 0 && type < 10) << "slot " << slot << " field " << field;
}

uint32_t fileWord(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  if (offset + 4 <= bytes.size())
    std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

void putWord(std::string& bytes, size_t offset, uint32_t value) {
  if (offset + 4 <= bytes.size())
    std::memcpy(bytes.data() + offset, &value, 4);
}

}  // namespace plinka::db::testing
