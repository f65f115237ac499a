#include "play/list_commands.h"

#include "db/filename_index.h"

#include "core/current_state.h"
#include "core/window_command_ids.h"
#include "db/copies.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/media_types.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "play/list_file.h"
#include "play/play_context.h"
#include "play/player.h"
#include "play/song_details.h"
#include "text/text.h"

#include <cstdlib>
#include <mutex>
#include <string>

namespace plinka::play {

namespace {

constexpr uint32_t kHighestRating = 10;
// The FileName of the row with this id; false when the row is gone (or has
// no FileName, or one too long for `out`).
bool rowFileName(const PlayContext& app, uint32_t rowId, char* out, size_t cap) {
  ListRow row;
  if (!app.list.find(rowId, row))
    return false;
  const std::string& file = row.column[FileName];
  return !file.empty() && text::copy(out, cap, file.c_str()) < cap;
}

// Finds the song of the row with this id and loads its details for the
// State's user: the record, or -1.
int32_t findRowSong(PlayContext& app, uint32_t rowId, char* file, size_t cap) {
  if (!rowFileName(app, rowId, file, cap))
    return -1;
  return findAndLoadSong(app, file, currentUser(app));
}

// The record whose FileName matches, in a table that is open: the highest
// with the very same path, else the highest matching with letter case
// folded.
int32_t findByFileName(db::TableHandle& table, const char* file) {
  if (file[0] == 0 || text::copy(table.searchText, file) >= sizeof table.searchText)
    return -1;
  return db::findFileNamePreferExact(table, table.searchText);
}

void removeTopRows(PlayContext& app, uint32_t count) {
  if (count >= app.list.size()) {
    app.list.clear();
    return;
  }
  for (uint32_t k = 0; k < count; ++k)
    if (!app.list.remove(0))
      break;
}

}  // namespace

void commandDetails(PlayContext& app, uint32_t rowId) {
  char file[600] = {};
  int32_t record = -1;
  if (rowFileName(app, rowId, file, sizeof file)) {
    if (const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading); open)
      record = findByFileName(app.songTable, file);
  }
  releaseExclusive(app);
  if (app.ui)
    app.ui->postCommand(WindowCommand::SongDetailsOf, static_cast<uint32_t>(record));
}

void commandRate(PlayContext& app, uint32_t argument) {
  const uint32_t answer = argument != 0 ? argument : app.prompts.result.load();
  db::SongTableOpen open(app, db::SongTableOpen::Mode::Writing);
  db::TableHandle& table = app.songTable;
  if (!open) {
    releaseExclusive(app);
    return;
  }
  DetailsState& d = app.details;
  // A record that is not known (-1, or 0 for "not yet") is looked up by the
  // current song's FileName.
  const int32_t current = d.currentSongRecord.load();
  const int32_t record = current > 0 ? current : findByFileName(table, d.currentSongFile);
  if (record >= 0) {
    const uint32_t slot = static_cast<uint32_t>(record);
    if (answer == kKeypadDelete) {
      PromptRequest question;
      question.message = kDeleteQuestion;
      question.firstCaption = kDeleteYes;
      question.secondCaption = kDeleteNo;
      question.style = PromptStyle::SmallQuestion;
      if (askPrompt(app, question) == kPromptFirst && db::setStatus(table, slot, db::kStatusFree))
        app.songsInUse.store(db::countInUse(table));
    } else if (answer >= kKeypadRating && answer <= kKeypadRating + kHighestRating) {
      const uint32_t score = db::scoreOfRating(app.settings, answer - kKeypadRating);
      d.currentSongScore = score;
      table.value = score;
      db::writeField(table, slot, db::scoreField(currentUser(app)));
      app.copies.localCopyRefreshCounter.store(kRefreshLocalCopySoon);
      if (app.ui)
        app.ui->repaint(RepaintArea::Window);
    }
  }
  open.close();
  releaseExclusive(app);
}

void commandPlayFromRow(PlayContext& app, uint32_t rowId) {
  const bool found = app.list.removeAbove(rowId) != kNoIndex;
  releaseExclusive(app);
  // A row removed since the double click is not played in its place.
  if (!found)
    return;
  // The chosen song, now the top row, is where the user looks next.
  if (app.ui)
    app.ui->showListTop();
  if (app.run.playerRunning.load() != 0)
    app.run.playerRequest.store(PlayerRequest::Start);
  else if (app.ui)
    app.ui->postCommand(WindowCommand::PlayPause, 0);
}

void commandClearList(PlayContext& app, uint32_t argument) {
  removeTopRows(app, argument);
  releaseExclusive(app);
}

void commandRemove(PlayContext& app, uint32_t rowId) {
  app.list.removeId(rowId);
  releaseExclusive(app);
  noticeStatusChanged(app);
}

void commandSaveAsPlaylist(PlayContext& app, uint32_t) {
  std::string path = app.folders.data + kSaveListStartName;
  if (!platform::fileExists(path))
    path = platform::documentsFolder();
  if (app.ui && app.ui->chooseSaveFile(library::fileDialogFilters(), library::kFilterPlaylists, path))
    play::writeList(app.list, path);
  releaseExclusive(app);
}

void commandPlayNow(PlayContext& app, uint32_t rowId) {
  char file[600] = {};
  const int32_t record = findRowSong(app, rowId, file, sizeof file);
  if (record >= 0) {
    {
      // The row's record, not a quick-link song asked for before.
      std::lock_guard lock(app.details.playNowMutex);
      app.details.playNowFile.clear();
    }
    app.details.playNowRecord.store(record);
    app.playNowFlag.store(1);
    app.run.playerRequest.store(PlayerRequest::Start);
  }
  releaseExclusive(app);
}

void commandImportNow(PlayContext& app, uint32_t) {
  napMs(app, kImportNowDelayMs);
  if (app.ui)
    app.ui->postCommand(WindowCommand::Database, kDatabaseFirstImport);
  releaseExclusive(app);
}

void commandPlayNext(PlayContext& app, uint32_t rowId) {
  char file[600] = {};
  if (findRowSong(app, rowId, file, sizeof file) >= 0) {
    putListRow(app, 0, file, app.details.loaded);
    app.list.removeId(rowId);
  }
  releaseExclusive(app);
}

}  // namespace plinka::play
