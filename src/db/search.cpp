#include "db/search.h"

#include "db/slot_parts.h"
#include "db/slot_store.h"
#include "text/text.h"

#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plinka::db {

namespace {

// Every comparison reads the record straight from the mapping: a text field
// is the run of bytes before its first zero, at most its width - 1 bytes and
// never more than the handle's text buffer would hold, so the results are
// those of reading each field through the buffers.
constexpr size_t kTextLimit = sizeof(TableHandle::text) - 1;
// Find next match is limited by memory, not by its comparisons: it asks for
// the parts of the slot this many slots ahead while it compares the current
// one.
constexpr uint32_t kReadAhead = 4;

// Whether a record's character matches a search character: identical, or
// equal once a-z / A-Z have swapped case. Characters of 123 and above fold
// to nothing, and the other characters below 123 stay as they are, so only
// an ASCII letter has a second spelling.
bool characterMatches(unsigned char record, unsigned char search) {
  if (record == search)
    return true;
  const unsigned char lower = static_cast<unsigned char>(record | 0x20);
  return lower >= 'a' && lower <= 'z' && (record ^ 0x20) == search;
}

// The search text, prepared once per search.
struct SearchKey {
  const unsigned char* text = nullptr;
  size_t length = 0;
  uint32_t number = 0;  // the text read as a number; 0: no number field can match
  // A record character c can begin a match when (c | firstFold) == first:
  // for a letter the fold ignores case, for anything else it is exact.
  unsigned char first = 0;
  unsigned char firstFold = 0;
};

SearchKey keyOf(const TableHandle& h) {
  SearchKey k;
  k.text = reinterpret_cast<const unsigned char*>(h.searchText);
  k.length = std::strlen(h.searchText);
  k.number = text::toNumber(h.searchText);
  if (k.length != 0) {
    const unsigned char c = k.text[0];
    const unsigned char lower = static_cast<unsigned char>(c | 0x20);
    const bool letter = lower >= 'a' && lower <= 'z';
    k.firstFold = letter ? 0x20 : 0;
    k.first = letter ? lower : c;
  }
  return k;
}

const uint8_t* fieldAt(const TableHandle& h, uint32_t slot, const FieldLayout& f) {
  return h.map.data() + f.offset + static_cast<uint64_t>(slot) * h.slotSize;
}

size_t textLimit(const FieldLayout& f) { return f.width - 1 < kTextLimit ? f.width - 1 : kTextLimit; }

uint32_t numberAt(const uint8_t* p, uint32_t type) {
  if (type == 0)
    return p[0];
  if (type == 1)
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
  return detail::readWord(p);
}

// The first position at or after t, below limit, that holds the text's
// terminating zero or a character that matches the first search character;
// limit when there is none. Sixteen bytes at a time while they all lie
// below limit, which keeps every read inside the field.
size_t nextCandidate(const uint8_t* p, size_t t, size_t limit, const SearchKey& k) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i fold = _mm_set1_epi8(static_cast<char>(k.firstFold));
  const __m128i first = _mm_set1_epi8(static_cast<char>(k.first));
  for (; t + 16 <= limit; t += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + t));
    const __m128i stop = _mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(_mm_or_si128(v, fold), first));
    if (const int mask = _mm_movemask_epi8(stop); mask != 0)
      return t + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
#endif
  for (; t < limit; ++t)
    if (p[t] == 0 || (p[t] | k.firstFold) == k.first)
      return t;
  return limit;
}

// Whole-text equality: the record's text is as long as the search text and
// matches it character by character.
bool textEquals(const uint8_t* p, size_t limit, const SearchKey& k) {
  if (k.length > limit)
    return false;
  for (size_t i = 0; i < k.length; ++i)
    if (!characterMatches(p[i], k.text[i]))
      return false;  // also where the record's text ends early (a zero)
  return k.length == limit || p[k.length] == 0;
}

