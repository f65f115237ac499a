#include "cli/data_folder.h"

#include "app/app.h"
#include "app/player_presence.h"
#include "app/settings_file.h"
#include "cli/cli_ui.h"
#include "core/data_folders.h"
#include "db/table_handle.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folders.h"

#include <cstdio>
#include <filesystem>

namespace plinka::cli {

namespace {

std::string dataFolderOption;
CliUi cliUi;
// Held by the terminal player for its whole run (main thread only).
platform::InstanceLock playerClaim;

}  // namespace

void setDataFolderOption(const std::string& folder) { dataFolderOption = folder; }
bool dataFolderOptionGiven() { return !dataFolderOption.empty(); }

int openDataFolder(App& app) {
  if (dataFolderOption.empty()) {
    app.folders = settleFoldersForThisProcess();
  } else {
    std::error_code ec;
    std::filesystem::create_directories(dataFolderOption, ec);
    if (!platform::folderExists(dataFolderOption)) {
      std::fprintf(stderr, "plinkactl: cannot use data folder %s\n", dataFolderOption.c_str());
      return 1;
    }
    app.folders = settleFoldersForThisProcess();
    // Kept absolute: the settings store paths inside it (the song table's),
    // which must name the same files from any working folder.
    app.folders.data = std::filesystem::absolute(dataFolderOption, ec).lexically_normal().string();
    if (ec)
      app.folders.data = dataFolderOption;
    if (app.folders.data.back() != '/')
      app.folders.data += '/';
  }
  app.ui = &cliUi;
  const LoadOutcome outcome = loadSettings(app);
  if (outcome.mustEnd) {
    std::fprintf(stderr, "plinkactl: the settings in %s are too old to take over\n", app.folders.data.c_str());
    return 1;
  }
  if (app.copies.noLockingTold.load() != 0)
    std::fprintf(stderr, "plinkactl: %s: %s\n", app.settings.databasePath, platform::kNoLockingText);
  if (outcome.songTableUnreadable) {
    const db::OpenRefusal refusal = app.songTable.refusal;
    std::fprintf(stderr, "plinkactl: cannot open song table %s%s\n", app.settings.databasePath,
                 refusal == db::OpenRefusal::Busy       ? ": another program keeps it busy"
                 : refusal == db::OpenRefusal::NotAFile ? ": not a regular file"
                                                        : "");
    return 1;
  }
  return 0;
}

int claimPlayer(App& app) {
  if (claimDataFolder(playerClaim, app.folders))
    return 0;
  std::fprintf(stderr, "plinkactl: %s\n", kPlayerRunningText);
  return 1;
}

int saveDataFolder(App& app) {
  if (!playerClaim.held() && playerRunsOn(app.folders)) {
    std::fprintf(stderr, "plinkactl: %s, so its settings are left to it\n", kPlayerRunningText);
    return 0;
  }
  if (saveSettings(app))
    return 0;
  std::fprintf(stderr, "plinkactl: cannot save settings in %s\n", app.folders.data.c_str());
  return 1;
}

}  // namespace plinka::cli
