#include "cli/maintain_verb.h"

#include "app/app.h"
#include "cli/data_folder.h"
#include "cli/verbs.h"
#include "core/busy_code.h"
#include "core/run_state.h"
#include "library/maintenance.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace plinka::cli {

namespace {

using library::MaintenanceFunction;

// The words after "maintain" a function takes.
enum class Arguments { None, File, OneUser, TwoUsers, Start };

struct FunctionName {
  const char* name;
  MaintenanceFunction function;
  Arguments arguments;
};

const FunctionName kFunctions[] = {
    {"save-playlist", MaintenanceFunction::SaveAsPlaylist, Arguments::File},
    {"remove-duplicates", MaintenanceFunction::RemoveDuplicates, Arguments::None},
    {"copy-ratings", MaintenanceFunction::CopyRatings, Arguments::TwoUsers},
    {"upscore", MaintenanceFunction::UpScore, Arguments::OneUser},
    {"remove-missing", MaintenanceFunction::RemoveMissing, Arguments::None},
    {"reload", MaintenanceFunction::ReloadSongData, Arguments::None},
    {"redefault", MaintenanceFunction::ReDefault, Arguments::Start},
    {"undelete", MaintenanceFunction::UndeleteAll, Arguments::None},
    {"reset-start-points", MaintenanceFunction::ResetStartPoints, Arguments::None},
    {"sort-name", MaintenanceFunction::SortByName, Arguments::None},
    {"sort-artist", MaintenanceFunction::SortByArtist, Arguments::None},
};

int maintainUsage() {
  return usage("maintain save-playlist FILE | remove-duplicates | copy-ratings FROM TO | upscore USER | "
               "remove-missing | reload | redefault START | undelete | reset-start-points | sort-name | "
               "sort-artist  (users 1-10, START from 1)");
}

int argumentCount(Arguments arguments) {
  switch (arguments) {
  case Arguments::None:
    return 0;
  case Arguments::TwoUsers:
    return 2;
  default:
    return 1;
  }
}

// The function's inputs from its words; false when they are not right.
bool readInputs(const FunctionName& f, char** words, library::MaintenanceInputs& inputs) {
  switch (f.arguments) {
  case Arguments::None:
    return true;
  case Arguments::File: {
    if (words[0][0] == 0)
      return false;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(words[0], ec);
    if (ec)
      return false;
    inputs.playlistPath = absolute.lexically_normal().string();
    break;
  }
  case Arguments::OneUser:
    if (!library::readMaintenanceNumber(words[0], inputs.sourceUser))
      return false;
    break;
  case Arguments::TwoUsers:
    if (!library::readMaintenanceNumber(words[0], inputs.sourceUser) ||
        !library::readMaintenanceNumber(words[1], inputs.targetUser))
      return false;
    break;
  case Arguments::Start:
    if (!library::readMaintenanceNumber(words[0], inputs.startNumber))
      return false;
    break;
  }
  return library::maintenanceInputsValid(f.function, inputs);
}

}  // namespace

int runMaintainVerb(int argc, char** argv) {
  if (argc < 2)
    return maintainUsage();
  const FunctionName* chosen = nullptr;
  for (const FunctionName& f : kFunctions)
    if (std::strcmp(argv[1], f.name) == 0)
      chosen = &f;
  if (!chosen || argc - 2 != argumentCount(chosen->arguments))
    return maintainUsage();
  library::MaintenanceInputs inputs;
  if (!readInputs(*chosen, argv + 2, inputs))
    return maintainUsage();

  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0)
    return 1;
  // No processor thread runs here to grant the request: take the access now,
  // so that the function's own request finds it held.
  if (grantExclusiveNow(*app, BusyCode::Maintenance) != AccessOutcome::Granted) {
    std::fprintf(stderr, "plinkactl: the song table is in use\n");
    return 1;
  }
  const library::MaintenanceResult result = library::runMaintenance(*app, chosen->function, inputs);
  switch (result.outcome) {
  case library::MaintenanceOutcome::NotStarted:
  case library::MaintenanceOutcome::Cancelled:
    std::fprintf(stderr, "plinkactl: the function could not start\n");
    return 1;
  case library::MaintenanceOutcome::TableNotOpened:
    std::fprintf(stderr, "plinkactl: cannot open song table %s for writing\n", app->settings.databasePath);
    return 1;
  case library::MaintenanceOutcome::PlaylistNotWritten:
    std::fprintf(stderr, "plinkactl: cannot write %s\n", inputs.playlistPath.c_str());
    return 1;
  case library::MaintenanceOutcome::TableNotWritten:
    std::fprintf(stderr, "plinkactl: the changes to song table %s could not be written\n", app->settings.databasePath);
    return 1;
  case library::MaintenanceOutcome::Finished:
    break;
  }
  std::fprintf(stderr, "looked=%u changed=%u skipped=%u\n", result.looked, result.changed, result.skipped);
  std::printf("%s\n%s\n", result.statusLine.c_str(), result.detailLine.c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace plinka::cli
