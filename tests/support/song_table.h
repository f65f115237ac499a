// Song tables for tests: made by the engine itself, one song per slot, with
// whatever fields a test writes into each record.
#pragma once

#include "db/table.h"

#include <cstdint>
#include <functional>
#include <string>

namespace plinka::test {

// Writes a text or number field of record `slot` of an open table through
// its text buffer or value word (a failed write fails the test).
void putText(db::TableHandle& h, uint32_t slot, uint32_t field, const std::string& value);
void putNumber(db::TableHandle& h, uint32_t slot, uint32_t field, uint32_t value);

// Creates a song table at `path` through `h` with `count` records in use,
// record k in slot k, and calls fill(h, k) for each while the table is open;
// closes it again. With count 0 the table holds no song at all.
// A number field of a record of the table file at `path`, read through a
// mapping of its own; all bits set when it cannot be read.
uint32_t storedNumber(const std::string& path, uint32_t slot, uint32_t field);

void makeSongTable(db::TableHandle& h, const std::string& path, uint32_t count,
                   const std::function<void(db::TableHandle&, uint32_t)>& fill);

}  // namespace plinka::test
