#include "db/table_file.h"

#include "db/capacity.h"
#include "db/records.h"
#include "db/slot_store.h"
#include "platform/files.h"
#include "platform/memory.h"

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
using platform::preadAll;
using platform::pwriteAll;

namespace {

constexpr char kTag[] = "DATA1000";
constexpr uint32_t kCreatorZeroBytes = 5000;
// What the engine keeps in memory per slot of an open table (the in-use
// flags, the prefix counts and the block counts, with room to spare), and
// the share of the machine's memory a table's bookkeeping may take.
constexpr uint64_t kBookkeepingBytesPerSlot = 8;
constexpr uint64_t kBookkeepingMemoryShare = 4;
// When the system does not say how much memory it has.
constexpr uint64_t kFallbackSlotLimit = uint64_t{1} << 28;

// The most slots an open table may have. A header that promises more (a
// damaged word over a sparse file, say) would have the open allocate and
// walk more than the machine holds; such a file is refused instead.
uint64_t slotLimit() {
  const uint64_t memory = platform::physicalMemoryBytes();
  if (memory == 0)
    return kFallbackSlotLimit;
  return memory / kBookkeepingMemoryShare / kBookkeepingBytesPerSlot;
}

// The handle's path as a string; false when it has no terminator.
bool handlePath(const TableHandle& h, std::string& out) {
  const size_t n = strnlen(h.path, sizeof h.path);
  if (n == 0 || n == sizeof h.path)
    return false;
  out.assign(h.path, n);
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

// The length of the header, the field table and the declared slots of the
// open file: all a write-open maps, so that whatever lies behind them
// (creation's slack, a damaged or sparse tail) is neither mapped nor read in.
// A file whose header cannot be read is mapped whole, for the checks to
// refuse. A header declaring more slots than slotLimit() allows gives 0 and
// sets `tooMany`: such a file is refused before anything is mapped.
size_t declaredLength(int fd, size_t length, bool& tooMany) {
  uint8_t header[kFieldTableOffset];
  if (length < sizeof header || !preadAll(fd, header, sizeof header, 0) || !headerLooksRight(header))
    return length;
  if (readWord(header + kSlotCountOffset) > slotLimit()) {
    tooMany = true;
    return 0;
  }
  const uint32_t fieldCount = readWord(header + kFieldCountOffset);
  std::vector<uint8_t> table(8 * static_cast<size_t>(fieldCount));
  if (length < kFieldTableOffset + table.size() || !preadAll(fd, table.data(), table.size(), kFieldTableOffset))
    return length;
  uint64_t slotSize = 4;
  for (uint32_t f = 0; f < fieldCount; ++f)
    slotSize += typeWidth(readWord(table.data() + 8 * f));
  const uint64_t declared =
      kFieldTableOffset + table.size() + static_cast<uint64_t>(readWord(header + kSlotCountOffset)) * slotSize;
  return declared < length ? static_cast<size_t>(declared) : length;
}

// Maps the file at the handle's path and checks it. With `recount` the
// records are counted; without, the caller keeps the counts it had.
bool mapTable(TableHandle& h, bool recount) {
  h.refusal = OpenRefusal::NotATable;
  std::string path;
  if (!handlePath(h, path))
    return false;
  const bool forWriting = h.writable != 0;
  bool tooMany = false;
  platform::FileMapping::Span span;
  if (forWriting)
    span = [&tooMany](int fd, size_t length) { return declaredLength(fd, length, tooMany); };
  const bool opened = !forWriting && h.readIntoMemory != 0 ? h.map.load(path) : h.map.open(path, forWriting, span);
  if (!opened) {
    if (tooMany)
      h.refusal = OpenRefusal::TooManySlots;
    return false;
  }
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
  if (h.slotCount > slotLimit()) {
    h.map.close();
    forgetGeometry(h);
    h.refusal = OpenRefusal::TooManySlots;
    return false;
  }
  h.refusal = OpenRefusal::None;
  h.openForWriting = forWriting;
  if (recount)
    detail::recountAll(h);
  return true;
}

// Whether the path names a regular file that begins like a table, looked at
// without waiting (a FIFO is never opened) and before any lock is taken, so
// that no lock file is made beside something that is not a table. Sets the
// refusal when not.
bool tableFileAt(TableHandle& h, const std::string& path) {
  h.refusal = OpenRefusal::NotATable;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    return false;
  if (!S_ISREG(st.st_mode)) {
    h.refusal = OpenRefusal::NotAFile;
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return false;
  uint8_t tag[8];
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const bool table = regular && preadAll(fd, tag, sizeof tag, 0) && std::memcmp(tag, kTag, sizeof tag) == 0;
  ::close(fd);
  if (!regular)
    h.refusal = OpenRefusal::NotAFile;
  return table;
}

// Takes the handle's hold on the table among processes: shared to read,
// exclusive to write. Where no lock file can be had (a read-only folder) or
// the file system cannot lock at all, the open goes ahead without one (the
// latter noted on the handle for the user to be told); a holder elsewhere
// for the whole wait makes the open fail as busy.
bool lockTable(TableHandle& h, const std::string& path) {
  const auto kind = h.writable != 0 ? platform::LockKind::Exclusive : platform::LockKind::Shared;
  const platform::TableLockResult result = h.lock.acquire(path, kind);
  h.unlockedFolder = result == platform::TableLockResult::Unsupported;
  if (result != platform::TableLockResult::Busy)
    return true;
  h.lock.release();  // a raise that failed leaves a shared hold the closed handle must not keep
  h.refusal = OpenRefusal::Busy;
  return false;
}

}  // namespace

namespace {

// Lets go of the open file without syncing it: for a handle that is opened
// again at once in another mode.
void release(TableHandle& h) {
  h.map.close();
  if (h.plainFd >= 0)
    ::close(h.plainFd);
  h.plainFd = -1;
  h.writable = 0;
  h.openForWriting = false;
}

}  // namespace

bool closeTable(TableHandle& h) {
  if (!h.isOpen()) {
    h.readIntoMemory = 0;
    h.lock.release();
    return true;
  }
  // What was written reaches the disk before the file is let go of, and so
  // before any lock on it or a push of it to the share.
  bool synced = true;
  if (h.openForWriting) {
    if (h.isMapped())
      synced = h.map.sync();
    if (h.plainFd >= 0)
      synced = ::fsync(h.plainFd) == 0 && synced;
  }
  release(h);
  h.readIntoMemory = 0;
  h.lock.release();
  return synced;
}

bool openMapped(TableHandle& h) {
  const uint32_t writable = h.writable;
  release(h);
  h.writable = writable;
  h.holdCount = 0;
  std::string path;
  if (!handlePath(h, path)) {
    h.refusal = OpenRefusal::NotATable;
    h.lock.release();
    return false;
  }
  if (!tableFileAt(h, path)) {
    h.lock.release();
    return false;
  }
  if (!lockTable(h, path))
    return false;
  if (mapTable(h, true))
    return true;
  h.lock.release();
  return false;
}

namespace detail {

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

bool writeBytes(int fd, const void* bytes, size_t n, uint64_t offset) { return pwriteAll(fd, bytes, n, offset); }

bool mapKeepingCounts(TableHandle& h) {
  h.map.close();
  if (h.plainFd >= 0)
    ::close(h.plainFd);
  h.plainFd = -1;
  h.openForWriting = false;
  if (mapTable(h, false))
    return true;
  h.lock.release();
  return false;
}

}  // namespace detail

bool openPlain(TableHandle& h) {
  const uint32_t writable = h.writable;
  release(h);
  h.writable = writable;
  h.holdCount = 0;
  forgetGeometry(h);
  std::string path;
  if (!handlePath(h, path) || !tableFileAt(h, path) || !lockTable(h, path)) {
    h.lock.release();
    return false;
  }
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    h.lock.release();
    return false;
  }
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
    h.lock.release();
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
  // A hold taken for the table's final name by the caller is kept.
  if (h.isOpen())
    closeTable(h);
  forgetGeometry(h);
  h.holdCount = 0;
  h.writable = 1;
  if (!lockTable(h, path))
    return false;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    h.lock.release();
    return false;
  }
  uint8_t header[kFieldTableOffset] = {};
  std::memcpy(header, kTag, 8);
  writeWord(header + kHeaderWordOffset, 1);
  writeWord(header + 1352, 2);
  writeWord(header + kFieldCountOffset, fieldCount);
  writeWord(header + kSlotCountOffset, kNewSlotCount);
  writeWord(header + 1364, 2);
  if (!pwriteAll(fd, header, sizeof header, 0) || !detail::writeZeros(fd, kFieldTableOffset, kCreatorZeroBytes)) {
    ::close(fd);
    h.lock.release();
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
  return detail::writeZeros(h.plainFd, h.slotAreaOffset, static_cast<uint64_t>(kCreatedSlackSlots) * h.slotSize);
}

bool setHeaderWord(TableHandle& h, uint32_t value) {
  if (!detail::recordsWritable(h))
    return false;
  writeWord(h.map.data() + kHeaderWordOffset, value);
  return true;
}

namespace {

// The name a new table is made under beside its final path, so that a crash
// or a failure half-way never leaves a half-made file where a table is looked
// for (nor replaces a table that was there).
std::string makingName(const char* path) { return std::string(path) + "." + std::to_string(getpid()) + ".new"; }

// Makes the table at the handle's path and takes `records` empty records;
// leaves it open mapped for writing.
bool makeTable(TableHandle& h, const uint32_t* types, uint32_t fieldCount, uint32_t records) {
  h.fieldCount = fieldCount;
  if (!createTable(h))
    return false;
  bool made = true;
  for (uint32_t f = 1; made && f <= fieldCount; ++f)
    made = setFieldType(h, f, types[f - 1]);
  made = made && layOutFields(h);
  release(h);
  h.writable = 1;
  made = made && openMapped(h) && setHeaderWord(h, 1) && allocate(h) >= 0;
  while (made && h.inUseCount < records)
    made = allocate(h) >= 0;
  return made;
}

// Makes a complete table under a temporary name, syncs it and renames it
// over `path`; the handle is left open mapped for writing on `path`.
bool makeTableAt(TableHandle& h, const char* path, const uint32_t* types, uint32_t fieldCount, uint32_t records) {
  closeTable(h);
  const std::string making = makingName(path);
  if (std::strlen(path) >= sizeof h.path || making.size() >= sizeof h.path)
    return false;
  // Held for the final name from the start, so nobody opens the table there
  // while this one takes its place.
  h.writable = 1;
  if (!lockTable(h, path))
    return false;
  std::strcpy(h.path, making.c_str());
  bool made = makeTable(h, types, fieldCount, records) && h.map.sync();
  made = made && std::rename(making.c_str(), path) == 0;
  // The new name reaches the disk with the folder: until then a power cut
  // could leave the folder naming the old file, or nothing.
  if (made)
    platform::syncFolderOf(path);
  std::strcpy(h.path, path);
  if (!made) {
    release(h);
    h.lock.release();
    ::unlink(making.c_str());
  }
  return made;
}

}  // namespace

bool createTableFile(TableHandle& h, const char* path, const uint32_t* types, uint32_t fieldCount) {
  return makeTableAt(h, path, types, fieldCount, 1);
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
  const bool made = makeTableAt(h, path, types, kBufferIndexFieldCount, bufferSize);
  closeTable(h);
  return made;
}

}  // namespace plinka::db
