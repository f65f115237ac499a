#include "cli/data_folder.h"

#include "cli/cli_ui.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "shell/app.h"
#include "shell/data_folders.h"
#include "shell/settings_file.h"

#include <cstdio>
#include <filesystem>

namespace plinka::cli {

namespace {

std::string dataFolderOption;
CliUi cliUi;

}  // namespace

void setDataFolderOption(const std::string& folder) { dataFolderOption = folder; }

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
    app.folders.program = platform::programFolder();
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
  if (outcome.songTableUnreadable) {
    std::fprintf(stderr, "plinkactl: cannot open song table %s\n", app.settings.databasePath);
    return 1;
  }
  return 0;
}

int saveDataFolder(App& app) {
  if (saveSettings(app))
    return 0;
  std::fprintf(stderr, "plinkactl: cannot save settings in %s\n", app.folders.data.c_str());
  return 1;
}

}  // namespace plinka::cli
