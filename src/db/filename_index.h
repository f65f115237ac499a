// An index of the song table's FileName texts in memory, so that looking a
// path up costs a hash lookup instead of a walk over every slot. It is built
// by one read pass over the table while the table is held open, and is good
// for as long as that same open lasts and every record its holder adds is
// told to it (its holder, such as an import or a list load, is the only one
// changing the table meanwhile: it holds the busy code or a reading open).
// Every hit is checked against the slot itself, so an entry left behind by a
// record changed since can never answer for another song.
#pragma once

#include "db/table_handle.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace plinka::db {

// How FileName texts compare: letter case folded (ASCII letters only, as the
// table's searches fold it) or byte for byte. On a file system that tells
// letter case apart, "Song.mp3" and "song.mp3" are two files.
enum class LetterCase { Folded, Exact };

class FileNameIndex {
public:
  // Indexes every occupied slot's FileName of the open table h: one read
  // pass. False (and an empty index) when h is not open or has no FileName.
  bool build(const TableHandle& h);
  // Forgets everything.
  void clear();
  bool built() const { return built_; }

  // Tells the index that slot now holds the FileName it has in h.
  void add(const TableHandle& h, uint32_t slot);

  // The highest occupied slot whose FileName equals text, compared as
  // asked; -1 when there is none. Folded, this is the slot the table's
  // backwards FileName search gives.
  int32_t find(const TableHandle& h, const char* text, LetterCase compare) const;
  // A folded lookup that prefers a record whose path matches exactly: the
  // highest exact match, else the highest folded one; -1 when none.
  int32_t findPreferExact(const TableHandle& h, const char* text) const;

private:
  std::unordered_map<uint64_t, std::vector<uint32_t>> slots_;  // folded hash -> slots, ascending
  bool built_ = false;
};

// The same lookups without an index: a walk from the last slot down.
int32_t findFileName(const TableHandle& h, const char* text, LetterCase compare);
int32_t findFileNamePreferExact(const TableHandle& h, const char* text);

}  // namespace plinka::db
