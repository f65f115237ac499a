// One song record as the Song details window shows and edits it: the record
// read into a plain form, the form written back into the record, and the
// walks the window takes through the table (previous and next with wrapping,
// go to a number, the record shown after a delete). Everything here works on
// an open song table; the caller holds exclusive use of it.
#pragma once

#include "core/settings_record.h"
#include "db/table_handle.h"

#include <array>
#include <cstdint>
#include <string>

namespace plinka {

// "O-Scale" choices: Flags bits 0-1.
constexpr uint32_t kOScaleCount = 4;
constexpr uint32_t kOScaleMask = 3;
// "Lock Name": Flags bit 2.
constexpr uint32_t kLockNameFlag = 4;
// The highest rating a user can give.
constexpr uint32_t kHighestRating = 10;

// The editable record of the window, and what it shows beside it.
struct DetailsForm {
  std::string fileName;
  std::string name;
  std::string artist;
  std::string album;
  std::string comment;
  uint64_t fileSize = 0;  // bytes; 0 when the file cannot be looked at
  uint32_t playCount = 0;
  uint32_t id = 0;
  uint32_t oScale = 0;  // 0 "Clean" ... 3 "Really Dirty"
  bool lockName = false;
  // A point is in use when its box is checked; an unchecked point is
  // stored as 0 whatever number the form holds.
  bool startSet = false;
  uint32_t startPoint = 0;
  bool endSet = false;
  uint32_t endPoint = 0;
  // The Loudness value (library/loudness.h): shown, never written.
  uint32_t loudness = 0;
  // Rating 0-10 of each user.
  std::array<uint32_t, kUserCount> rating{};
  // The users whose rating was changed in the window. Only their Scores are
  // written: a rating stands for a band of Scores, and writing back the one
  // the rating maps to would undo what Auto Rate moved within the band.
  std::array<bool, kUserCount> ratingChanged{};
};

// Reads record `slot` into a form: the texts, the file's size, the flags,
// the points (checked when not 0), play count, ID, Loudness, and each user's
// Score as a rating.
DetailsForm readDetailsForm(db::TableHandle& table, const SettingsRecord& settings, uint32_t slot);

// Writes a form into record `slot`: FileName, Name, Artist, Album and
// Comment (each cut to its field without splitting a character); Flags with
// bits 0-2 replaced by the O-Scale and the lock; the points (0 when not
// set); the Score of each user whose rating was changed, as the Score of the
// rating typed (the others keep theirs). Style is never written. False when the table refused a write.
bool writeDetailsForm(db::TableHandle& table, const SettingsRecord& settings, uint32_t slot, const DetailsForm& form);

// "DB Idx" after "Goto" with the number n: n itself, at most the number of
// slots; 0 when n is 0 (nothing to go to).
uint32_t gotoIndex(uint32_t n, uint32_t slotCount);

// The record in use before `slot`, or the last one when there is none
// before it; -1 when no record is in use.
int32_t previousWrapping(const db::TableHandle& table, uint32_t slot);
// The record in use after `slot`, or the first one when there is none after
// it; -1 when no record is in use.
int32_t nextWrapping(const db::TableHandle& table, uint32_t slot);

// The record shown after record `slot` was deleted: the first record in use
// when the deleted one was slot 1 or 2 or had none in use before it, else
// the one in use before it; -1 when no record is left in use.
int32_t recordAfterDelete(const db::TableHandle& table, uint32_t slot);

}  // namespace plinka
