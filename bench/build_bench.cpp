// The list builder's cost per draw on a collection of 1,000 songs and one of
// 100,000: each builds a list of 100 songs from the same seeded draws, once
// mapping draws to records through the table's per-block counts and once by
// walking every slot from the first, which must choose the same songs.
//
// A draw is timed from one draw to the next within a pass (its chain of
// tests and the yield after it); the pass's opening and closing of the
// table is left out, as it does not depend on the number of draws. The cost
// per draw is the median of those times over several builds, each on a
// fresh copy of the table: the yield after every draw lets the machine's
// other work in now and then, which a mean would count.
#include "app/app.h"
#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "play/list_builder.h"
#include "table_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kListLength = 100;
constexpr uint32_t kArtists = 5000;
constexpr uint32_t kDrawSeed = 11;
constexpr int kRepeats = 5;

// The n-th record in use found by looking at every slot from the first.
int32_t plainWalk(const db::TableHandle& h, uint32_t n) {
  if (n == 0)
    return -1;
  uint32_t seen = 0;
  for (uint32_t s = 0; s < h.slotCount; ++s)
    if (db::getStatus(h, s) == static_cast<int32_t>(db::kStatusInUse) && ++seen == n)
      return static_cast<int32_t>(s);
  return -1;
}

struct BuildRun {
  std::vector<std::string> chosen;
  uint64_t draws = 0;
  std::vector<double> drawSeconds;    // one entry per timed draw
  std::vector<double> lookupSeconds;  // the record lookup of each draw
  double passSeconds = 0;
};

BuildRun buildList(const std::string& folder, const std::string& tablePath, bool walk) {
  auto app = std::make_unique<App>();
  app->folders.data = folder;
  app->folders.program = folder;
  firstRunDefaults(app->settings, app->folders);
  std::snprintf(app->settings.databasePath, sizeof app->settings.databasePath, "%s", tablePath.c_str());
  app->settings.prepareCount = kListLength;
  app->clock.speed = 1000;  // the grant's 1 ms nap
  // The player's start-up count of the songs.
  std::snprintf(app->songTable.path, sizeof app->songTable.path, "%s", tablePath.c_str());
  db::openMapped(app->songTable);
  db::closeTable(app->songTable);

  BuildRun run;
  std::mt19937 rng(kDrawSeed);
  bool passStart = true;
  Clock::time_point last;
  app->builder.drawForTests = [&](uint32_t n) {
    const Clock::time_point now = Clock::now();
    if (!passStart)
      run.drawSeconds.push_back(std::chrono::duration<double>(now - last).count());
    passStart = false;
    last = now;
    ++run.draws;
    return 1 + static_cast<uint32_t>(rng() % n);
  };
  if (walk) {
    app->builder.positionForTests = plainWalk;
  } else {
    app->builder.positionForTests = [&run](const db::TableHandle& h, uint32_t n) {
      const Clock::time_point start = Clock::now();
      const int32_t slot = db::nthInUse(h, n);
      run.lookupSeconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      return slot;
    };
  }

  app->run.buildState = kBuildWanted;
  const Clock::time_point start = Clock::now();
  for (int passes = 0; app->run.buildState.load() != kBuildIdle && passes < 10000; ++passes) {
    grantExclusiveNow(*app, BusyCode::ListBuild);
    passStart = true;
    play::buildPass(*app);
  }
  run.passSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (const play::ListRow& row : app->list.rows())
    run.chosen.push_back(row.column[play::FileName]);
  return run;
}

double median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

double mean(const std::vector<double>& v) {
  double sum = 0;
  for (const double x : v)
    sum += x;
  return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

struct SizeResult {
  double perDraw = 0;
  double perLookup = 0;
  bool same = false;
};

SizeResult measure(const std::string& folder, uint32_t songs) {
  const std::string original = folder + "/songs" + std::to_string(songs) + ".cvf";
  const std::string working = folder + "/working.cvf";
  if (!bench::makeRatedSongTable(original, songs, kArtists)) {
    std::fprintf(stderr, "build_bench: cannot make a table of %u songs\n", songs);
    std::exit(1);
  }
  namespace fs = std::filesystem;
  BuildRun counted;
  std::vector<double> times, lookups;
  for (int k = 0; k < kRepeats; ++k) {
    fs::copy_file(original, working, fs::copy_options::overwrite_existing);
    counted = buildList(folder + "/", working, false);
    times.insert(times.end(), counted.drawSeconds.begin(), counted.drawSeconds.end());
    lookups.insert(lookups.end(), counted.lookupSeconds.begin(), counted.lookupSeconds.end());
  }
  fs::copy_file(original, working, fs::copy_options::overwrite_existing);
  const BuildRun walked = buildList(folder + "/", working, true);

  SizeResult result;
  result.perDraw = median(times);
  result.perLookup = median(lookups);
  result.same = counted.chosen == walked.chosen && counted.chosen.size() == kListLength;
  std::printf("%7u songs: %zu chosen in %llu draws, same choices as the plain walk: %s\n", songs, counted.chosen.size(),
              static_cast<unsigned long long>(counted.draws), result.same ? "yes" : "NO");
  std::printf("  per draw: %.3f us median, %.3f us mean over %d builds; of that the record lookup %.3f us median\n",
              result.perDraw * 1e6, mean(times) * 1e6, kRepeats, result.perLookup * 1e6);
  std::printf("  per draw with the plain walk: %.3f us median; whole passes of one build: %.1f ms\n",
              median(walked.drawSeconds) * 1e6, counted.passSeconds * 1e3);
  return result;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "plinka-build-bench-XXXXXX").string();
  if (!mkdtemp(folder.data()))
    return 1;
  const SizeResult small = measure(folder, 1000);
  const SizeResult large = measure(folder, 100000);
  std::filesystem::remove_all(folder);

  std::printf("cost per draw, 100,000 songs / 1,000 songs: %.2f (target: at most 2)\n", large.perDraw / small.perDraw);
  std::printf("record lookup, 100,000 songs / 1,000 songs: %.2f\n", large.perLookup / small.perLookup);
  return small.same && large.same ? 0 : 1;
}
