#include "db/slot_store.h"

#include "db/slot_parts.h"

namespace plinka::db::detail {

namespace {

uint32_t blockCountFor(uint32_t slots) { return (slots + (1u << kBlockShift) - 1) >> kBlockShift; }

// The prefix-count tree answers "which slot holds the n-th record in use"
// without reading any status word from the mapping.
void treeAdd(TableHandle& h, uint32_t slot, int32_t delta) {
  const size_t size = h.inUseTree.size() - 1;
  for (size_t i = static_cast<size_t>(slot) + 1; i <= size; i += i & (~i + 1))
    h.inUseTree[i] += static_cast<uint32_t>(delta);
}

void rebuildTree(TableHandle& h) {
  const size_t size = h.inUseFlags.size();
  h.inUseTree.assign(size + 1, 0);
  for (size_t i = 1; i <= size; ++i) {
    h.inUseTree[i] += h.inUseFlags[i - 1];
    const size_t parent = i + (i & (~i + 1));
    if (parent <= size)
      h.inUseTree[parent] += h.inUseTree[i];
  }
}

}  // namespace

void noteStatusChange(TableHandle& h, uint32_t slot, uint32_t before, uint32_t after) {
  if (isInUse(before) != isInUse(after)) {
    if (isInUse(after)) {
      ++h.inUseCount;
      ++h.inUsePerBlock[slot >> kBlockShift];
    } else {
      --h.inUseCount;
      --h.inUsePerBlock[slot >> kBlockShift];
    }
    h.inUseFlags[slot] = isInUse(after) ? 1 : 0;
    treeAdd(h, slot, isInUse(after) ? 1 : -1);
  }
  if (isOccupied(before) != isOccupied(after)) {
    if (isOccupied(after))
      ++h.occupiedCount;
    else
      --h.occupiedCount;
  }
  if (isAllocatable(after) && slot < h.allocationHint)
    h.allocationHint = slot;
}

void storeStatus(TableHandle& h, uint32_t slot, uint32_t status) {
  uint8_t* p = slotAddress(h, slot);
  const uint32_t before = readWord(p);
  writeWord(p, status);
  noteStatusChange(h, slot, before, status);
}

void storeSlot(TableHandle& h, uint32_t to, const uint8_t* source) {
  uint8_t* p = slotAddress(h, to);
  if (p == source)
    return;
  const uint32_t before = readWord(p);
  std::memmove(p, source, h.slotSize);
  noteStatusChange(h, to, before, readWord(p));
}

void recountAll(TableHandle& h) {
  h.inUsePerBlock.assign(blockCountFor(h.slotCount), 0);
  h.inUseFlags.assign(h.slotCount, 0);
  // Each part counts its own run of whole blocks: the flags and block counts
  // it writes are its alone, and its totals are added up after.
  struct PartCounts {
    uint32_t inUse = 0;
    uint32_t occupied = 0;
    uint32_t firstAllocatable = UINT32_MAX;
  };
  const unsigned parts = partsFor(h.slotCount, machineThreads());
  std::vector<PartCounts> counts(parts);
  walkInParts(0, h.slotCount, parts, 1u << kBlockShift, [&h, &counts](unsigned part, uint32_t begin, uint32_t end) {
    PartCounts& c = counts[part];
    for (uint32_t s = begin; s < end; ++s) {
      const uint32_t status = statusAt(h, s);
      if (isInUse(status)) {
        ++c.inUse;
        ++h.inUsePerBlock[s >> kBlockShift];
        h.inUseFlags[s] = 1;
      }
      if (isOccupied(status))
        ++c.occupied;
      if (isAllocatable(status) && c.firstAllocatable == UINT32_MAX)
        c.firstAllocatable = s;
    }
  });
  h.inUseCount = 0;
  h.occupiedCount = 0;
  h.allocationHint = h.slotCount;
  for (const PartCounts& c : counts) {
    h.inUseCount += c.inUse;
    h.occupiedCount += c.occupied;
    if (h.allocationHint == h.slotCount && c.firstAllocatable != UINT32_MAX)
      h.allocationHint = c.firstAllocatable;
  }
  rebuildTree(h);
}

void resizeBookkeeping(TableHandle& h, uint32_t oldCount) {
  const uint32_t newCount = h.slotCount;
  if (newCount >= oldCount) {
    h.inUsePerBlock.resize(blockCountFor(newCount), 0);
    h.inUseFlags.resize(newCount, 0);
    rebuildTree(h);
    const bool hintAtEnd = h.allocationHint >= oldCount;
    if (hintAtEnd)
      h.allocationHint = newCount;
    for (uint32_t s = oldCount; s < newCount; ++s)
      noteStatusChange(h, s, kNoSlot, statusAt(h, s));
    return;
  }
  // Shrinking: the removed slots' bytes are still readable in the old
  // mapping only, so callers account for them before the cut (see capacity).
  h.inUsePerBlock.resize(blockCountFor(newCount));
  h.inUseFlags.resize(newCount);
  rebuildTree(h);
  if (h.allocationHint > newCount)
    h.allocationHint = newCount;
}

}  // namespace plinka::db::detail
