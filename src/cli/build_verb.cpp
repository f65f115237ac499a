#include "cli/build_verb.h"

#include "app/app.h"
#include "cli/data_folder.h"
#include "cli/verbs.h"
#include "core/busy_code.h"
#include "db/copies.h"
#include "db/table.h"
#include "play/list_builder.h"
#include "play/list_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace plinka::cli {

namespace {

constexpr const char* kUsage = "build [--state N] [--count N]   (State N from 1 to 10)";
// Passes in a row without a choice after which the build is given up.
constexpr int kPassesWithoutChoice = 50;
constexpr uint32_t kLongestList = 1000000;

uint32_t songsInUse(App& app) {
  uint32_t count = 0;
  if (db::openSongTableForReading(app)) {
    count = db::countInUse(app.songTable);
    db::closeTable(app.songTable);
  }
  return count;
}

// The one-shot message the last pass left (the status refresh has taken
// its pending flag already), emptied for the next pass.
std::string takePassMessage(App& app) {
  std::lock_guard lock(app.status.messageMutex);
  std::string message;
  message.swap(app.status.message);
  return message;
}

}  // namespace

int runBuildVerb(int argc, char** argv) {
  uint64_t stateNumber = 0;
  uint64_t count = 0;
  for (int k = 1; k < argc; k += 2) {
    const char* value = k + 1 < argc ? argv[k + 1] : nullptr;
    if (std::strcmp(argv[k], "--state") == 0) {
      if (!parseWholeNumber(value, 1, kStateCount, stateNumber))
        return usage(kUsage);
    } else if (std::strcmp(argv[k], "--count") == 0) {
      if (!parseWholeNumber(value, 1, kLongestList, count))
        return usage(kUsage);
    } else {
      return usage(kUsage);
    }
  }

  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0)
    return 1;
  SettingsRecord& s = app->settings;
  const uint32_t savedState = s.currentState;
  const uint32_t savedCount = s.prepareCount;
  const uint32_t savedShutdown = s.shutdownAfterBuild;
  if (stateNumber != 0)
    s.currentState = static_cast<uint32_t>(stateNumber - 1);
  if (count != 0)
    s.prepareCount = static_cast<uint32_t>(count);
  // A build from the command line never switches the machine off.
  s.shutdownAfterBuild = 0;
  app->list.clear();

  const uint32_t inUse = songsInUse(*app);
  if (inUse < play::kFewestSongsToBuild) {
    std::fprintf(stderr, "plinkactl: the song table %s has %u songs in use; a list needs at least %u\n", s.databasePath,
                 inUse, play::kFewestSongsToBuild);
    return 1;
  }

  std::string failure;
  int passesWithoutChoice = 0;
  app->run.buildState.store(kBuildWanted);
  while (app->run.buildState.load() != kBuildIdle) {
    if (grantExclusiveNow(*app, BusyCode::ListBuild) != AccessOutcome::Granted) {
      failure = "the song table is in use";
      break;
    }
    const size_t before = app->list.size();
    play::buildPass(*app);
    if (app->list.size() > before) {
      takePassMessage(*app);
      passesWithoutChoice = 0;
      std::printf("%u\t%s\n", db::ratingOfScore(s, app->details.loaded.score), app->builder.lastListedFile);
      std::fflush(stdout);
      continue;
    }
    const std::string message = takePassMessage(*app);
    if (app->run.buildState.load() >= kOfflineFirst) {
      failure = "the song table is offline";
      break;
    }
    // A table another program keeps busy is waited for like a pass that
    // chose nothing.
    const bool busy = app->songTable.refusal == db::OpenRefusal::Busy;
    if (message == play::kNoFileSelected || (message == play::kCannotOpenList && !busy)) {
      failure = message + " (" + s.databasePath + ")";
      break;
    }
    if (++passesWithoutChoice >= kPassesWithoutChoice) {
      failure = "no song passed the tests in " + std::to_string(kPassesWithoutChoice) +
                " passes in a row (filtered out, not yet ripe, or Scores of 0)";
      break;
    }
  }
  const size_t listed = app->list.size();
  const std::string listFile = play::stateListFileName(*app);

  // Keep the user's own choices; the list file was written by the build
  // itself when the list was full, so saving must not write it again.
  s.currentState = savedState;
  s.prepareCount = savedCount;
  s.shutdownAfterBuild = savedShutdown;
  app->listFileKept.store(1);
  const int saved = saveDataFolder(*app);

  if (!failure.empty()) {
    std::fprintf(stderr, "plinkactl: stopped after %zu songs: %s\n", listed, failure.c_str());
    return 1;
  }
  std::fprintf(stderr, "plinkactl: %zu songs listed in %s\n", listed, listFile.c_str());
  return saved;
}

}  // namespace plinka::cli
