#include "cli/data_verbs.h"

#include "app/app.h"
#include "cli/data_folder.h"
#include "cli/verbs.h"
#include "core/busy_code.h"
#include "core/current_state.h"
#include "core/run_state.h"
#include "db/filename_index.h"
#include "db/records.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/import.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace plinka::cli {

namespace {

// The source as the import needs it: an absolute path (records keep full
// paths), a folder ending in '/'. The import reads it as the Database window's
// does: a folder as itself, a playlist line by line, any other file as the
// folder it lies in. False, with a message, when it names no folder or file.
bool settleSource(const char* given, std::string& source) {
  struct stat st {};
  if (given[0] == 0 || stat(given, &st) != 0) {
    std::fprintf(stderr, "plinkactl: no such folder or playlist: %s\n", given);
    return false;
  }
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(given, ec);
  if (ec) {
    std::fprintf(stderr, "plinkactl: cannot use %s: %s\n", given, ec.message().c_str());
    return false;
  }
  source = absolute.lexically_normal().string();
  if (S_ISDIR(st.st_mode)) {
    if (source.back() != '/')
      source += '/';
  } else if (!S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "plinkactl: %s is neither a folder nor a file\n", given);
    return false;
  }
  if (source.size() > library::kImportPathMax) {
    std::fprintf(stderr, "plinkactl: path longer than %zu characters: %s\n", library::kImportPathMax, given);
    return false;
  }
  return true;
}

}  // namespace

int runImportVerb(int argc, char** argv) {
  if (argc != 2)
    return usage("import SOURCE");
  std::string source;
  if (!settleSource(argv[1], source))
    return 1;
  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0)
    return 1;
  // No processor thread runs here to grant the request: take the access now,
  // so that the import's own request finds it held.
  if (grantExclusiveNow(*app, BusyCode::Import) != AccessOutcome::Granted) {
    std::fprintf(stderr, "plinkactl: the song table is in use\n");
    return 1;
  }
  const library::ImportResult result = library::runImport(*app, source);
  if (result.outcome == library::ImportOutcome::NotFound) {
    std::fprintf(stderr, "plinkactl: no such folder or playlist: %s\n", source.c_str());
    return 1;
  }
  if (result.outcome == library::ImportOutcome::NotStarted) {
    std::fprintf(stderr, "plinkactl: the import could not start\n");
    return 1;
  }
  if (result.shareBusy) {
    std::fprintf(stderr, "plinkactl: another computer is writing the song table %s; try again later\n",
                 app->settings.databasePath);
    return 1;
  }
  if (!result.tableOpened) {
    std::fprintf(stderr, "plinkactl: cannot open song table %s\n", app->settings.databasePath);
    return 1;
  }
  if (result.refused > 0 || result.notWritten) {
    std::fprintf(stderr,
                 "plinkactl: the song table %s could not be written (is the disk full?); added=%u, %u not added\n",
                 app->settings.databasePath, result.added, result.refused);
    return 1;
  }
  if (!result.saved) {
    std::fprintf(stderr, "plinkactl: the new songs could not be written back to the song table %s\n",
                 app->settings.databasePath);
    return 1;
  }
  if (result.outcome == library::ImportOutcome::Error) {
    std::fprintf(stderr, "plinkactl: cannot read playlist %s\n", source.c_str());
    return 1;
  }
  std::printf("added=%u skipped=%u\n", result.added, result.skipped);
  std::fflush(stdout);
  // The upcoming list was never loaded here: leave the State's list file as
  // it is rather than have saving delete it as empty.
  app->listFileKept.store(1);
  return saveDataFolder(*app);
}

int runRateVerb(int argc, char** argv) {
  uint64_t rating = 0;
  if (argc != 3 || !parseWholeNumber(argv[2], 0, 10, rating))
    return usage("rate FILE RATING (0-10)");
  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0)
    return 1;
  // Written as the player writes a rating: the song table opened for
  // writing (on a share: locked, refreshed, and pushed back at the close).
  const uint32_t user = currentUser(*app);
  db::SongTableOpen open(*app, db::SongTableOpen::Mode::Writing);
  if (!open) {
    std::fprintf(stderr, "plinkactl: the song table %s is busy or offline; the rating was not stored\n",
                 app->settings.databasePath);
    return 1;
  }
  const int32_t record = db::findFileNamePreferExact(app->songTable, argv[1]);
  if (record < 0) {
    std::fprintf(stderr, "plinkactl: no song %s in the song table\n", argv[1]);
    return 1;
  }
  app->songTable.value = db::scoreOfRating(app->settings, static_cast<uint32_t>(rating));
  if (db::writeField(app->songTable, static_cast<uint32_t>(record), db::scoreField(user)) < 0) {
    std::fprintf(stderr, "plinkactl: the rating of %s could not be written\n", argv[1]);
    return 1;
  }
  if (!open.close()) {
    std::fprintf(stderr, "plinkactl: the rating of %s could not be written back to the song table %s\n", argv[1],
                 app->settings.databasePath);
    return 1;
  }
  return 0;
}

int dataFolderSongTable(std::string& path) {
  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0)
    return 1;
  path.assign(app->settings.databasePath, strnlen(app->settings.databasePath, sizeof app->settings.databasePath));
  if (path.empty()) {
    std::fprintf(stderr, "plinkactl: no song table is set in %s\n", app->folders.data.c_str());
    return 1;
  }
  return 0;
}

}  // namespace plinka::cli
