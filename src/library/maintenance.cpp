#include "library/maintenance.h"

#include "core/exclusive_access.h"
#include "core/prompt.h"
#include "core/run_state.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/library_context.h"
#include "library/maintenance_passes.h"
#include "library/media_types.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "text/text.h"

#include <limits>
#include <optional>

namespace plinka::library {

namespace {

// The progress lines of the Database window.
constexpr uint32_t kStatusLine = 0;
constexpr uint32_t kDetailLine = 1;

// The refresh counter value that makes the next read-open in network mode
// take a fresh local copy.
constexpr uint32_t kRefreshLocalCopySoon = 100;

// Where the playlist file dialog starts.
constexpr const char kPlaylistStartName[] = "PL1.m3u";

constexpr uint32_t kFirstUser = 1;
constexpr uint32_t kLastUser = kUserCount;

bool isUser(uint32_t n) { return n >= kFirstUser && n <= kLastUser; }

void show(LibraryContext& app, uint32_t line, const std::string& text, std::string& kept) {
  if (app.ui)
    app.ui->progressLine(WindowKind::Database, line, text);
  kept = text;
}

// What every run does once it holds BusyCode::Maintenance: an old stop request
// is forgotten, and a list build under way is asked for again, since the table
// is about to change under it.
void prepareRun(LibraryContext& app) {
  app.run.stopRequest.store(0);
  const uint32_t build = app.run.buildState.load();
  if (build != kBuildIdle && build < kOfflineFirst)
    app.run.buildState.store(kBuildWanted);
}

// Opens the song table for writing, runs the function's pass, closes the
// table after writing (pushing it back in network mode) and leaves the end's
// texts in the status lines.
void runConfirmed(LibraryContext& app, MaintenanceFunction function, const MaintenanceInputs& inputs,
                  MaintenanceResult& result) {
  const std::string databasePath = text::fixedText(app.settings.databasePath);
  show(app, kStatusLine, maintenanceText(function, inputs), result.statusLine);
  db::SongTableOpen table(app, db::SongTableOpen::Mode::Writing);
  if (!table) {
    result.outcome = MaintenanceOutcome::TableNotOpened;
    show(app, kStatusLine, kMaintenanceTableNotOpened, result.statusLine);
    show(app, kDetailLine, databasePath, result.detailLine);
    return;
  }
  result.outcome = MaintenanceOutcome::Finished;
  runMaintenancePass(app, function, inputs, result);
  app.songsInUse.store(db::countInUse(app.songTable));
  // The changes reach the disk before the end is shown: a table the disk
  // did not take is no "Finished".
  if (app.songTable.isMapped() && !app.songTable.map.sync())
    result.outcome = MaintenanceOutcome::TableNotWritten;
  // On a share the change is written only once it is pushed back.
  if (!table.close() && result.outcome == MaintenanceOutcome::Finished)
    result.outcome = MaintenanceOutcome::TableNotWritten;
  if (result.outcome == MaintenanceOutcome::TableNotWritten) {
    show(app, kStatusLine, kMaintenanceTableNotWritten, result.statusLine);
    show(app, kDetailLine, databasePath, result.detailLine);
  } else if (result.outcome == MaintenanceOutcome::PlaylistNotWritten) {
    show(app, kStatusLine, kMaintenancePlaylistNotWritten, result.statusLine);
    show(app, kDetailLine, inputs.playlistPath, result.detailLine);
  } else {
    show(app, kStatusLine, kMaintenanceFinished, result.statusLine);
    show(app, kDetailLine, databasePath, result.detailLine);
  }
}

// A user from the rating keypad: 1-10, or 0 for Cancel, "0" and "D".
uint32_t askUser(LibraryContext& app) {
  const uint32_t answer = askRatingKeypad(app);
  if (answer < kKeypadRating)
    return 0;
  const uint32_t user = answer - kKeypadRating;
  return isUser(user) ? user : 0;
}

// Asks what the function needs; false when the user cancelled.
bool askInputs(LibraryContext& app, MaintenanceFunction function, MaintenanceInputs& inputs) {
  switch (function) {
  case MaintenanceFunction::SaveAsPlaylist: {
    std::string path = app.folders.data + kPlaylistStartName;
    if (!platform::fileExists(path))
      path = platform::documentsFolder();
    if (!app.ui || !app.ui->chooseSaveFile(fileDialogFilters(), kFilterMedia, path) || path.empty())
      return false;
    inputs.playlistPath = path;
    return true;
  }
  case MaintenanceFunction::CopyRatings:
    inputs.sourceUser = askUser(app);
    if (inputs.sourceUser == 0)
      return false;
    inputs.targetUser = askUser(app);
    return inputs.targetUser != 0 && inputs.targetUser != inputs.sourceUser;
  case MaintenanceFunction::UpScore:
    inputs.sourceUser = askUser(app);
    return inputs.sourceUser != 0;
  case MaintenanceFunction::ReDefault: {
    PromptRequest request;
    request.message = kMaintenanceStartFrom;
    request.firstCaption = "OK";
    request.secondCaption = "Cancel";
    request.entryText = "0";
    request.style = PromptStyle::SmallTextEntry;
    std::string entered;
    if (askPrompt(app, request, &entered) != kPromptFirst)
      return false;
    // Text that is not a number starts nowhere, as 0 does.
    return readMaintenanceNumber(entered, inputs.startNumber) && inputs.startNumber != 0;
  }
  default:
    return true;
  }
}

bool confirmed(LibraryContext& app, const std::string& text) {
  PromptRequest request;
  request.message = text;
  request.firstCaption = kMaintenanceRunCaption;
  request.secondCaption = kMaintenanceAbortCaption;
  request.style = PromptStyle::SmallQuestion;
  return askPrompt(app, request) == kPromptFirst;
}

}  // namespace

const char* maintenanceEntryText(MaintenanceFunction function) {
  static const char* const texts[kMaintenanceFunctionCount] = {
      "Save DB as Playlist",  "Remove duplicates", "Copy Ratings",    "UpScore Songs",
      "Remove Missing files", "Reload Song Data",  "ReDefault Songs", "Undelete All",
      "Reset Start Points",   "Sort by Name",      "Sort by Artist"};
  const auto index = static_cast<uint32_t>(function);
  return index < kMaintenanceFunctionCount ? texts[index] : "";
}

const char* maintenanceDoneWord(MaintenanceFunction function) {
  static const char* const words[kMaintenanceFunctionCount] = {
      "written", "removed", "changed", "changed", "removed", "reloaded", "changed", "restored", "reset", "", ""};
  const auto index = static_cast<uint32_t>(function);
  return index < kMaintenanceFunctionCount ? words[index] : "";
}

bool readMaintenanceNumber(std::string_view text, uint32_t& number) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  if (text.empty())
    return false;
  uint64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return false;
    n = std::min<uint64_t>(n * 10 + static_cast<uint64_t>(c - '0'), std::numeric_limits<uint32_t>::max());
  }
  number = static_cast<uint32_t>(n);
  return true;
}

