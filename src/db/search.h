// Searches over a table's slots. Each takes the text to look for from the
// handle's `searchText`; number fields are compared with that text read as a
// decimal number (every character taken as a digit).
//
// Letters: a record's character that differs from the search character is
// compared again after swapping the case of a-z / A-Z; characters of 123 and
// above must be identical. So ASCII letters match without regard to case.
//
// The records are compared where they lie in the mapping: the handle's text
// buffer and value word are left as they were.
#pragma once

#include "db/sort.h"
#include "db/table_handle.h"

#include <cstdint>
#include <vector>

namespace plinka::db {

// The highest occupied slot whose field f equals the search text (or search
// number); -1 if none, f is 0 or above F, or the table is closed or empty.
int32_t findByFieldBackwards(TableHandle& h, uint32_t field);
// The lowest occupied slot at or after `from` whose field f equals the
// search text (or number); -1 likewise.
int32_t findByFieldForwards(TableHandle& h, uint32_t from, uint32_t field);
// The lowest slot after `from` whose status is 10 and which matches the
// search text in any field (recordMatches); -1 if none.
int32_t findNextMatch(TableHandle& h, uint32_t from);
// Every slot after `from` that findNextMatch would give, called again and
// again, in slot order. A large table is shared out among up to `threads`
// threads, which only read it.
std::vector<uint32_t> findAllMatches(TableHandle& h, uint32_t from, unsigned threads);

// Whether one slot's record matches the search text: fields from F down to
// 1; a number field matches when it equals the search number (not 0), a
// text field when the search text occurs in it. Does not look at status.
bool recordMatches(TableHandle& h, uint32_t slot);

}  // namespace plinka::db
