#include "db/records.h"

#include "db/capacity.h"
#include "db/slot_store.h"

#include <algorithm>
#include <cstring>

namespace plinka::db {

using detail::readWord;
using detail::recordsReachable;
using detail::recordsWritable;
using detail::slotAddress;
using detail::statusAt;
using detail::writeWord;

namespace {

constexpr uint32_t kBlockSlots = 1u << kBlockShift;

bool fieldReachable(const TableHandle& h, uint32_t slot, uint32_t field) {
  return recordsReachable(h) && h.inUseCount != 0 && field != 0 && field <= h.fields.size() && slot < h.slotCount;
}

uint8_t* fieldAddress(const TableHandle& h, uint32_t slot, const FieldLayout& field) {
  return h.map.data() + field.offset + static_cast<uint64_t>(slot) * h.slotSize;
}

uint32_t blockEnd(uint32_t slot, uint32_t slotCount) {
  const uint64_t end = (static_cast<uint64_t>(slot >> kBlockShift) + 1) << kBlockShift;
  return end < slotCount ? static_cast<uint32_t>(end) : slotCount;
}

// The lowest record in use at or after `from`, or -1. Blocks without a
// record in use are skipped whole.
int64_t inUseAtOrAfter(const TableHandle& h, uint32_t from) {
  uint32_t s = from;
  while (s < h.slotCount) {
    if (h.inUsePerBlock[s >> kBlockShift] == 0) {
      s = blockEnd(s, h.slotCount);
      continue;
    }
    for (const uint32_t end = blockEnd(s, h.slotCount); s < end; ++s)
      if (isInUse(statusAt(h, s)))
        return s;
  }
  return -1;
}

// The highest record in use at or before `from`, or -1.
int64_t inUseAtOrBefore(const TableHandle& h, uint32_t from) {
  int64_t s = from;
  while (s >= 0) {
    const uint32_t blockStart = static_cast<uint32_t>(s) & ~(kBlockSlots - 1);
    if (h.inUsePerBlock[static_cast<uint32_t>(s) >> kBlockShift] != 0)
      for (int64_t t = s; t >= blockStart; --t)
        if (isInUse(statusAt(h, static_cast<uint32_t>(t))))
          return t;
    s = static_cast<int64_t>(blockStart) - 1;
  }
  return -1;
}

}  // namespace

int32_t allocate(TableHandle& h) {
  if (!recordsWritable(h))
    return -1;
  applyCapacityRule(h);
  if (!recordsWritable(h))
    return -1;
  for (uint32_t s = h.allocationHint; s < h.slotCount; ++s) {
    if (isAllocatable(statusAt(h, s))) {
      detail::storeStatus(h, s, kStatusInUse);
      h.allocationHint = s + 1;
      return static_cast<int32_t>(s);
    }
  }
  h.allocationHint = h.slotCount;
  return -1;
}

int32_t readField(TableHandle& h, uint32_t slot, uint32_t field) {
  if (!fieldReachable(h, slot, field))
    return -1;
  const FieldLayout& f = h.fields[field - 1];
  const uint8_t* p = fieldAddress(h, slot, f);
  if (isNumberType(f.type)) {
    if (f.type == 0)
      h.value = p[0];
    else if (f.type == 1)
      h.value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
    else
      h.value = readWord(p);
  } else {
    // width - 1 bytes and a zero; a field wider than the text buffer gives
    // only what the buffer holds.
    const size_t n = std::min<size_t>(f.width - 1, sizeof h.text - 1);
    std::memcpy(h.text, p, n);
    h.text[n] = 0;
  }
  return static_cast<int32_t>(f.type);
}

int32_t writeField(TableHandle& h, uint32_t slot, uint32_t field) {
  if (!fieldReachable(h, slot, field) || !h.openForWriting)
    return -1;
  const FieldLayout& f = h.fields[field - 1];
  uint8_t* p = fieldAddress(h, slot, f);
  if (isNumberType(f.type)) {
    if (f.type == 0) {
      p[0] = static_cast<uint8_t>(h.value);
    } else if (f.type == 1) {
      p[0] = static_cast<uint8_t>(h.value);
      p[1] = static_cast<uint8_t>(h.value >> 8);
    } else {
      writeWord(p, h.value);
    }
  } else {
    const size_t n = std::min<size_t>(f.width - 1, sizeof h.text);
    std::memcpy(p, h.text, n);
    std::memset(p + n, 0, f.width - n);  // the last byte, and any part the buffer could not fill
    h.text[0] = 0;
  }
  return static_cast<int32_t>(f.type);
}

bool setStatus(TableHandle& h, uint32_t slot, uint32_t status) {
  if (!recordsWritable(h) || slot >= h.slotCount)
    return false;
  detail::storeStatus(h, slot, status);
  return true;
}

int32_t getStatus(const TableHandle& h, uint32_t slot) {
  if (!recordsReachable(h) || h.inUseCount == 0 || slot >= h.slotCount)
    return -1;
  return static_cast<int32_t>(statusAt(h, slot));
}

int32_t slotStatus(const TableHandle& h, uint32_t slot) {
  if (!recordsReachable(h) || slot >= h.slotCount)
    return -1;
  return static_cast<int32_t>(statusAt(h, slot));
}

uint32_t countInUse(TableHandle& h) { return recordsReachable(h) ? h.inUseCount : 0; }

uint32_t countOccupied(const TableHandle& h) { return recordsReachable(h) ? h.occupiedCount : 0; }

int32_t firstWithStatus(const TableHandle& h, int32_t status, uint32_t from) {
  if (!recordsReachable(h) || h.inUseCount == 0)
    return -1;
  for (uint32_t s = from; s < h.slotCount; ++s)
    if (static_cast<int16_t>(statusAt(h, s)) == status)
      return static_cast<int32_t>(s);
  return -1;
}

int32_t nextInUse(const TableHandle& h, uint32_t slot) {
  if (!recordsReachable(h) || h.inUseCount == 0 || slot >= h.slotCount)
    return static_cast<int32_t>(slot);
  const int64_t next = inUseAtOrAfter(h, slot + 1);
  return static_cast<int32_t>(next < 0 ? slot : next);
}

int32_t previousInUse(const TableHandle& h, uint32_t slot) {
  if (!recordsReachable(h) || h.inUseCount == 0 || slot == 0 || h.slotCount == 0)
    return static_cast<int32_t>(slot);
  const int64_t previous = inUseAtOrBefore(h, std::min(slot - 1, h.slotCount - 1));
  return static_cast<int32_t>(previous < 0 ? slot : previous);
}

int32_t lastInUse(const TableHandle& h) {
  if (!recordsReachable(h) || h.inUseCount == 0 || h.slotCount == 0)
    return -1;
  return static_cast<int32_t>(inUseAtOrBefore(h, h.slotCount - 1));
}

int32_t nthInUse(const TableHandle& h, uint32_t n) {
  if (!recordsReachable(h) || n == 0 || n > h.inUseCount)
    return -1;
  // Descend the prefix-count tree: the largest prefix holding fewer than n
  // records in use ends just before the n-th one.
  const size_t size = h.inUseTree.size() - 1;
  size_t step = 1;
  while (step * 2 <= size)
    step *= 2;
  size_t position = 0;
  uint32_t left = n;
  for (; step > 0; step /= 2) {
    if (position + step <= size && h.inUseTree[position + step] < left) {
      position += step;
      left -= h.inUseTree[position];
    }
  }
  return position < h.slotCount ? static_cast<int32_t>(position) : -1;
}

int32_t copySlot(TableHandle& h, uint32_t from, uint32_t to) {
  if (!recordsWritable(h) || from >= h.slotCount || to >= h.slotCount)
    return -1;
  detail::storeSlot(h, to, slotAddress(h, from));
  return static_cast<int32_t>(to);
}

uint32_t ratingOfScore(const SettingsRecord& settings, uint32_t score) {
  for (uint32_t r = 10; r >= 1; --r)
    if (score >= settings.ratingValue[r - 1])
      return r;
  return 0;
}

uint32_t scoreOfRating(const SettingsRecord& settings, uint32_t rating) {
  if (rating < 1 || rating > 10)
    return 0;
  return settings.ratingValue[rating - 1];
}

}  // namespace plinka::db
