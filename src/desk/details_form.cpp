#include "desk/details_form.h"

#include "db/records.h"
#include "platform/files.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace plinka {

namespace {

uint32_t readNumber(db::TableHandle& table, uint32_t slot, uint32_t field) {
  return db::readField(table, slot, field) >= 0 ? table.value : 0;
}

std::string readText(db::TableHandle& table, uint32_t slot, uint32_t field) {
  if (db::readField(table, slot, field) < 0)
    return std::string();
  return text::fixedText(table.text);
}

bool writeNumber(db::TableHandle& table, uint32_t slot, uint32_t field, uint32_t value) {
  table.value = value;
  return db::writeField(table, slot, field) >= 0;
}

// A text cut to what the field holds (its width less the terminator), never
// inside a UTF-8 character.
bool writeText(db::TableHandle& table, uint32_t slot, uint32_t field, const std::string& value) {
  size_t cap = sizeof table.text - 1;
  if (field >= 1 && field <= table.fields.size() && table.fields[field - 1].width > 0)
    cap = std::min<size_t>(cap, table.fields[field - 1].width - 1);
  const size_t kept = text::utf8Fit(value.data(), value.size(), cap);
  std::memcpy(table.text, value.data(), kept);
  table.text[kept] = '\0';
  return db::writeField(table, slot, field) >= 0;
}

}  // namespace

DetailsForm readDetailsForm(db::TableHandle& table, const SettingsRecord& settings, uint32_t slot) {
  DetailsForm form;
  form.fileName = readText(table, slot, db::FileName);
  const int64_t size = form.fileName.empty() ? -1 : platform::fileSize(form.fileName);
  form.fileSize = size > 0 ? static_cast<uint64_t>(size) : 0;
  form.name = readText(table, slot, db::Name);
  form.artist = readText(table, slot, db::Artist);
  form.album = readText(table, slot, db::Album);
  form.comment = readText(table, slot, db::Comment);
  const uint32_t flags = readNumber(table, slot, db::Flags);
  form.oScale = flags & kOScaleMask;
  form.lockName = (flags & kLockNameFlag) != 0;
  form.startPoint = readNumber(table, slot, db::StartPoint);
  form.startSet = form.startPoint != 0;
  form.endPoint = readNumber(table, slot, db::EndPoint);
  form.endSet = form.endPoint != 0;
  form.playCount = readNumber(table, slot, db::PlayCount);
  form.id = readNumber(table, slot, db::ID);
  form.loudness = readNumber(table, slot, db::Loudness);
  for (uint32_t u = 0; u < kUserCount; ++u)
    form.rating[u] = db::ratingOfScore(settings, readNumber(table, slot, db::scoreField(u)));
  return form;
}

bool writeDetailsForm(db::TableHandle& table, const SettingsRecord& settings, uint32_t slot, const DetailsForm& form) {
  bool ok = writeText(table, slot, db::FileName, form.fileName);
  ok = writeText(table, slot, db::Name, form.name) && ok;
  ok = writeText(table, slot, db::Artist, form.artist) && ok;
  ok = writeText(table, slot, db::Album, form.album) && ok;
  ok = writeText(table, slot, db::Comment, form.comment) && ok;
  const uint32_t oldFlags = readNumber(table, slot, db::Flags);
  const uint32_t flags =
      (oldFlags & ~(kOScaleMask | kLockNameFlag)) + (form.oScale & kOScaleMask) + (form.lockName ? kLockNameFlag : 0);
  ok = writeNumber(table, slot, db::Flags, flags) && ok;
  ok = writeNumber(table, slot, db::StartPoint, form.startSet ? form.startPoint : 0) && ok;
  ok = writeNumber(table, slot, db::EndPoint, form.endSet ? form.endPoint : 0) && ok;
  for (uint32_t u = 0; u < kUserCount; ++u) {
    if (form.ratingChanged[u])
      ok = writeNumber(table, slot, db::scoreField(u), db::scoreOfRating(settings, form.rating[u])) && ok;
  }
  return ok;
}

uint32_t gotoIndex(uint32_t n, uint32_t slotCount) { return std::min(n, slotCount); }

int32_t previousWrapping(const db::TableHandle& table, uint32_t slot) {
  if (table.inUseCount == 0)
    return -1;
  const int32_t before = db::previousInUse(table, slot);
  if (before >= 0 && static_cast<uint32_t>(before) != slot)
    return before;
  return db::lastInUse(table);
}

int32_t nextWrapping(const db::TableHandle& table, uint32_t slot) {
  if (table.inUseCount == 0)
    return -1;
  const int32_t after = db::nextInUse(table, slot);
  if (after >= 0 && static_cast<uint32_t>(after) != slot)
    return after;
  return db::nthInUse(table, 1);
}

int32_t recordAfterDelete(const db::TableHandle& table, uint32_t slot) {
  if (table.inUseCount == 0)
    return -1;
  if (slot == 1 || slot == 2)
    return db::nthInUse(table, 1);
  const int32_t before = db::previousInUse(table, slot);
  if (before >= 0 && static_cast<uint32_t>(before) != slot)
    return before;
  return db::nthInUse(table, 1);
}

}  // namespace plinka
