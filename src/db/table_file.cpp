#include "db/table_file.h"

#include "db/capacity.h"
#include "db/records.h"
#include "db/slot_store.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plinka::db {

using detail::readWord;
using detail::writeWord;

namespace {

constexpr char kTag[] = "DATA1000";
constexpr uint32_t kCreatorZeroBytes = 5000;

// The handle's path as a string; false when it has no terminator.
bool handlePath(const TableHandle& h, std::string& out) {
  const size_t n = strnlen(h.path, sizeof h.path);
  if (n == 0 || n == sizeof h.path)
    return false;
  out.assign(h.path, n);
  return true;
}

bool preadAll(int fd, void* buf, size_t n, uint64_t offset) {
  auto* p = static_cast<uint8_t*>(buf);
  while (n > 0) {
    const ssize_t r = pread(fd, p, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0)
      return false;
    p += r;
    n -= static_cast<size_t>(r);
    offset += static_cast<uint64_t>(r);
  }
  return true;
}

bool pwriteAll(int fd, const void* buf, size_t n, uint64_t offset) {
  const auto* p = static_cast<const uint8_t*>(buf);
  while (n > 0) {
    const ssize_t w = pwrite(fd, p, n, static_cast<off_t>(offset));
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      return false;
    p += w;
    n -= static_cast<size_t>(w);
    offset += static_cast<uint64_t>(w);
  }
  return true;
}

bool writeZeros(int fd, uint64_t offset, uint64_t n) {
  static const uint8_t zeros[8192] = {};
  while (n > 0) {
    const size_t chunk = n < sizeof zeros ? static_cast<size_t>(n) : sizeof zeros;
    if (!pwriteAll(fd, zeros, chunk, offset))
      return false;
    offset += chunk;
    n -= chunk;
  }
  return true;
}

// Checks the tag and version, F and the field table (`table`: 8F bytes)
// against the layout the types give, and fills the handle's geometry.
bool takeGeometry(TableHandle& h, const uint8_t* header, const uint8_t* table) {
  const uint32_t fieldCount = readWord(header + kFieldCountOffset);
  uint32_t offset = kFieldTableOffset + 8 * fieldCount + 4;
  std::vector<FieldLayout> fields(fieldCount);
  for (uint32_t f = 0; f < fieldCount; ++f) {
    fields[f].type = readWord(table + 8 * f);
    fields[f].width = typeWidth(fields[f].type);
    fields[f].offset = offset;
    if (readWord(table + 8 * f + 4) != offset)
      return false;
    offset += fields[f].width;  // at most 1448 + 8 * 4096 + 5000 * 4096: no overflow
  }
  h.fieldCount = fieldCount;
  h.slotCount = readWord(header + kSlotCountOffset);
  h.fieldTableOffset = kFieldTableOffset;
  h.slotAreaOffset = kFieldTableOffset + 8 * fieldCount;
  h.slotSize = offset - h.slotAreaOffset;
  h.fields = std::move(fields);
  return true;
}

bool headerLooksRight(const uint8_t* header) {
  if (std::memcmp(header, kTag, 8) != 0)
    return false;
  const uint32_t fieldCount = readWord(header + kFieldCountOffset);
  return fieldCount >= 1 && fieldCount <= kMaxFieldCount;
}

void forgetGeometry(TableHandle& h) {
  h.fields.clear();
  h.inUsePerBlock.clear();
  h.inUseFlags.clear();
  h.inUseTree.clear();
  h.slotSize = 0;
  h.inUseCount = 0;
  h.occupiedCount = 0;
  h.allocationHint = 0;
}

// Maps the file at the handle's path and checks it. With `recount` the
// records are counted; without, the caller keeps the counts it had.
bool mapTable(TableHandle& h, bool recount) {
  std::string path;
  if (!handlePath(h, path))
    return false;
  const bool forWriting = h.writable != 0;
  if (!h.map.open(path, forWriting))
    return false;
  const uint8_t* data = h.map.data();
  const uint64_t size = h.map.size();
  bool sound = size >= kFieldTableOffset && headerLooksRight(data);
  if (sound) {
    const uint32_t fieldCount = readWord(data + kFieldCountOffset);
    sound = size >= kFieldTableOffset + 8ull * fieldCount && takeGeometry(h, data, data + kFieldTableOffset);
  }
  if (sound)
    sound = size >= h.slotAreaOffset + static_cast<uint64_t>(h.slotCount) * h.slotSize;
  if (!sound) {
    h.map.close();
    forgetGeometry(h);
    return false;
  }
  h.openForWriting = forWriting;
  if (recount)
    detail::recountAll(h);
  return true;
}

}  // namespace

void closeTable(TableHandle& h) {
  if (!h.isOpen())
    return;
  h.map.close();
  if (h.plainFd >= 0)
    ::close(h.plainFd);
  h.plainFd = -1;
  h.writable = 0;
  h.openForWriting = false;
}

bool openMapped(TableHandle& h) {
  const uint32_t writable = h.writable;
  closeTable(h);
  h.writable = writable;
  h.holdCount = 0;
  return mapTable(h, true);
}

namespace detail {

bool mapKeepingCounts(TableHandle& h) {
  h.map.close();
  if (h.plainFd >= 0)
    ::close(h.plainFd);
  h.plainFd = -1;
  h.openForWriting = false;
  return mapTable(h, false);
}

}  // namespace detail

