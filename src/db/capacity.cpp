#include "db/capacity.h"

#include "db/slot_store.h"
#include "db/table_file.h"

#include <cstdint>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace plinka::db {

namespace {

// Reopens a mapped table as a plain file for writing. When that fails the
// table is mapped again as it was. The hold count and the counts are kept.
bool reopenPlainForWriting(TableHandle& h) {
  const uint32_t holdCount = h.holdCount;
  const uint32_t writable = h.writable;
  const uint32_t inUse = h.inUseCount, occupied = h.occupiedCount, hint = h.allocationHint;
  auto blocks = std::move(h.inUsePerBlock);
  auto flags = std::move(h.inUseFlags);
  auto tree = std::move(h.inUseTree);
  h.writable = 1;
  const bool plain = openPlain(h);
  if (!plain) {
    h.writable = writable;
    openMapped(h);  // counts afresh
    h.holdCount = holdCount;
    return false;
  }
  h.holdCount = holdCount;
  h.inUseCount = inUse;
  h.occupiedCount = occupied;
  h.allocationHint = hint;
  h.inUsePerBlock = std::move(blocks);
  h.inUseFlags = std::move(flags);
  h.inUseTree = std::move(tree);
  return true;
}

bool writeSlotCount(int fd, uint32_t n) {
  uint8_t word[4];
  detail::writeWord(word, n);
  return pwrite(fd, word, sizeof word, kSlotCountOffset) == static_cast<ssize_t>(sizeof word);
}

// Closes the plain file and maps the table for writing again. The counts
// carried over stay valid when the resize went through as expected;
// otherwise (it failed half-way, or the file changed under us) every slot is
// counted afresh.
void remapAfterResize(TableHandle& h, uint32_t oldCount, uint32_t expectedCount, bool carry) {
  h.writable = 1;
  if (!detail::mapKeepingCounts(h))
    return;
  if (!carry || h.slotCount != expectedCount) {
    detail::recountAll(h);
    return;
  }
  detail::resizeBookkeeping(h, oldCount);
}

void grow(TableHandle& h, uint32_t by) {
  const uint32_t oldCount = h.slotCount;
  const uint64_t newCount = static_cast<uint64_t>(oldCount) + by;
  if (newCount > UINT32_MAX)
    return;
  if (!reopenPlainForWriting(h))
    return;
  // The zero slots go at the very end of the file, behind any slack slots
  // left by creation; those slack slots become part of the new ones.
  struct stat st {};
  bool grown = fstat(h.plainFd, &st) == 0 &&
               ftruncate(h.plainFd, st.st_size + static_cast<off_t>(by) * static_cast<off_t>(h.slotSize)) == 0;
  grown = grown && writeSlotCount(h.plainFd, static_cast<uint32_t>(newCount));
  remapAfterResize(h, oldCount, grown ? static_cast<uint32_t>(newCount) : oldCount, true);
}

void shrink(TableHandle& h, uint32_t by) {
  const uint32_t oldCount = h.slotCount;
  const uint32_t newCount = oldCount - by;
  // The removed slots leave the bookkeeping while they can still be read.
  for (uint32_t s = newCount; s < oldCount; ++s)
    detail::noteStatusChange(h, s, detail::statusAt(h, s), detail::kNoSlot);
  if (!reopenPlainForWriting(h))
    return;
  const off_t end = static_cast<off_t>(h.slotAreaOffset) + static_cast<off_t>(newCount) * h.slotSize;
  const bool cut = ftruncate(h.plainFd, end) == 0 && writeSlotCount(h.plainFd, newCount);
  remapAfterResize(h, oldCount, newCount, cut);
}

}  // namespace

bool compact(TableHandle& h) {
  if (h.holdCount != 0 || !detail::recordsWritable(h))
    return false;
  const uint32_t noRecount = h.noRecount;
  h.noRecount = 1;
  uint32_t to = 0;
  for (uint32_t s = 0; s < h.slotCount; ++s) {
    if (!isOccupied(detail::statusAt(h, s)))
      continue;
    if (to != s) {
      detail::storeSlot(h, to, detail::slotAddress(h, s));
      detail::storeStatus(h, s, kStatusFree);
    }
    ++to;
  }
  h.noRecount = noRecount;
  return true;
}

bool applyCapacityRule(TableHandle& h) {
  if (!h.isOpen())
    return false;
  if (!detail::recordsReachable(h) || h.inUseCount == 0 || h.slotCount == 0)
    return true;
  const uint64_t slots = h.slotCount;
  const uint64_t occupied = h.occupiedCount;
  const uint64_t percent = occupied * 100 / slots;
  if (percent > 90 || slots - occupied < 10) {
    const uint64_t step = occupied / 16;
    grow(h, static_cast<uint32_t>(step > 10 ? step : 10));
  } else if (percent < 70 && slots > 50 && h.holdCount == 0 && compact(h)) {
    shrink(h, static_cast<uint32_t>(slots > 100 ? 3 * slots / 16 : 10));
  }
  return h.isOpen();
}

}  // namespace plinka::db
