#include "library/maintenance_passes.h"

#include "core/busy_code.h"
#include "db/sort.h"
#include "db/table.h"
#include "library/import.h"
#include "library/library_context.h"
#include "library/playlist_file.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_set>

namespace plinka::library {

namespace {

// The progress lines of the Database window.
constexpr uint32_t kStatusLine = 0;
constexpr uint32_t kDetailLine = 1;

// Flags bit: the record's details were edited by hand and are not reloaded
// from the file's tag.
constexpr uint32_t kFlagLockName = 4;

// One pass's bookkeeping: when it must stop, what it has counted, and its
// reports to the Database window every so often.
class Pass {
public:
  Pass(LibraryContext& app, MaintenanceFunction function, MaintenanceResult& result, uint32_t total, uint32_t every)
      : app_(app), result_(result), every_(every) {
    progress_.total = total;
    progress_.doneWord = maintenanceDoneWord(function);
  }

  // True once the pass must end: a stop was asked for, or the busy code is no
  // longer the maintenance's (the watchdog took it), so another job may be
  // about to use the song table.
  bool mustStop() {
    if (app_.run.stopRequest.load() == 0 && app_.run.busyCode.load() == codeValue(BusyCode::Maintenance))
      return false;
    result_.stopped = true;
    return true;
  }

  // One record (or slot) looked at. Keeps the watchdog from taking the busy
  // code away from a long pass, and every `every` records shows the counts
  // and, when given, the record's text in status line 1 and its slot number
  // in status line 2.
  void looked(const char* statusText = nullptr, int64_t slotShown = -1) {
    ++result_.looked;
    app_.run.watchdogCounter.store(0);
    if (result_.looked % every_ != 0)
      return;
    if (statusText)
      show(kStatusLine, statusText);
    if (slotShown >= 0)
      show(kDetailLine, std::to_string(slotShown));
    report(false);
  }

  // For a step that reports no records (the sort): keeps the watchdog from
  // taking the busy code away; false once the pass must stop.
  bool stillWanted() {
    if (mustStop())
      return false;
    app_.run.watchdogCounter.store(0);
    return true;
  }

  void changed() { ++result_.changed; }
  void skipped() { ++result_.skipped; }

  void show(uint32_t line, const std::string& text) {
    if (app_.ui)
      app_.ui->progressLine(WindowKind::Database, line, text);
    (line == kStatusLine ? result_.statusLine : result_.detailLine) = text;
  }