// Whether the search text occurs in the record's text. A partial match that
// breaks moves the record position on past the breaking character and starts
// the search text over, so that character is not tried against the first
// search character again ("ab" is not found in "aab"). Positions that cannot
// begin a match are passed over by looking for the first search character
// alone.
bool textOccurs(const uint8_t* p, size_t limit, const SearchKey& k) {
  if (k.length == 0)
    return true;
  size_t t = 0;
  for (;;) {
    // The next place the first search character matches, or the text's end.
    t = nextCandidate(p, t, limit, k);
    if (t >= limit || p[t] == 0)
      return false;
    ++t;
    size_t i = 1;
    for (; i < k.length; ++i, ++t) {
      if (t >= limit || p[t] == 0)
        return false;  // the record's text ended inside a partial match
      if (!characterMatches(p[t], k.text[i]))
        break;
    }
    if (i == k.length)
      return true;
    ++t;  // past the character that broke the partial match
  }
}

bool fieldEquals(const TableHandle& h, uint32_t slot, const FieldLayout& f, const SearchKey& k) {
  const uint8_t* p = fieldAt(h, slot, f);
  if (isNumberType(f.type))
    return numberAt(p, f.type) == k.number;
  return textEquals(p, textLimit(f), k);
}

// Whether any field matches: a number field equal to the search number
// (when there is one), a text field holding the search text. Which field
// matches first does not change the answer, so the fields are taken in the
// order they lie in the slot, which lets the processor read ahead.
bool recordMatchesKey(const TableHandle& h, uint32_t slot, const SearchKey& k) {
  const uint8_t* base = h.map.data() + static_cast<uint64_t>(slot) * h.slotSize;
  for (size_t f = 0; f < h.fieldCount; ++f) {
    const FieldLayout& field = h.fields[f];
    const uint8_t* p = base + field.offset;
    if (isNumberType(field.type)) {
      if (k.number != 0 && numberAt(p, field.type) == k.number)
        return true;
    } else if (textOccurs(p, textLimit(field), k)) {
      return true;
    }
  }
  return false;
}

// The parts of a slot that find next match looks at, worked out once per
// search: each text field, and the number fields grouped into runs of
// adjacent 4-byte words, left out altogether when there is no search number.
// A table with more parts than fit is searched field by field instead.
struct RecordPlan {
  enum Kind : uint8_t { Text, Words, Number };
  struct Part {
    uint32_t offset;  // from the start of the slot's record area (slot 0 address)
    uint32_t size;    // Text: the text limit; Words: the number of words
    uint32_t type;    // Number: the field's type code
    Kind kind;
  };
  static constexpr size_t kMaxParts = 64;
  Part parts[kMaxParts];
  size_t count = 0;
  bool complete = true;
};

void makePlan(const TableHandle& h, const SearchKey& k, RecordPlan& plan) {
  for (size_t f = 0; f < h.fieldCount; ++f) {
    const FieldLayout& field = h.fields[f];
    if (isNumberType(field.type) && k.number == 0)
      continue;
    if (field.type == kTypeNumber && plan.count != 0) {
      RecordPlan::Part& last = plan.parts[plan.count - 1];
      if (last.kind == RecordPlan::Words && last.offset + 4 * last.size == field.offset) {
        ++last.size;
        continue;
      }
    }
    if (plan.count == RecordPlan::kMaxParts) {
      plan.complete = false;
      return;
    }
    RecordPlan::Part& part = plan.parts[plan.count++];
    part.offset = field.offset;
    part.type = field.type;
    if (!isNumberType(field.type)) {
      part.kind = RecordPlan::Text;
      part.size = static_cast<uint32_t>(textLimit(field));
    } else {
      part.kind = field.type == kTypeNumber ? RecordPlan::Words : RecordPlan::Number;
      part.size = 1;
    }
  }
}

bool wordsHold(const uint8_t* p, uint32_t count, uint32_t number) {
  bool found = false;
  for (uint32_t i = 0; i < count; ++i)
    found |= detail::readWord(p + 4 * i) == number;
  return found;
}

bool recordMatchesPlan(const TableHandle& h, uint32_t slot, const SearchKey& k, const RecordPlan& plan) {
  const uint8_t* base = h.map.data() + static_cast<uint64_t>(slot) * h.slotSize;
  for (size_t i = 0; i < plan.count; ++i) {
    const RecordPlan::Part& part = plan.parts[i];
    const uint8_t* p = base + part.offset;
    switch (part.kind) {
    case RecordPlan::Text:
      if (textOccurs(p, part.size, k))
        return true;
      break;
    case RecordPlan::Words:
      if (wordsHold(p, part.size, k.number))
        return true;
      break;
    case RecordPlan::Number:
      if (numberAt(p, part.type) == k.number)
        return true;
      break;
    }
  }
  return false;
}

