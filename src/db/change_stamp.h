// A table's change stamp: a small file beside the table ("<table>.stamp")
// holding a random 64-bit value that every process which has written the
// table replaces before it lets the table go. A reader that kept something
// derived from the table (an index, a pulled copy) compares the stamp it saw
// then with the one there now: equal stamps mean nobody has written since.
// Size and modification time cannot tell this: an edit in place never
// changes the size, and shares keep coarse times.
#pragma once

#include <cstdint>
#include <string>

namespace plinka::db {

// The stamp file's path for a table path.
std::string changeStampPath(const std::string& tablePath);

// The table's stamp now; 0 when there is none (a table no writer has
// stamped yet, or one written by a program that keeps no stamp: callers
// treat 0 as "unknown", never as "unchanged").
uint64_t readChangeStamp(const std::string& tablePath);

// Gives the table a new stamp (never 0), written under a temporary name and
// renamed. Returns the new stamp, or 0 when it could not be written (the
// next reader then sees an old or no stamp and must not trust it: a failed
// write removes the old stamp file first).
uint64_t renewChangeStamp(const std::string& tablePath);

}  // namespace plinka::db
