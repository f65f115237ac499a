#include "desk/details_actions.h"

#include "app/app.h"
#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "core/settings_shared.h"
#include "db/records.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "desk/status_texts.h"
#include "library/folder_names.h"
#include "library/lame_scan.h"
#include "library/tag_reader.h"
#include "play/song_details.h"
#include "text/text.h"

#include <cstring>

namespace plinka {

namespace {

// hashStat falls by this much when a song without an ID is shown, so the ID
// worker soon computes it.
constexpr uint32_t kHashStatStep = 10;

bool validSlot(const db::TableHandle& table, uint32_t slot) { return slot < table.slotCount; }

// Writes a text field through the table's text buffer, cut to the field.
void writeTextField(db::TableHandle& table, uint32_t slot, uint32_t field, const char* value) {
  size_t cap = sizeof table.text;
  if (field >= 1 && field <= table.fields.size() && table.fields[field - 1].width > 0)
    cap = std::min<size_t>(cap, table.fields[field - 1].width);
  library::keepText(table.text, cap, value, std::strlen(value));
  db::writeField(table, slot, field);
}

// "Load ID": the LAME scan when it is switched on, then the texts of the
// file's tag (or of its folders) into the record. A file that cannot be read
// changes nothing.
void loadTagIntoRecord(App& app, uint32_t slot) {
  db::TableHandle& table = app.songTable;
  if (db::readField(table, slot, db::FileName) < 0)
    return;
  const std::string path = text::fixedText(table.text);
  if (path.empty())
    return;
  if (app.settings.lameCheck != 0 && library::lameMarkerFound(path.c_str())) {
    const uint32_t current = db::readField(table, slot, db::StartPoint) >= 0 ? table.value : 0;
    const uint32_t start = library::startPointAfterLameScan(true, current);
    if (start != current) {
      table.value = start;
      db::writeField(table, slot, db::StartPoint);
    }
  }
  if (library::readTag(app.tagReader, path.c_str()) != 1)
    return;
  // The reader's result is shared: take a copy at once.
  const library::TagResult tag = app.tagReader.result;
  library::RecordTexts texts{};
  library::applyRecordRules(app.settings, path.c_str(), tag, texts);
  writeTextField(table, slot, db::Album, texts.album);
  writeTextField(table, slot, db::Artist, texts.artist);
  writeTextField(table, slot, db::Name, texts.name);
  writeTextField(table, slot, db::Comment, texts.comment);
}

// True while the slot is in use and still holds the song that was loaded
// into the window, so a save cannot land on another song (the table may
// have been compacted or refreshed from the share since).
bool stillTheSongShown(db::TableHandle& table, uint32_t slot, const std::string& loadedFileName) {
  if (!validSlot(table, slot) || db::getStatus(table, slot) != static_cast<int32_t>(db::kStatusInUse))
    return false;
  if (db::readField(table, slot, db::FileName) < 0)
    return false;
  return text::fixedText(table.text) == loadedFileName;
}

// The notice for a save or delete that cannot go ahead: a free slot (which
// "Goto" may show) holds no song; any other change means the song shown was
// changed elsewhere.
DetailsNotice notWrittenNotice(db::TableHandle& table, uint32_t slot) {
  if (validSlot(table, slot) && db::getStatus(table, slot) != static_cast<int32_t>(db::kStatusInUse))
    return DetailsNotice::NoSong;
  return DetailsNotice::NotSaved;
}

// The slot a search starts after, and the search itself; -1 without a match.
int32_t findMatch(db::TableHandle& table, uint32_t after, const std::string& searchText) {
  if (searchText.empty() || searchText.size() >= sizeof table.searchText)
    return -1;
  text::copy(table.searchText, searchText.c_str());
  return db::findNextMatch(table, after);
}

}  // namespace

DetailsOutcome runDetailsAction(App& app, const DetailsRequest& request) {
  DetailsOutcome out;
  const DetailsAction action = request.action;
  const bool writing = isWritingAction(action);
  // Offline: nothing is written, and the window says so.
  if (writing && app.run.buildState.load() >= kOfflineFirst) {
    out.notice = DetailsNotice::Offline;
    return out;
  }

  db::SongTableOpen open(app, writing ? db::SongTableOpen::Mode::Writing : db::SongTableOpen::Mode::Reading);
  if (!open) {
    // A write-open that cannot take the share's lock puts the database
    // offline; a read-open that fails has told the user itself.
    if (writing)
      out.notice = DetailsNotice::Offline;
    return out;
  }
  db::TableHandle& table = app.songTable;
  const uint32_t build = app.run.buildState.load();
  if (build >= 1 && build < kOfflineFirst)
    app.run.buildState.store(kBuildWanted);

  out.slotCount = table.slotCount;
  // The slot shown; beyond the table when no record is shown.
  uint32_t r = request.dbIdx == 0 ? table.slotCount : request.dbIdx - 1;
  bool show = true;

  switch (action) {
  case DetailsAction::Previous: {
    const int32_t s = validSlot(table, r) ? previousWrapping(table, r) : db::lastInUse(table);
    if (s >= 0)
      r = static_cast<uint32_t>(s);
    break;
  }
  case DetailsAction::Next: {
    const int32_t s = validSlot(table, r) ? nextWrapping(table, r) : db::nthInUse(table, 1);
    if (s >= 0)
      r = static_cast<uint32_t>(s);
    break;
  }
  case DetailsAction::SaveAndClose:
  case DetailsAction::Save:
    if (!stillTheSongShown(table, r, request.loadedFileName)) {
      out.notice = notWrittenNotice(table, r);
      return out;
    }
    writeDetailsForm(table, app.settings, r, request.form);
    out.written = true;
    out.closeWindow = action == DetailsAction::SaveAndClose;
    break;
  case DetailsAction::LoadId:
    if (validSlot(table, r)) {
      loadTagIntoRecord(app, r);
      out.written = true;
    }
    break;
  case DetailsAction::FindMore:
  case DetailsAction::Find: {
    const uint32_t after = action == DetailsAction::Find ? 0 : r;
    const int32_t match = findMatch(table, after, request.searchText);
    if (match < 0)
      out.notice = DetailsNotice::NoMatch;
    else
      r = static_cast<uint32_t>(match);
    break;
  }
  case DetailsAction::Delete: {
    if (!stillTheSongShown(table, r, request.loadedFileName)) {
      out.notice = notWrittenNotice(table, r);
      return out;
    }
    db::setStatus(table, r, db::kStatusFree);
    out.written = true;
    app.songsInUse.store(db::countInUse(table));
    const int32_t s = table.slotCount > 1 ? recordAfterDelete(table, r) : -1;
    if (s < 0) {
      out.closeWindow = true;
      show = false;
    } else {
      r = static_cast<uint32_t>(s);
    }
    break;
  }
  case DetailsAction::Closed:
  case DetailsAction::Idle:
  case DetailsAction::Load:
    break;
  }

  if (show && validSlot(table, r)) {
    out.form = readDetailsForm(table, app.settings, r);
    out.dbIdx = r + 1;
    out.loaded = true;
    if (out.form.id == 0)
      lowerHashStat(app, kHashStatStep);
  }
  return out;
}

std::optional<DetailsOutcome> tryDetailsAction(App& app, const DetailsRequest& request) {
  const ExclusiveAccess access(app, BusyCode::SongEdit, kDetailsPatience);
  if (!access.held())
    return std::nullopt;
  return runDetailsAction(app, request);
}

}  // namespace plinka
