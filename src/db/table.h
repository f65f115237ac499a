// The table-file engine: one handle per table file, records named by their
// 0-based slot number, fields by their 1-based number. Every number passes
// through the handle's value word and every text through its text buffer.
//
// Threads: a handle has no lock of its own. Callers serialise their use of
// it through the run state's busy code, and open, use and close it inside.
#pragma once

#include "platform/mapping.h"

#include <cstdint>

namespace plinka::db {

constexpr uint32_t kFieldTableOffset = 1444;
constexpr uint32_t kNewSlotCount = 10;

// Slot statuses.
constexpr uint32_t kStatusNeverUsed = 0;
constexpr uint32_t kStatusFree = 5;
constexpr uint32_t kStatusInUse = 10;

// Song table fields.
constexpr uint32_t kSongFieldCount = 44;
enum SongField : uint32_t {
  FileName = 1,
  Name = 2,
  Artist = 3,
  Album = 4,
  Style = 5,
  Comment = 6,
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

struct TableHandle {
  char path[600] = {};          // set by the caller before opening
  platform::FileMapping map;    // mapped mode: the file and its mapping
  int plainFd = -1;             // plain mode: the open file
  uint32_t fieldCount = 0;
  uint32_t slotCount = 0;
  uint32_t inUseCount = 0;      // slots whose status is exactly 10
  uint32_t occupiedCount = 0;   // slots whose status is above 9
  uint32_t fieldTableOffset = kFieldTableOffset;
  uint32_t slotAreaOffset = 0;
  uint32_t slotSize = 0;
  uint32_t holdCount = 0;       // while not 0, no compaction or shrink
  uint32_t value = 0;           // value word
  char text[1024] = {};         // text buffer
  char searchText[1024] = {};   // search text of the searches
  uint32_t writable = 0;        // set by the caller before opening
  uint32_t noRecount = 0;

  bool isOpen() const { return map.isOpen() || plainFd >= 0; }
  bool isMapped() const { return map.isOpen(); }
};

}  // namespace plinka::db