bool searchReady(TableHandle& h, uint32_t field) {
  h.searchText[sizeof h.searchText - 1] = 0;
  return detail::recordsReachable(h) && h.inUseCount != 0 && field != 0 && field <= h.fieldCount &&
         h.fields.size() >= h.fieldCount;
}

}  // namespace

int32_t findByFieldBackwards(TableHandle& h, uint32_t field) {
  if (!searchReady(h, field))
    return -1;
  const SearchKey k = keyOf(h);
  const FieldLayout& f = h.fields[field - 1];
  for (uint32_t s = h.slotCount; s-- > 0;)
    if (isOccupied(detail::statusAt(h, s)) && fieldEquals(h, s, f, k))
      return static_cast<int32_t>(s);
  return -1;
}

int32_t findByFieldForwards(TableHandle& h, uint32_t from, uint32_t field) {
  if (!searchReady(h, field))
    return -1;
  const SearchKey k = keyOf(h);
  const FieldLayout& f = h.fields[field - 1];
  for (uint32_t s = from; s < h.slotCount; ++s)
    if (isOccupied(detail::statusAt(h, s)) && fieldEquals(h, s, f, k))
      return static_cast<int32_t>(s);
  return -1;
}

bool recordMatches(TableHandle& h, uint32_t slot) {
  if (!searchReady(h, 1) || slot >= h.slotCount)
    return false;
  return recordMatchesKey(h, slot, keyOf(h));
}

namespace {

// Walks slots [begin, end) in order and hands each one in use whose record
// matches to onMatch, until it returns false.
template <class OnMatch>
void scanSlots(const TableHandle& h, const SearchKey& k, const RecordPlan& plan, uint32_t begin, uint32_t end,
               OnMatch onMatch) {
  for (uint32_t s = begin; s < end; ++s) {
    if (s + kReadAhead < h.slotCount) {
      const uint8_t* ahead = h.map.data() + static_cast<uint64_t>(s + kReadAhead) * h.slotSize;
      __builtin_prefetch(ahead + h.slotAreaOffset);  // the status word
      for (size_t i = 0; i < plan.count; ++i) {
        const RecordPlan::Part& part = plan.parts[i];
        const uint8_t* p = ahead + part.offset;
        __builtin_prefetch(p);
        // Runs of words, and the second line of long texts (paths).
        const uint32_t reach = part.kind == RecordPlan::Words ? 4 * part.size : part.size < 128 ? 0 : 128;
        for (uint32_t at = 64; at < reach; at += 64)
          __builtin_prefetch(p + at);
      }
    }
    if (isInUse(detail::statusAt(h, s)) &&
        (plan.complete ? recordMatchesPlan(h, s, k, plan) : recordMatchesKey(h, s, k)) && !onMatch(s))
      return;
  }
}

}  // namespace

int32_t findNextMatch(TableHandle& h, uint32_t from) {
  if (!searchReady(h, 1))
    return -1;
  const SearchKey k = keyOf(h);
  RecordPlan plan;
  makePlan(h, k, plan);
  const uint32_t start = from >= h.slotCount ? from : from + 1;
  int32_t found = -1;
  scanSlots(h, k, plan, start, h.slotCount, [&found](uint32_t s) {
    found = static_cast<int32_t>(s);
    return false;
  });
  return found;
}

std::vector<uint32_t> findAllMatches(TableHandle& h, uint32_t from, unsigned threads) {
  std::vector<uint32_t> matches;
  if (!searchReady(h, 1))
    return matches;
  const SearchKey k = keyOf(h);
  RecordPlan plan;
  makePlan(h, k, plan);
  const uint32_t start = from >= h.slotCount ? h.slotCount : from + 1;
  const unsigned parts = detail::partsFor(h.slotCount - start, threads);
  // Each part collects its own matches; joined in part order they are in
  // slot order, as repeated find next match would give them.
  std::vector<std::vector<uint32_t>> found(parts);
  detail::walkInParts(start, h.slotCount, parts, 1, [&](unsigned part, uint32_t begin, uint32_t end) {
    scanSlots(h, k, plan, begin, end, [&found, part](uint32_t s) {
      found[part].push_back(s);
      return true;
    });
  });
  for (const std::vector<uint32_t>& part : found)
    matches.insert(matches.end(), part.begin(), part.end());
  return matches;
}

}  // namespace plinka::db
