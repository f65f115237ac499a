// Record and field access on an open table.
//
// Every operation refuses (-1, false, or the given slot for the next and
// previous walks) when the table is not open through a mapping. Field
// access, get status and the walks also refuse while no record is in use.
// Slots at or beyond N and fields 0 or above F are refused rather than
// reached outside the file; writes are refused unless the table was opened
// for writing.
#pragma once

#include "core/settings_record.h"
#include "db/table_handle.h"

#include <cstdint>

namespace plinka::db {

// Takes a slot for a new record: applies the capacity rule (which may grow,
// compact or shrink the file, so slot numbers held from before may change),
// then gives the lowest slot with status 0 or 5 status 10. The slot's fields
// are not cleared: a reused slot still holds the deleted record's values.
// The new slot, or -1 (also when the table needed to grow and the disk gave
// no room for it).
int32_t allocate(TableHandle& h);

// Reads field f of a slot into `value` (numbers, zero-extended) or `text`
// (texts: the field's bytes up to its last one, then a terminating zero).
// The field's type code, or -1 with `value` and `text` unchanged.
int32_t readField(TableHandle& h, uint32_t slot, uint32_t field);
// Writes `value` (its low 1, 2 or 4 bytes by type) or `text` (cut to the
// field's width - 1 characters, the last byte zero) into field f of a slot.
// A text write empties the text buffer. The type code, or -1.
int32_t writeField(TableHandle& h, uint32_t slot, uint32_t field);

// Writes a slot's status word. False when refused.
bool setStatus(TableHandle& h, uint32_t slot, uint32_t status);
// A slot's status word, or -1.
int32_t getStatus(const TableHandle& h, uint32_t slot);

// A slot's status word also while no record is in use: a table whose every
// record was deleted must still show its deleted slots to be revived. -1
// when the table is not open through a mapping or the slot lies beyond it.
int32_t slotStatus(const TableHandle& h, uint32_t slot);

// Records in use (status exactly 10) and occupied slots (status above 9).
// Both are kept in step with every status change; 0 when not open.
uint32_t countInUse(TableHandle& h);
uint32_t countOccupied(const TableHandle& h);

// The first slot at or after `from` whose status, taken as a signed 16-bit
// number, equals `status`; -1 if none.
int32_t firstWithStatus(const TableHandle& h, int32_t status, uint32_t from);
// The nearest record in use after `slot`; `slot` itself when there is none.
int32_t nextInUse(const TableHandle& h, uint32_t slot);
// The nearest record in use before `slot`; `slot` itself when there is none
// or `slot` is 0.
int32_t previousInUse(const TableHandle& h, uint32_t slot);
// The highest record in use, or -1.
int32_t lastInUse(const TableHandle& h);
// The n-th record in use (n from 1) counting from slot 0, or -1.
int32_t nthInUse(const TableHandle& h, uint32_t n);

// Calls visit(slot) for every record in use, in slot order.
template <class Visit> void forEachInUse(TableHandle& h, Visit visit) {
  for (int32_t s = firstWithStatus(h, static_cast<int32_t>(kStatusInUse), 0); s >= 0;) {
    visit(static_cast<uint32_t>(s));
    const int32_t next = nextInUse(h, static_cast<uint32_t>(s));
    if (next <= s)
      break;
    s = next;
  }
}

// Copies all R bytes of slot `from` (status included) over slot `to`.
// `to`, or -1 when refused.
int32_t copySlot(TableHandle& h, uint32_t from, uint32_t to);

// The rating 0..10 of a score through the ten "Rating Values": the highest
// r with score >= ratingValue[r - 1], 0 below the first.
uint32_t ratingOfScore(const SettingsRecord& settings, uint32_t score);
// The score that stands for a rating: ratingValue[r - 1] for 1..10, else 0.
uint32_t scoreOfRating(const SettingsRecord& settings, uint32_t rating);

}  // namespace plinka::db