bool openPlain(TableHandle& h) {
  const uint32_t writable = h.writable;
  closeTable(h);
  h.writable = writable;
  h.holdCount = 0;
  forgetGeometry(h);
  std::string path;
  if (!handlePath(h, path))
    return false;
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat st {};
  std::vector<uint8_t> header(kFieldTableOffset);
  bool sound = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && preadAll(fd, header.data(), header.size(), 0) &&
               headerLooksRight(header.data());
  if (sound) {
    std::vector<uint8_t> table(8 * static_cast<size_t>(readWord(header.data() + kFieldCountOffset)));
    sound = preadAll(fd, table.data(), table.size(), kFieldTableOffset) && takeGeometry(h, header.data(), table.data());
  }
  if (!sound) {
    ::close(fd);
    forgetGeometry(h);
    return false;
  }
  h.plainFd = fd;
  h.openForWriting = writable != 0;
  return true;
}

bool openWithCapacityCheck(TableHandle& h) {
  if (!openMapped(h))
    return false;
  applyCapacityRule(h);
  return true;
}

bool createTable(TableHandle& h) {
  std::string path;
  const uint32_t fieldCount = h.fieldCount;
  if (!handlePath(h, path) || fieldCount == 0 || fieldCount > kMaxFieldCount)
    return false;
  closeTable(h);
  forgetGeometry(h);
  h.holdCount = 0;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  uint8_t header[kFieldTableOffset] = {};
  std::memcpy(header, kTag, 8);
  writeWord(header + kHeaderWordOffset, 1);
  writeWord(header + 1352, 2);
  writeWord(header + kFieldCountOffset, fieldCount);
  writeWord(header + kSlotCountOffset, kNewSlotCount);
  writeWord(header + 1364, 2);
  if (!pwriteAll(fd, header, sizeof header, 0) || !writeZeros(fd, kFieldTableOffset, kCreatorZeroBytes)) {
    ::close(fd);
    return false;
  }
  h.plainFd = fd;
  h.writable = 1;
  h.openForWriting = true;
  h.fieldCount = fieldCount;
  h.slotCount = kNewSlotCount;
  h.fieldTableOffset = kFieldTableOffset;
  h.slotAreaOffset = kFieldTableOffset + 8 * fieldCount;
  h.fields.assign(fieldCount, FieldLayout{});
  return true;
}

bool setFieldType(TableHandle& h, uint32_t field, uint32_t type) {
  if (h.plainFd < 0 || !h.openForWriting || field == 0 || field > h.fieldCount || h.fields.size() != h.fieldCount)
    return false;
  uint8_t entry[8] = {};
  writeWord(entry, type);
  if (!pwriteAll(h.plainFd, entry, sizeof entry, kFieldTableOffset + 8ull * (field - 1)))
    return false;
  h.fields[field - 1].type = type;
  h.fields[field - 1].width = typeWidth(type);
  return true;
}

bool layOutFields(TableHandle& h) {
  if (h.plainFd < 0 || !h.openForWriting || h.fields.size() != h.fieldCount)
    return false;
  uint32_t offset = h.slotAreaOffset + 4;
  for (uint32_t f = 0; f < h.fieldCount; ++f) {
    FieldLayout& field = h.fields[f];
    field.width = typeWidth(field.type);
    field.offset = offset;
    uint8_t entry[8];
    writeWord(entry, field.type);
    writeWord(entry + 4, offset);
    if (!pwriteAll(h.plainFd, entry, sizeof entry, kFieldTableOffset + 8ull * f))
      return false;
    offset += field.width;
  }
  h.slotSize = offset - h.slotAreaOffset;
  return writeZeros(h.plainFd, h.slotAreaOffset, static_cast<uint64_t>(kCreatedSlackSlots) * h.slotSize);
}

bool setHeaderWord(TableHandle& h, uint32_t value) {
  if (!detail::recordsWritable(h))
    return false;
  writeWord(h.map.data() + kHeaderWordOffset, value);
  return true;
}

bool createTableFile(TableHandle& h, const char* path, const uint32_t* types, uint32_t fieldCount) {
  closeTable(h);
  if (std::strlen(path) >= sizeof h.path)
    return false;
  std::strcpy(h.path, path);
  h.fieldCount = fieldCount;
  if (!createTable(h))
    return false;
  bool made = true;
  for (uint32_t f = 1; made && f <= fieldCount; ++f)
    made = setFieldType(h, f, types[f - 1]);
  made = made && layOutFields(h);
  closeTable(h);
  h.writable = 1;
  made = made && openMapped(h) && setHeaderWord(h, 1) && allocate(h) >= 0;
  if (!made) {
    closeTable(h);
    ::unlink(path);
  }
  return made;
}

bool createSongTable(const char* path) {
  uint32_t types[kSongFieldCount];
  for (uint32_t f = 1; f <= kSongFieldCount; ++f)
    types[f - 1] = f == 1 ? kTypeText1000 : f <= 9 ? kTypeText64 : kTypeNumber;
  TableHandle h;
  const bool made = createTableFile(h, path, types, kSongFieldCount);
  closeTable(h);
  return made;
}

bool createBufferIndexTable(const char* path, uint32_t bufferSize) {
  const uint32_t types[kBufferIndexFieldCount] = {kTypeText1000, kTypeNumber, kTypeNumber, kTypeNumber, kTypeNumber};
  TableHandle h;
  if (!createTableFile(h, path, types, kBufferIndexFieldCount))
    return false;
  bool made = true;
  while (made && h.inUseCount < bufferSize)
    made = allocate(h) >= 0;
  closeTable(h);
  if (!made)
    ::unlink(path);
  return made;
}

}  // namespace plinka::db
