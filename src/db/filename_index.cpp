#include "db/filename_index.h"

#include "db/slot_parts.h"
#include "db/slot_store.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace plinka::db {

namespace {

// How much of a text field a search compares: the field less its ending
// zero, and no more than a text buffer holds.
constexpr size_t kTextLimit = sizeof(TableHandle::text) - 1;

unsigned char folded(unsigned char c) {
  const unsigned char lower = static_cast<unsigned char>(c | 0x20);
  return lower >= 'a' && lower <= 'z' ? lower : c;
}

// The FileName field's place and compared length; false when the table has
// no text field 1 to look in.
bool fileNameField(const TableHandle& h, FieldLayout& f, size_t& limit) {
  if (!detail::recordsReachable(h) || h.fieldCount == 0 || h.fields.empty() || isNumberType(h.fields[0].type))
    return false;
  f = h.fields[0];
  if (f.width == 0)
    return false;
  limit = std::min<size_t>(f.width - 1, kTextLimit);
  return true;
}

const unsigned char* fieldAt(const TableHandle& h, uint32_t slot, const FieldLayout& f) {
  return h.map.data() + f.offset + static_cast<uint64_t>(slot) * h.slotSize;
}

// FNV-1a over the folded bytes of a text of length n.
uint64_t foldedHash(const unsigned char* p, size_t n) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < n; ++i)
    hash = (hash ^ folded(p[i])) * 1099511628211ull;
  return hash;
}

// The length of the stored text: up to its zero, at most limit.
size_t storedLength(const unsigned char* p, size_t limit) {
  const void* zero = std::memchr(p, 0, limit);
  return zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - p) : limit;
}

// Whole-text equality of the stored text with text (length n), as the
// table's searches judge it.
bool storedEquals(const unsigned char* p, size_t limit, const unsigned char* text, size_t n, LetterCase compare) {
  if (n > limit)
    return false;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == text[i])
      continue;
    if (compare == LetterCase::Exact || folded(p[i]) != folded(text[i]) || p[i] == 0)
      return false;
    // Only letters fold: "a" and "A" match, "@" and "`" do not.
    const unsigned char lower = static_cast<unsigned char>(p[i] | 0x20);
    if (lower < 'a' || lower > 'z')
      return false;
  }
  return n == limit || p[n] == 0;
}

// Whether slot holds text as its FileName and is occupied.
bool slotHolds(const TableHandle& h, const FieldLayout& f, size_t limit, uint32_t slot, const unsigned char* text,
               size_t n, LetterCase compare) {
  return slot < h.slotCount && isOccupied(detail::statusAt(h, slot)) &&
         storedEquals(fieldAt(h, slot, f), limit, text, n, compare);
}

bool searchable(const TableHandle& h) { return h.inUseCount != 0; }

}  // namespace

bool FileNameIndex::build(const TableHandle& h) {
  clear();
  FieldLayout f;
  size_t limit = 0;
  if (!fileNameField(h, f, limit))
    return false;
  // The hashes are worked out in parts side by side (the reading is most
  // of the work), then filed in slot order, so each hash's slots ascend.
  const unsigned parts = detail::partsFor(h.slotCount, detail::machineThreads());
  std::vector<std::vector<std::pair<uint64_t, uint32_t>>> hashed(parts);
  detail::walkInParts(0, h.slotCount, parts, 1, [&](unsigned part, uint32_t begin, uint32_t end) {
    for (uint32_t s = begin; s < end; ++s) {
      if (!isOccupied(detail::statusAt(h, s)))
        continue;
      const unsigned char* p = fieldAt(h, s, f);
      hashed[part].emplace_back(foldedHash(p, storedLength(p, limit)), s);
    }
  });
  slots_.reserve(h.occupiedCount + h.occupiedCount / 4 + 16);
  for (const auto& part : hashed)
    for (const auto& [hash, slot] : part)
      slots_[hash].push_back(slot);
  built_ = true;
  return true;
}

void FileNameIndex::clear() {
  slots_.clear();
  built_ = false;
}

void FileNameIndex::add(const TableHandle& h, uint32_t slot) {
  FieldLayout f;
  size_t limit = 0;
  if (!built_ || slot >= h.slotCount || !fileNameField(h, f, limit))
    return;
  const unsigned char* p = fieldAt(h, slot, f);
  std::vector<uint32_t>& list = slots_[foldedHash(p, storedLength(p, limit))];
  const auto at = std::lower_bound(list.begin(), list.end(), slot);
  if (at == list.end() || *at != slot)
    list.insert(at, slot);
}

int32_t FileNameIndex::find(const TableHandle& h, const char* text, LetterCase compare) const {
  FieldLayout f;
  size_t limit = 0;
  if (!built_ || !searchable(h) || !fileNameField(h, f, limit))
    return -1;
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  const size_t n = std::strlen(text);
  if (n > limit)
    return -1;
  const auto found = slots_.find(foldedHash(t, n));
  if (found == slots_.end())
    return -1;
  for (auto s = found->second.rbegin(); s != found->second.rend(); ++s)
    if (slotHolds(h, f, limit, *s, t, n, compare))
      return static_cast<int32_t>(*s);
  return -1;
}

int32_t FileNameIndex::findPreferExact(const TableHandle& h, const char* text) const {
  const int32_t exact = find(h, text, LetterCase::Exact);
  return exact >= 0 ? exact : find(h, text, LetterCase::Folded);
}

int32_t findFileName(const TableHandle& h, const char* text, LetterCase compare) {
  FieldLayout f;
  size_t limit = 0;
  if (!searchable(h) || !fileNameField(h, f, limit))
    return -1;
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  const size_t n = std::strlen(text);
  for (uint32_t s = h.slotCount; s-- > 0;)
    if (slotHolds(h, f, limit, s, t, n, compare))
      return static_cast<int32_t>(s);
  return -1;
}

int32_t findFileNamePreferExact(const TableHandle& h, const char* text) {
  const int32_t exact = findFileName(h, text, LetterCase::Exact);
  return exact >= 0 ? exact : findFileName(h, text, LetterCase::Folded);
}

}  // namespace plinka::db