bool maintenanceInputsValid(MaintenanceFunction function, const MaintenanceInputs& inputs) {
  switch (function) {
  case MaintenanceFunction::SaveAsPlaylist:
    return !inputs.playlistPath.empty();
  case MaintenanceFunction::CopyRatings:
    return isUser(inputs.sourceUser) && isUser(inputs.targetUser) && inputs.sourceUser != inputs.targetUser;
  case MaintenanceFunction::UpScore:
    return isUser(inputs.sourceUser);
  case MaintenanceFunction::ReDefault:
    return inputs.startNumber != 0;
  default:
    return static_cast<uint32_t>(function) < kMaintenanceFunctionCount;
  }
}

std::string maintenanceText(MaintenanceFunction function, const MaintenanceInputs& inputs) {
  std::string text = maintenanceEntryText(function);
  switch (function) {
  case MaintenanceFunction::SaveAsPlaylist:
    text += " " + inputs.playlistPath;
    break;
  case MaintenanceFunction::CopyRatings:
    text += " from " + std::to_string(inputs.sourceUser) + " to " + std::to_string(inputs.targetUser);
    break;
  case MaintenanceFunction::UpScore:
    text += " for  - " + std::to_string(inputs.sourceUser);
    break;
  default:
    break;
  }
  return text;
}

MaintenanceResult runMaintenance(LibraryContext& app, MaintenanceFunction function, const MaintenanceInputs& inputs) {
  MaintenanceResult result;
  if (app.run.buildState.load() >= kOfflineFirst)
    return result;
  const ExclusiveAccess access(app, BusyCode::Maintenance, kMaintenancePatience);
  if (!access)
    return result;
  prepareRun(app);
  if (maintenanceInputsValid(function, inputs))
    runConfirmed(app, function, inputs, result);
  else
    result.outcome = MaintenanceOutcome::Cancelled;
  app.copies.localCopyRefreshCounter.store(kRefreshLocalCopySoon);
  return result;
}

void maintenanceWorker(LibraryContext& app) {
  if (app.run.buildState.load() >= kOfflineFirst)
    return;
  const uint32_t option = app.settings.dbWindowOption;
  if (option >= kMaintenanceFunctionCount)
    return;
  const auto function = static_cast<MaintenanceFunction>(option);
  // The questions come first, with nothing held: the player and the list
  // builder go on while the user thinks.
  MaintenanceInputs inputs;
  if (!askInputs(app, function, inputs) || !confirmed(app, maintenanceText(function, inputs)))
    return;
  const ExclusiveAccess access(app, BusyCode::Maintenance, kMaintenancePatience);
  if (!access)
    return;
  // The database may have gone offline while the user answered.
  if (app.run.buildState.load() >= kOfflineFirst)
    return;
  prepareRun(app);
  MaintenanceResult result;
  runConfirmed(app, function, inputs, result);
  app.copies.localCopyRefreshCounter.store(kRefreshLocalCopySoon);
}

}  // namespace plinka::library
