#include "desk/database_switch.h"

#include "app/app.h"
#include "core/exclusive_access.h"
#include "core/run_state.h"
#include "db/copies.h"
#include "db/records.h"
#include "db/table_file.h"
#include "desk/status_texts.h"
#include "library/media_types.h"
#include "platform/files.h"
#include "play/list_commands.h"
#include "text/text.h"

#include <cstring>
#include <optional>
#include <string>

namespace plinka::db {

namespace {

// Status lines 1 and 2 of the Database window.
constexpr uint32_t kStatusLine = 0;
constexpr uint32_t kDetailLine = 1;

// Makes `path` the song table from now on. The table is opened once for
// reading, so the status bar counts the new table's songs (and, in network
// mode, the local copy is taken from it).
void useDatabase(App& app, const std::string& path) {
  text::copy(app.settings.databasePath, path.c_str());
  if (app.ui)
    app.ui->progressLine(WindowKind::Database, kDetailLine, path);
  app.run.buildState.store(kBuildIdle);
  app.copies.localCopyRefreshCounter.store(play::kRefreshLocalCopySoon);
  uint32_t inUse = 0;
  if (openSongTableForReading(app)) {
    inUse = countInUse(app.songTable);
    closeTable(app.songTable);
  }
  app.songsInUse.store(inUse);
}

// What every switch does once the dialog has been answered, with the access
// still held: the settings on disk name the table in use.
void finish(App& app, std::optional<ExclusiveAccess>& access, bool changed) {
  if (changed)
    callHook(app.hooks.saveSettings);
  access.reset();
  if (app.ui)
    app.ui->repaint(RepaintArea::Window);
  refreshStatus(app);
}

// The dialog's answer, or false when it was cancelled or names a path the
// settings cannot hold.
bool askPath(App& app, bool save, std::string& path) {
  path.assign(app.settings.databasePath, strnlen(app.settings.databasePath, sizeof app.settings.databasePath));
  if (!app.ui)
    return false;
  const auto filters = library::fileDialogFilters();
  const bool chosen = save
                          ? app.ui->chooseNewOrExistingFile(kNewDatabaseTitle, filters, library::kFilterDatabases, path)
                          : app.ui->chooseOpenFile(filters, library::kFilterDatabases, path);
  // A path longer than the settings keep is refused rather than cut: a cut
  // path would name another file.
  return chosen && !path.empty() && path.size() < sizeof app.settings.databasePath;
}

}  // namespace

// Both switches ask for the file first, with nothing held, and only then
// for exclusive use: the player and the list builder go on while the chooser
// is open.
SwitchOutcome changeDatabase(App& app) {
  if (isClosingCode(app.run.commandSlot.load()))
    return SwitchOutcome::NotGranted;
  std::string path;
  const bool chosen = askPath(app, false, path);
  std::optional<ExclusiveAccess> access;
  access.emplace(app, BusyCode::DatabaseWindow, kDatabaseSwitchPatience);
  if (!access->held())
    return SwitchOutcome::NotGranted;
  if (chosen)
    useDatabase(app, path);
  finish(app, access, chosen);
  return chosen ? SwitchOutcome::Switched : SwitchOutcome::Cancelled;
}

SwitchOutcome newDatabase(App& app) {
  if (isClosingCode(app.run.commandSlot.load()))
    return SwitchOutcome::NotGranted;
  std::string path;
  const bool chosen = askPath(app, true, path);
  std::optional<ExclusiveAccess> access;
  access.emplace(app, BusyCode::DatabaseWindow, kDatabaseSwitchPatience);
  if (!access->held())
    return SwitchOutcome::NotGranted;
  if (!chosen) {
    finish(app, access, false);
    return SwitchOutcome::Cancelled;
  }
  // Looked at only now, with the use held: a file that appeared while the
  // chooser was open is taken as it is, and a database chosen by mistake is
  // never emptied.
  SwitchOutcome outcome = SwitchOutcome::Switched;
  if (!platform::fileExists(path))
    outcome = createSongTable(path.c_str()) ? SwitchOutcome::Created : SwitchOutcome::CreateFailed;
  if (app.ui)
    app.ui->progressLine(WindowKind::Database, kStatusLine,
                         outcome == SwitchOutcome::Created    ? kNewDatabaseCreated
                         : outcome == SwitchOutcome::Switched ? kNewDatabaseKept
                                                              : kNewDatabaseFailed);
  useDatabase(app, path);
  finish(app, access, true);
  return outcome;
}

}  // namespace plinka::db
