// Engine-internal slot helpers shared by the table files' sources: slot
// addresses in the mapping, status words, and the in-step bookkeeping of the
// counts, the per-block in-use counts and the allocation hint. Every status
// change inside the engine goes through storeStatus or noteStatusChange.
#pragma once

#include "db/table_handle.h"

#include <cstdint>
#include <cstring>

namespace plinka::db::detail {

inline bool recordsReachable(const TableHandle& h) { return h.isMapped() && h.slotSize != 0; }
inline bool recordsWritable(const TableHandle& h) { return recordsReachable(h) && h.openForWriting; }

inline uint8_t* slotAddress(const TableHandle& h, uint32_t slot) {
  return h.map.data() + h.slotAreaOffset + static_cast<uint64_t>(slot) * h.slotSize;
}

inline uint32_t statusAt(const TableHandle& h, uint32_t slot) {
  uint32_t status;
  std::memcpy(&status, slotAddress(h, slot), sizeof status);
  return status;
}

inline uint32_t readWord(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void writeWord(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// A status that is neither in use, occupied nor allocatable: what a slot
// counts as before it exists or after it is cut off.
constexpr uint32_t kNoSlot = 1;

// Adjusts the counts, block counts and hint for a slot whose status word
// has changed from `before` to `after`.
void noteStatusChange(TableHandle& h, uint32_t slot, uint32_t before, uint32_t after);

// Writes a status word and keeps the bookkeeping in step.
void storeStatus(TableHandle& h, uint32_t slot, uint32_t status);

// Copies R bytes from `source` (a slot or a work buffer) over slot `to`.
void storeSlot(TableHandle& h, uint32_t to, const uint8_t* source);

// Counts every slot from scratch (used once per open).
void recountAll(TableHandle& h);

// Maps the table at the handle's path again (for writing when `writable` is
// set) after a plain-file change, keeping the hold count and the counts
// rather than counting every slot. False (handle closed) when it fails.
bool mapKeepingCounts(TableHandle& h);

// Extends the bookkeeping after the slot count grew from `oldCount` to
// h.slotCount; drops it for the slots removed when it shrank.
void resizeBookkeeping(TableHandle& h, uint32_t oldCount);

}  // namespace plinka::db::detail
