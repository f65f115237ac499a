// Sorting a table by one field.
#pragma once

#include "db/table_handle.h"

#include <cstdint>
#include <functional>

namespace plinka::db {

// Asked every so often while a sort works, and once more just before the
// sorted table takes the old one's place: false abandons the sort, leaving
// the table as it was.
using SortProgress = std::function<bool()>;

// Slots a sort handles between two calls of its progress hook.
constexpr uint32_t kSortProgressEvery = 256;

// Orders the occupied records by field f: texts, or numbers written as
// signed decimal text, compared by the user's collation (case significant).
// Records with equal keys keep their order; whole slots move, statuses
// included. The table is compacted first; while it is held, each run of
// neighbouring occupied slots is sorted on its own.
//
// The old file is never changed: the sorted records are written to a new
// file beside it, which is synced and renamed over it while this handle
// holds the table's write lock, and the handle is mapped afresh. A crash at
// any moment leaves either the old table or the sorted one, each record in
// it once. The new file ends with the last declared slot.
//
// False (the table as it was) when the table is closed or read-only, has
// fewer than 3 slots or no record in use, f is 0 or above F, the work memory
// or the new file cannot be had, or `progress` says to stop.
bool sortByField(TableHandle& h, uint32_t field, const SortProgress& progress = {});

}  // namespace plinka::db
