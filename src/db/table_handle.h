// The table handle: one per table file. It holds the open file, the table's
// geometry and the two buffers through which every field value passes: a
// number goes through `value`, a text through `text`.
//
// Records are named by their 0-based slot number, fields by their 1-based
// number. A slot is a 4-byte status word followed by the fields in order.
//
// Threads: a handle has no lock of its own. Callers serialise their use of
// it through the run state's busy code, and open, use and close it inside;
// every member below is written and read only by the thread that currently
// holds the handle that way.
#pragma once

#include "platform/mapping.h"
#include "platform/table_lock.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace plinka::db {

// File geometry.
constexpr uint32_t kFieldTableOffset = 1444;
constexpr uint32_t kNewSlotCount = 10;
constexpr uint32_t kCreatedSlackSlots = 15;  // zero slots written by the creator
constexpr uint32_t kFieldCountOffset = 1356;
constexpr uint32_t kSlotCountOffset = 1360;
constexpr uint32_t kHeaderWordOffset = 608;
// Field counts above this are taken as damage: no table of ours comes near.
constexpr uint32_t kMaxFieldCount = 4096;

// Slot statuses. In use means exactly 10; occupied means above 9; only 0 and
// 5 are handed out as new records.
constexpr uint32_t kStatusNeverUsed = 0;
constexpr uint32_t kStatusFree = 5;
constexpr uint32_t kStatusInUse = 10;

constexpr bool isInUse(uint32_t status) { return status == kStatusInUse; }
constexpr bool isOccupied(uint32_t status) { return status > 9; }
constexpr bool isAllocatable(uint32_t status) { return status == kStatusNeverUsed || status == kStatusFree; }

// Field types: codes below 10 are numbers, 10 and above are texts.
constexpr bool isNumberType(uint32_t type) { return type < 10; }
constexpr uint32_t typeWidth(uint32_t type) {
  switch (type) {
  case 0:
    return 1;
  case 1:
    return 2;
  case 2:
    return 4;
  case 3:
    return 8;
  case 4:
    return 16;
  case 10:
    return 4;
  case 11:
    return 16;
  case 12:
    return 64;
  case 13:
    return 300;
  case 14:
    return 1000;
  case 15:
    return 5000;
  default:
    return 64;
  }
}
constexpr uint32_t kTypeNumber = 2;     // 4-byte number
constexpr uint32_t kTypeText64 = 12;    // 64-byte text
constexpr uint32_t kTypeText1000 = 14;  // 1000-byte text

// Song table fields.
constexpr uint32_t kSongFieldCount = 44;
enum SongField : uint32_t {
  FileName = 1,
  Name = 2,
  Artist = 3,
  Album = 4,
  Style = 5,
  Comment = 6,
  // The song's loudness, a number kept by the levelling (library/loudness.h
  // holds its encoding): 0 = not known yet, which is what every record
  // imported before it existed holds; any known value has bit 31 set.
  Loudness = 10,
  ID = 11,
  Flags = 41,
  StartPoint = 42,
  EndPoint = 43,
  PlayCount = 44,
};
// User u (0-9): Score field 12 + 3u, Target field 13 + 3u.
constexpr uint32_t scoreField(uint32_t user) { return 12 + 3 * user; }
constexpr uint32_t targetField(uint32_t user) { return 13 + 3 * user; }

// Buffer index table fields.
constexpr uint32_t kBufferIndexFieldCount = 5;

// One entry of the field table, checked against the layout when the table
// is opened, so every address made from it lies inside the slot.
struct FieldLayout {
  uint32_t type = 0;
  uint32_t width = 0;
  uint32_t offset = 0;  // file offset of the field in slot 0
};

// Why the last open refused the file, for the message the caller shows.
enum class OpenRefusal : uint32_t {
  None,          // opened, or never tried
  NotATable,     // missing, unreadable, or not a sound table file
  NotAFile,      // a folder, a FIFO, a device: anything but a regular file
  TooManySlots,  // declares more slots than this machine's memory can index
  Busy,          // another process held it (for writing, or while this one wanted to write) all the wait
};

// Slots per entry of the in-use count per block (a power of two).
constexpr uint32_t kBlockShift = 8;

struct TableHandle {
  char path[600] = {};         // set by the caller before opening
  platform::FileMapping map;   // mapped mode: the file and its mapping
  platform::TableLock lock;    // this open's hold on the table among processes, from the open to the close
  int plainFd = -1;            // plain mode: the open file
  uint32_t fieldCount = 0;     // F
  uint32_t slotCount = 0;      // N
  uint32_t inUseCount = 0;     // slots whose status is exactly 10
  uint32_t occupiedCount = 0;  // slots whose status is above 9
  uint32_t fieldTableOffset = kFieldTableOffset;
  uint32_t slotAreaOffset = 0;  // 1444 + 8F
  uint32_t slotSize = 0;        // R: 4 + the sum of the field widths
  uint32_t holdCount = 0;       // while not 0, no compaction or shrink (reset by every open)
  uint32_t value = 0;           // value word
  char text[1024] = {};         // text buffer
  char searchText[1024] = {};   // search text of the searches
  uint32_t writable = 0;        // set by the caller before opening; cleared by closing
  uint32_t noRecount = 0;       // set during bulk moves (counts are kept in step regardless)
  // Set by the caller before a read-only open; cleared by closing. The file
  // is then read whole into memory rather than mapped: for a table on a
  // share that may drop out, so a share gone fails the open instead of
  // faulting a later read.
  uint32_t readIntoMemory = 0;

  // Holds of jobs that keep a slot number while the table is closed and
  // another job may open it (the ID worker during a checksum); counted
  // with holdCount, but kept across opens. Raised and lowered by those jobs
  // (see SlotHold); read by whoever compacts.
  std::atomic<uint32_t> lastingHolds{0};

  // Kept by the engine; callers only read them.
  bool openForWriting = false;              // the mode the file is really open in
  std::vector<FieldLayout> fields;          // entry f - 1 describes field f
  std::vector<uint32_t> inUsePerBlock;      // in-use count of each run of 2^kBlockShift slots
  std::vector<uint8_t> inUseFlags;          // 1 for each slot whose status is exactly 10
  std::vector<uint32_t> inUseTree;          // prefix counts of inUseFlags (a Fenwick tree, 1-based)
  uint32_t allocationHint = 0;              // no slot below it has status 0 or 5
  OpenRefusal refusal = OpenRefusal::None;  // why the last mapped open failed
  bool unlockedFolder = false;              // the last open went ahead unlocked: the folder cannot lock

  bool isOpen() const { return map.isOpen() || plainFd >= 0; }
  bool isMapped() const { return map.isOpen(); }
};

}  // namespace plinka::db