  // The counts to the window; `finished` once at the end.
  void report(bool finished) {
    if (!app_.ui)
      return;
    progress_.looked = result_.looked;
    progress_.added = result_.changed;
    progress_.skipped = result_.skipped;
    progress_.done = std::min(result_.looked, progress_.total);
    progress_.finished = finished;
    app_.ui->workProgress(WindowKind::Database, progress_);
  }

private:
  LibraryContext& app_;
  MaintenanceResult& result_;
  WorkProgress progress_;
  uint32_t every_;
};

// Calls visit(slot) for every record in use from `first` on, in slot order,
// until there is no further record or the pass must stop. A stop ends the
// walk before the next record; the record in hand is always finished.
template <class Visit> void walkInUse(db::TableHandle& h, Pass& pass, int32_t first, Visit visit) {
  if (first < 0)
    return;
  auto slot = static_cast<uint32_t>(first);
  for (;;) {
    if (pass.mustStop())
      return;
    visit(slot);
    const int32_t next = db::nextInUse(h, slot);
    if (next < 0 || static_cast<uint32_t>(next) == slot)
      return;
    slot = static_cast<uint32_t>(next);
  }
}

int32_t firstInUse(const db::TableHandle& h) {
  return db::firstWithStatus(h, static_cast<int32_t>(db::kStatusInUse), 0);
}

// Writes a number field when it holds another value; true when it changed.
bool putNumber(db::TableHandle& h, uint32_t slot, uint32_t field, uint32_t value) {
  if (db::readField(h, slot, field) >= 0 && h.value == value)
    return false;
  h.value = value;
  return db::writeField(h, slot, field) >= 0;
}

// Every record's FileName, one a line, into the chosen file. The file is made
// anew under another name and renamed over the old one, so a longer old file
// leaves no trace and a failed write leaves it whole.
void saveAsPlaylist(LibraryContext& app, Pass& pass, const std::string& path, MaintenanceResult& result) {
  db::TableHandle& h = app.songTable;
  std::string text;
  walkInUse(h, pass, firstInUse(h), [&](uint32_t slot) {
    if (db::readField(h, slot, db::FileName) >= 0 && appendPlaylistLine(text, h.text))
      pass.changed();
    else
      pass.skipped();
    pass.looked();
  });
  if (!platform::replaceFile(path, text.data(), text.size()))
    result.outcome = MaintenanceOutcome::PlaylistNotWritten;
}

// Deletes every record whose FileName (letter case significant) an earlier
// slot's record already has, so the lowest slot of each name stays. One walk
// with the names seen so far in a hash set.
void removeDuplicates(LibraryContext& app, Pass& pass) {
  db::TableHandle& h = app.songTable;
  std::unordered_set<std::string> seen;
  seen.reserve(db::countInUse(h));
  walkInUse(h, pass, firstInUse(h), [&](uint32_t slot) {
    if (db::readField(h, slot, db::FileName) < 0) {
      pass.looked();
      return;
    }
    if (!seen.emplace(h.text).second && db::setStatus(h, slot, db::kStatusFree))
      pass.changed();
    pass.looked(h.text, slot);
  });
}

void copyRatings(LibraryContext& app, Pass& pass, uint32_t sourceUser, uint32_t targetUser) {
  db::TableHandle& h = app.songTable;
  const uint32_t from = db::scoreField(sourceUser - 1);
  const uint32_t to = db::scoreField(targetUser - 1);
  walkInUse(h, pass, firstInUse(h), [&](uint32_t slot) {
    if (db::readField(h, slot, from) >= 0 && putNumber(h, slot, to, h.value))
      pass.changed();
    pass.looked();
  });
}

// Twice the target value into one user's Score: every song then counts as
// one the user wants to hear. Held at the largest score rather than wrapped
// round to a small one.
void upScore(LibraryContext& app, Pass& pass, uint32_t user) {
  db::TableHandle& h = app.songTable;
  const uint64_t twice = 2 * static_cast<uint64_t>(app.settings.targetValue);
  const auto score = static_cast<uint32_t>(std::min<uint64_t>(twice, std::numeric_limits<uint32_t>::max()));
  const uint32_t field = db::scoreField(user - 1);
  walkInUse(h, pass, firstInUse(h), [&](uint32_t slot) {
    if (putNumber(h, slot, field, score))
      pass.changed();
    pass.looked();
  });
}

// True when nothing is at path. A file that is there but cannot be looked at
// (no permission, a failing disk) is not missing: deleting its record would
// lose it.
bool fileIsMissing(const char* path) {
  struct stat st {};
  return stat(path, &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// Deletes the records whose file is gone, showing each in status line 2.
void removeMissing(LibraryContext& app, Pass& pass) {
  db::TableHandle& h = app.songTable;
  walkInUse(h, pass, firstInUse(h), [&](uint32_t slot) {
    if (db::readField(h, slot, db::FileName) < 0) {
      pass.looked();
      return;
    }
    const std::string path(h.text);
    if (fileIsMissing(path.c_str()) && db::setStatus(h, slot, db::kStatusFree)) {
      pass.show(kDetailLine, path);
      pass.changed();
    }
    pass.looked(path.c_str());
  });
}

// The tag details of every record's file again, except for records whose
// details were locked by hand. A record whose file cannot be read keeps its
// details.
void reloadSongData(LibraryContext& app, Pass& pass) {
  db::TableHandle& h = app.songTable;
  char path[sizeof h.text];
  walkInUse(h, pass, firstInUse(h), [&](uint32_t slot) {
    const bool locked = db::readField(h, slot, db::Flags) >= 0 && (h.value & kFlagLockName) != 0;
    if (locked || db::readField(h, slot, db::FileName) < 0) {
      pass.looked();
      return;
    }
    std::memcpy(path, h.text, sizeof path);
    if (loadTagDetails(app, slot, path, UnreadableTag::Keep))
      pass.changed();
    else
      pass.skipped();
    pass.looked(path);
  });
}

// defaultImportValue into every user's Score, from the start-number-th record
// in use (the last one when there are fewer) to the end.
void reDefault(LibraryContext& app, Pass& pass, uint32_t startNumber) {
  db::TableHandle& h = app.songTable;
  const uint32_t start = std::min(startNumber, db::countInUse(h));
  if (start == 0)
    return;
  const uint32_t value = app.settings.defaultImportValue;
  walkInUse(h, pass, db::nthInUse(h, start), [&](uint32_t slot) {
    bool any = false;
    for (uint32_t u = 0; u < kUserCount; ++u)
      any = putNumber(h, slot, db::scoreField(u), value) || any;
    if (any)
      pass.changed();
    pass.looked();
  });
}

// Every deleted slot back in use, also slots that compaction left behind
// after moving their record elsewhere (whose contents are still there).
void undeleteAll(LibraryContext& app, Pass& pass) {
  db::TableHandle& h = app.songTable;
  for (uint32_t slot = 0; slot < h.slotCount; ++slot) {
    if (pass.mustStop())
      return;
    if (db::slotStatus(h, slot) == static_cast<int32_t>(db::kStatusFree) && db::setStatus(h, slot, db::kStatusInUse))
      pass.changed();
    pass.looked();
  }
}

void resetStartPoints(LibraryContext& app, Pass& pass) {
  db::TableHandle& h = app.songTable;
  walkInUse(h, pass, firstInUse(h), [&](uint32_t slot) {
    if (putNumber(h, slot, db::StartPoint, 0))
      pass.changed();
    pass.looked();
  });
}

}  // namespace

void runMaintenancePass(LibraryContext& app, MaintenanceFunction function, const MaintenanceInputs& inputs,
                        MaintenanceResult& result) {
  db::TableHandle& h = app.songTable;
  const uint32_t inUse = db::countInUse(h);
  const bool touchesFiles =
      function == MaintenanceFunction::RemoveMissing || function == MaintenanceFunction::ReloadSongData;
  uint32_t total = inUse;
  if (function == MaintenanceFunction::UndeleteAll)
    total = h.slotCount;
  else if (function == MaintenanceFunction::ReDefault)
    total = inputs.startNumber == 0 ? 0 : inUse - std::min(inputs.startNumber, inUse) + 1;
  Pass pass(app, function, result, total, touchesFiles ? kMaintenanceFileProgressEvery : kMaintenanceProgressEvery);

  switch (function) {
  case MaintenanceFunction::SaveAsPlaylist:
    saveAsPlaylist(app, pass, inputs.playlistPath, result);
    break;
  case MaintenanceFunction::RemoveDuplicates:
    removeDuplicates(app, pass);
    break;
  case MaintenanceFunction::CopyRatings:
    copyRatings(app, pass, inputs.sourceUser, inputs.targetUser);
    break;
  case MaintenanceFunction::UpScore:
    upScore(app, pass, inputs.sourceUser);
    break;
  case MaintenanceFunction::RemoveMissing:
    removeMissing(app, pass);
    break;
  case MaintenanceFunction::ReloadSongData:
    reloadSongData(app, pass);
    break;
  case MaintenanceFunction::ReDefault:
    reDefault(app, pass, inputs.startNumber);
    break;
  case MaintenanceFunction::UndeleteAll:
    undeleteAll(app, pass);
    break;
  case MaintenanceFunction::ResetStartPoints:
    resetStartPoints(app, pass);
    break;
  case MaintenanceFunction::SortByName:
  case MaintenanceFunction::SortByArtist:
    // The sort shows the watchdog it is alive as it goes. A stop, or a busy
    // code the watchdog took away after all, makes it give up before its
    // sorted table replaces the old one, which then stays as it was.
    db::sortByField(h, function == MaintenanceFunction::SortByName ? db::Name : db::Artist,
                    [&pass] { return pass.stillWanted(); });
    result.looked = inUse;
    break;
  }
  pass.report(true);
}

}  // namespace plinka::library
