// Sorting a table in place by one field.
#pragma once

#include "db/table_handle.h"

#include <cstdint>

namespace plinka::db {

// Orders the occupied records by field f: texts, or numbers written as
// signed decimal text, compared by the user's collation (case significant).
// Records with equal keys keep their order; whole slots move, statuses
// included. The table is compacted first; while it is held, each run of
// neighbouring occupied slots is sorted on its own. False (nothing moved)
// when the table is closed or read-only, has fewer than 3 slots or no record
// in use, f is 0 or above F, or the work memory cannot be had.
bool sortByField(TableHandle& h, uint32_t field);

}  // namespace plinka::db
