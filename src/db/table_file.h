// Opening, closing and creating table files.
//
// A table file is a 1444-byte header ("DATA1000", F at 1356, N at 1360), a
// field table of F 8-byte entries (type code, offset of the field in slot 0)
// and N slots of R bytes. It is opened either through a mapping of the whole
// file (every record operation) or as a plain file (creating, growing and
// shrinking). A file that is not a sound table (wrong tag or version, shorter
// than its header promises, field table out of step with the layout, absurd
// field count) is refused and the handle stays closed.
#pragma once

#include "db/table_handle.h"

#include <cstddef>
#include <cstdint>

namespace plinka::db {

// Opens `path` through a mapping, read-write when `writable` is set, and
// counts the records. The hold count is reset. False (handle closed) when
// the file is missing, unreadable or not a sound table.
bool openMapped(TableHandle& h);
// Opens `path` as a plain file after the same header checks, without the
// length check and without counting. Records cannot be reached in this mode.
bool openPlain(TableHandle& h);
// Releases whatever is open and clears `writable`; nothing when closed.
// A table open for writing is synced first: false when the disk refused.
bool closeTable(TableHandle& h);
// Opens mapped and then applies the capacity rule; the result of the open.
bool openWithCapacityCheck(TableHandle& h);

// The steps of making a new table, for tables other than the two below.
// createTable: with `path` and `fieldCount` set, makes the file (replacing
// any file there) with its header and 5000 zero bytes, and leaves it open
// plain for writing. setFieldType writes entry f (1..F). layOutFields
// writes every entry's offset and 15 zero slots behind the field table.
bool createTable(TableHandle& h);
bool setFieldType(TableHandle& h, uint32_t field, uint32_t type);
bool layOutFields(TableHandle& h);
// Writes the header word at offset 608 of a table open mapped for writing.
bool setHeaderWord(TableHandle& h, uint32_t value);

// Makes a table with the given field types, finishes it (header word 1,
// slot 0 taken for an empty record) and leaves it open mapped for writing
// in `h`. The table is made under a temporary name beside `path`, synced and
// renamed into place, so `path` only ever names a complete table. False,
// with nothing left behind and any table at `path` untouched, when any step
// fails.
bool createTableFile(TableHandle& h, const char* path, const uint32_t* types, uint32_t fieldCount);

// A new, empty song table (44 fields, one empty record in use); closed again.
bool createSongTable(const char* path);
// A new buffer index table (5 fields) holding `bufferSize` empty records
// (at least the one every new table has); closed again.
bool createBufferIndexTable(const char* path, uint32_t bufferSize);

namespace detail {
// Writes `n` zero bytes at `offset` of an open file; false when a write fails.
bool writeZeros(int fd, uint64_t offset, uint64_t n);
// Writes `n` bytes at `offset` of an open file; false when a write fails.
bool writeBytes(int fd, const void* bytes, size_t n, uint64_t offset);
}  // namespace detail

}  // namespace plinka::db
