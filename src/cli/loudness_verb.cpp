#include "cli/loudness_verb.h"

#include "app/app.h"
#include "cli/data_folder.h"
#include "cli/verbs.h"
#include "library/loudness_job.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace plinka::cli {

namespace {

// On a terminal the progress line is rewritten in place; elsewhere (a log)
// each song gets a line of its own.
void showProgress(bool terminal, const std::string& file, uint32_t done, uint32_t total) {
  const char* name = std::strrchr(file.c_str(), '/');
  name = name != nullptr ? name + 1 : file.c_str();
  if (terminal)
    std::fprintf(stderr, "\r\033[KMeasuring %u of %u: %.60s", done, total, name);
  else
    std::fprintf(stderr, "measured %u of %u: %s\n", done, total, file.c_str());
  std::fflush(stderr);
}

}  // namespace

int runLoudnessVerb(int argc, char** argv) {
  const bool all = argc == 2 && std::strcmp(argv[1], "--all") == 0;
  if (argc > 2 || (argc == 2 && !all))
    return usage("loudness [--all]");
  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0)
    return 1;
  const bool terminal = isatty(STDERR_FILENO) != 0;
  library::LoudnessRun run;
  run.all = all;
  run.alone = true;
  run.progress = [terminal](const std::string& file, uint32_t done, uint32_t total) {
    showProgress(terminal, file, done, total);
  };
  const library::LoudnessOutcome outcome = library::runLoudnessJob(*app, run);
  if (terminal)
    std::fputs("\r\033[K", stderr);
  if (!outcome.tableOpened) {
    std::fprintf(stderr, "plinkactl: the song table %s is busy or cannot be opened\n", app->settings.databasePath);
    return 1;
  }
  std::printf("measured=%u failed=%u known=%u songs=%u\n", outcome.measured, outcome.failed, app->loudness.known.load(),
              app->loudness.songs.load());
  std::fflush(stdout);
  if (!outcome.written) {
    std::fprintf(stderr, "plinkactl: some results could not be written to the song table %s\n",
                 app->settings.databasePath);
    return 1;
  }
  return 0;
}

}  // namespace plinka::cli
