// Small helpers for the table tests: tables of a chosen shape made by the
// engine itself, and independent looks at a table's bytes to check the
// engine's bookkeeping against.
#pragma once

#include "db/table.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plinka::db::testing {

// Makes a table with the given field types at `path` (slot 0 in use, as
// every new table), then sets its slot count to `slotCount` with the file
// exactly as long as that needs. Leaves `h` open mapped for writing.
void makeTable(TableHandle& h, const std::string& path, const std::vector<uint32_t>& types, uint32_t slotCount);

// Opens the table at `path` mapped, for writing when `writable` is 1.
bool openAt(TableHandle& h, const std::string& path, uint32_t writable);

// A slot's status word straight from the mapping.
uint32_t rawStatus(const TableHandle& h, uint32_t slot);

struct Tally {
  uint32_t inUse = 0;
  uint32_t occupied = 0;
};
// Counts the statuses of every slot straight from the mapping.
Tally tally(const TableHandle& h);

std::string readText(TableHandle& h, uint32_t slot, uint32_t field);
uint32_t readNumber(TableHandle& h, uint32_t slot, uint32_t field);
void writeText(TableHandle& h, uint32_t slot, uint32_t field, const std::string& text);
void writeNumber(TableHandle& h, uint32_t slot, uint32_t field, uint32_t value);

// Reads and writes a little-endian word of a file.
uint32_t fileWord(const std::string& bytes, size_t offset);
void putWord(std::string& bytes, size_t offset, uint32_t value);

}  // namespace plinka::db::testing
