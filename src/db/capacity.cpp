#include "db/capacity.h"

#include "db/slot_store.h"
#include "db/table_file.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
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

bool syncData(int fd) {
  int rc;
  do {
    rc = fdatasync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// Gives the file `length` more bytes of real, zero-filled blocks at its end.
// A sparse extension would let the disk run full later, while a record is
// written through the mapping, which ends the program; a refused allocation
// here is an ordinary "no slot". On failure the file keeps its old length.
bool extendWithBlocks(int fd, off_t end, off_t length) {
  int rc;
  do {
    rc = posix_fallocate(fd, end, length);
  } while (rc == EINTR);
  if (rc == 0)
    return true;
  (void)ftruncate(fd, end);
  return false;
}

// Zeroes the bytes that lay in the file behind the declared slots (up to
// `oldLength`) and now fall inside slots oldCount..newCount. Creation's slack
// is zero already, but a shrink whose cut failed or a damaged file may leave
// anything there, and a stray record marked in use would turn up as a song.
// On failure the file is cut back to `oldLength`.
bool clearBehindSlots(TableHandle& h, uint32_t oldCount, uint32_t newCount, off_t oldLength) {
  const uint64_t from = h.slotAreaOffset + static_cast<uint64_t>(oldCount) * h.slotSize;
  const uint64_t to = h.slotAreaOffset + static_cast<uint64_t>(newCount) * h.slotSize;
  const uint64_t stray = static_cast<uint64_t>(oldLength);
  if (stray <= from)
    return true;
  if (detail::writeZeros(h.plainFd, from, (stray < to ? stray : to) - from))
    return true;
  (void)ftruncate(h.plainFd, oldLength);
  return false;
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

// The new blocks are on disk before the header counts them: a crash between
// the two steps leaves a table longer than its header says, which opens.
bool grow(TableHandle& h, uint32_t by) {
  const uint32_t oldCount = h.slotCount;
  const uint64_t newCount = static_cast<uint64_t>(oldCount) + by;
  if (newCount > UINT32_MAX)
    return false;
  if (!reopenPlainForWriting(h))
    return false;
  // The zero slots go at the very end of the file, behind any slack slots
  // left by creation; those slack slots become part of the new ones.
  struct stat st {};
  bool grown = fstat(h.plainFd, &st) == 0 &&
               extendWithBlocks(h.plainFd, st.st_size, static_cast<off_t>(by) * static_cast<off_t>(h.slotSize));
  grown = grown && clearBehindSlots(h, oldCount, static_cast<uint32_t>(newCount), st.st_size);
  grown = grown && syncData(h.plainFd) && writeSlotCount(h.plainFd, static_cast<uint32_t>(newCount));
  remapAfterResize(h, oldCount, grown ? static_cast<uint32_t>(newCount) : oldCount, true);
  return grown && h.isOpen();
}

// The records compaction moved are on disk before the smaller count, and
// the smaller count before the file is cut. One sync over both moves and
// count could let the count reach the disk first: a power cut then would
// leave moved records only in the slots the count has just given up. A
// crash between the count and the cut leaves a table longer than its header
// says, which opens, where the other order would leave one shorter than its
// header, which does not.
void shrink(TableHandle& h, uint32_t by) {
  const uint32_t oldCount = h.slotCount;
  const uint32_t newCount = oldCount - by;
  // The moves first; a table whose moves cannot be synced keeps its size.
  if (!h.map.sync())
    return;
  // The removed slots leave the bookkeeping while they can still be read.
  for (uint32_t s = newCount; s < oldCount; ++s)
    detail::noteStatusChange(h, s, detail::statusAt(h, s), detail::kNoSlot);
  if (!reopenPlainForWriting(h))
    return;
  const off_t end = static_cast<off_t>(h.slotAreaOffset) + static_cast<off_t>(newCount) * h.slotSize;
  const bool counted = writeSlotCount(h.plainFd, newCount) && syncData(h.plainFd);
  const bool cut = counted && ftruncate(h.plainFd, end) == 0;
  // A count written but a cut refused still leaves a sound table: the slots
  // behind the count are merely unused.
  remapAfterResize(h, oldCount, counted ? newCount : oldCount, counted || cut);
}

}  // namespace

bool compact(TableHandle& h) {
  if (h.holdCount != 0 || h.lastingHolds.load() != 0 || !detail::recordsWritable(h))
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

CapacityOutcome runCapacityRule(TableHandle& h) {
  if (!h.isOpen())
    return CapacityOutcome::Closed;
  if (!detail::recordsReachable(h) || h.inUseCount == 0 || h.slotCount == 0)
    return CapacityOutcome::Kept;
  const uint64_t slots = h.slotCount;
  const uint64_t occupied = h.occupiedCount;
  const uint64_t percent = occupied * 100 / slots;
  CapacityOutcome outcome = CapacityOutcome::Kept;
  if (percent > 90 || slots - occupied < 10) {
    const uint64_t step = occupied / 16;
    outcome =
        grow(h, static_cast<uint32_t>(step > 10 ? step : 10)) ? CapacityOutcome::Grown : CapacityOutcome::GrowRefused;
  } else if (percent < 70 && slots > 50 && compact(h)) {
    shrink(h, static_cast<uint32_t>(slots > 100 ? 3 * slots / 16 : 10));
    outcome = CapacityOutcome::Shrunk;
  }
  return h.isOpen() ? outcome : CapacityOutcome::Closed;
}

bool applyCapacityRule(TableHandle& h) {
  runCapacityRule(h);
  return h.isOpen();
}

}  // namespace plinka::db
