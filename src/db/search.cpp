#include "db/search.h"

#include "db/records.h"
#include "db/slot_store.h"
#include "text/text.h"

namespace plinka::db {

namespace {

constexpr int kNeverMatches = -1;

// A record's character after the letter folding: a-z and A-Z swap case,
// other characters below 123 stay, and 123 and above match nothing.
int folded(unsigned char c) {
  if (c >= 'a' && c <= 'z')
    return c - ('a' - 'A');
  if (c >= 'A' && c <= 'Z')
    return c + ('a' - 'A');
  return c < 123 ? c : kNeverMatches;
}

bool characterMatches(unsigned char record, unsigned char search) {
  return record == search || folded(record) == search;
}

// Both texts are terminated inside their buffers (the record text by
// readField, the search text by searchReady).
bool wholeTextEqual(const char* record, const char* search) {
  for (size_t i = 0;; ++i) {
    const auto r = static_cast<unsigned char>(record[i]);
    const auto s = static_cast<unsigned char>(search[i]);
    if (!characterMatches(r, s))
      return false;
    if (r == 0)
      return true;  // both ended together
  }
}

// Whether the search text occurs in the record's text. After a mismatch the
// record position moves on by one and the search starts over, so the record
// character that broke a partial match is not tried against the first search
// character again ("ab" is not found in "aab").
bool occurs(const char* record, const char* search) {
  size_t t = 0, p = 0;
  for (;;) {
    const auto s = static_cast<unsigned char>(search[p]);
    if (s == 0)
      return true;
    const auto r = static_cast<unsigned char>(record[t]);
    if (r == s) {
      ++t;
      ++p;
      continue;
    }
    const int f = folded(r);
    if (f == 0)
      return false;
    if (f == s) {
      ++p;
    } else {
      p = 0;
    }
    ++t;
  }
}

bool searchReady(TableHandle& h, uint32_t field) {
  h.searchText[sizeof h.searchText - 1] = 0;
  return detail::recordsReachable(h) && h.inUseCount != 0 && field != 0 && field <= h.fieldCount;
}

bool fieldEquals(TableHandle& h, uint32_t slot, uint32_t field, uint32_t number) {
  const int32_t type = readField(h, slot, field);
  if (type < 0)
    return false;
  if (isNumberType(static_cast<uint32_t>(type)))
    return h.value == number;
  return wholeTextEqual(h.text, h.searchText);
}

}  // namespace

int32_t findByFieldBackwards(TableHandle& h, uint32_t field) {
  if (!searchReady(h, field))
    return -1;
  const uint32_t number = text::toNumber(h.searchText);
  for (uint32_t s = h.slotCount; s-- > 0;)
    if (isOccupied(detail::statusAt(h, s)) && fieldEquals(h, s, field, number))
      return static_cast<int32_t>(s);
  return -1;
}

int32_t findByFieldForwards(TableHandle& h, uint32_t from, uint32_t field) {
  if (!searchReady(h, field))
    return -1;
  const uint32_t number = text::toNumber(h.searchText);
  for (uint32_t s = from; s < h.slotCount; ++s)
    if (isOccupied(detail::statusAt(h, s)) && fieldEquals(h, s, field, number))
      return static_cast<int32_t>(s);
  return -1;
}

bool recordMatches(TableHandle& h, uint32_t slot) {
  if (!searchReady(h, 1))
    return false;
  const uint32_t number = text::toNumber(h.searchText);
  for (uint32_t f = h.fieldCount; f >= 1; --f) {
    const int32_t type = readField(h, slot, f);
    if (type < 0)
      return false;
    if (isNumberType(static_cast<uint32_t>(type))) {
      if (number != 0 && h.value == number)
        return true;
    } else if (occurs(h.text, h.searchText)) {
      return true;
    }
  }
  return false;
}

int32_t findNextMatch(TableHandle& h, uint32_t from) {
  if (!searchReady(h, 1))
    return -1;
  const uint32_t start = from >= h.slotCount ? from : from + 1;
  for (uint32_t s = start; s < h.slotCount; ++s)
    if (isInUse(detail::statusAt(h, s)) && recordMatches(h, s))
      return static_cast<int32_t>(s);
  return -1;
}

}  // namespace plinka::db
