// The capacity rule: a table's slot array grows, is compacted and shrinks so
// that between 70 % and 90 % of its slots stay occupied.
#pragma once

#include "db/table_handle.h"

namespace plinka::db {

// With O occupied of N slots and P = 100 O / N: grows by max(O / 16, 10)
// slots when P > 90 or fewer than 10 slots are free; otherwise, when P < 70,
// N > 50 and the hold count is 0, compacts and shrinks by 3N / 16 slots
// (10 when N <= 100). Does nothing while no record is in use. A grow or
// shrink leaves the table open mapped for writing (the hold count is kept).
// True when the table is open afterwards.
bool applyCapacityRule(TableHandle& h);

// What one run of the capacity rule did.
enum class CapacityOutcome {
  Kept,         // nothing to do (or nothing possible)
  Grown,        // the slot array grew
  GrowRefused,  // it had to grow but could not (the disk is full, say)
  Shrunk,       // compacted, and shrunk unless the cut failed
  Closed,       // the table is not open (any more)
};

// The capacity rule as above, telling what it did. A grow gets real blocks
// on disk or does not happen at all.
CapacityOutcome runCapacityRule(TableHandle& h);

// Moves the occupied records towards slot 0, keeping their order, so that
// every free slot lies behind them. Each moved record's old slot becomes
// free (status 5) and keeps its bytes. Skipped (false) while the hold count
// (or a lasting hold) is not 0 or the table is not open mapped for
// writing; true when done.
bool compact(TableHandle& h);

// A lasting hold on a table's slot numbers for a scope: no compaction moves
// a record meanwhile, however often the table is opened and closed.
class SlotHold {
public:
  explicit SlotHold(TableHandle& h) : h_(h) { h_.lastingHolds.fetch_add(1); }
  ~SlotHold() { h_.lastingHolds.fetch_sub(1); }
  SlotHold(const SlotHold&) = delete;
  SlotHold& operator=(const SlotHold&) = delete;

private:
  TableHandle& h_;
};

}  // namespace plinka::db
