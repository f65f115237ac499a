#include "db/sort.h"

#include "db/capacity.h"
#include "db/records.h"
#include "db/slot_store.h"
#include "platform/collate.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace plinka::db {

namespace {

struct Run {
  uint32_t first;
  uint32_t count;
};

// Puts the records of one run in the order `order` gives (order[k] is the
// slot whose record goes to slot run.first + k), following each cycle of
// the permutation with one slot-sized buffer. Every record moves once.
void applyOrder(TableHandle& h, const Run& run, std::vector<uint32_t>& order, std::vector<uint8_t>& work) {
  for (uint32_t k = 0; k < run.count; ++k) {
    if (order[k] == run.first + k)
      continue;
    const uint32_t start = run.first + k;
    std::memcpy(work.data(), detail::slotAddress(h, start), h.slotSize);
    uint32_t hole = k;
    for (;;) {
      const uint32_t source = order[hole];
      order[hole] = run.first + hole;  // placed
      if (source == start) {
        detail::storeSlot(h, run.first + hole, work.data());
        break;
      }
      detail::storeSlot(h, run.first + hole, detail::slotAddress(h, source));
      hole = source - run.first;
    }
  }
}

}  // namespace

bool sortByField(TableHandle& h, uint32_t field) {
  if (!detail::recordsWritable(h) || h.slotCount < 3 || h.inUseCount == 0 || field == 0 || field > h.fieldCount)
    return false;
  compact(h);  // skipped while the table is held: then each run sorts alone

  std::vector<Run> runs;
  std::vector<std::string> keys;
  std::vector<uint32_t> order;
  std::vector<uint8_t> work;
  try {
    for (uint32_t s = 0; s < h.slotCount;) {
      if (!isOccupied(detail::statusAt(h, s))) {
        ++s;
        continue;
      }
      Run run{s, 0};
      while (s < h.slotCount && isOccupied(detail::statusAt(h, s))) {
        ++run.count;
        ++s;
      }
      if (run.count > 1)
        runs.push_back(run);
    }
    // One key per record: the collation key of the field's text, or of the
    // number written as signed decimal text.
    keys.resize(h.slotCount);
    for (const Run& run : runs) {
      for (uint32_t s = run.first; s < run.first + run.count; ++s) {
        const int32_t type = readField(h, s, field);
        if (type >= 0 && isNumberType(static_cast<uint32_t>(type))) {
          char number[12];
          text::fromNumber(static_cast<int32_t>(h.value), number, sizeof number);
          keys[s] = platform::collationKey(number);
        } else {
          keys[s] = platform::collationKey(h.text);
        }
      }
    }
    work.resize(h.slotSize);
    order.reserve(h.slotCount);
  } catch (const std::bad_alloc&) {
    return false;
  }

  const uint32_t noRecount = h.noRecount;
  h.noRecount = 1;
  for (const Run& run : runs) {
    order.resize(run.count);
    for (uint32_t k = 0; k < run.count; ++k)
      order[k] = run.first + k;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    applyOrder(h, run, order, work);
  }
  h.noRecount = noRecount;
  return true;
}

}  // namespace plinka::db
