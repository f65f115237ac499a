// "Remove duplicates" on a song table of 100,000 songs of which 1,000 repeat
// an earlier song's FileName, against one read pass over the same table
// (every record in use walked and its FileName read, the table opened and
// closed as the function does). Prints the medians of both and their ratio;
// the function is meant to stay under 5 read passes.
#include "app/app.h"
#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "core/settings_shared.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/maintenance.h"
#include "text/text.h"

#include "bench_support.h"
#include "table_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

using plinka::bench::setNumber;
using plinka::bench::setText;

constexpr uint32_t kSongs = 100000;
constexpr uint32_t kDuplicates = 1000;
constexpr int kRounds = 7;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Paths as a music folder has them: artist / album / track and title.
std::string songPath(std::mt19937& rng, uint32_t index) {
  static const char* const words[] = {"Kalo", "Mirthe", "Sunra",  "Veldor", "Anjo",  "Nistar", "Belquin", "Oxtra",
                                      "Molu", "Zepe",   "Dorian", "Lumen",  "Tarsa", "Quill",  "Ravel",   "Sonder"};
  auto word = [&] { return std::string(words[rng() % std::size(words)]); };
  char track[8];
  std::snprintf(track, sizeof track, "%02u ", 1 + index % 14);
  return "/home/listener/Music/" + word() + " " + word() + "/" + word() + " " + word() + "/" + track + word() + " " +
         word() + " " + std::to_string(index) + ".mp3";
}

bool buildTable(App& app) {
  const std::string path = text::fixedText(app.settings.databasePath);
  if (!db::createSongTable(path.c_str()))
    return false;
  db::TableHandle& h = app.songTable;
  text::copy(h.path, path.c_str());
  h.writable = 1;
  if (!db::openMapped(h))
    return false;
  std::mt19937 rng(11);
  std::vector<std::string> names;
  names.reserve(kSongs);
  // Every 100th song repeats an earlier one's path.
  for (uint32_t i = db::countInUse(h); i < kSongs; ++i) {
    const bool repeat = i % (kSongs / kDuplicates) == 50 && !names.empty();
    names.push_back(repeat ? names[rng() % names.size()] : songPath(rng, i));
    const int32_t s = db::allocate(h);
    if (s < 0)
      return false;
    const auto slot = static_cast<uint32_t>(s);
    setText(h, slot, db::FileName, names.back());
    setText(h, slot, db::Name, "Title");
    setText(h, slot, db::Artist, "Artist");
    for (uint32_t u = 0; u < kUserCount; ++u)
      setNumber(h, slot, db::scoreField(u), rng() % 600);
  }
  db::closeTable(h);
  return true;
}

}  // namespace

int main() {
  auto app = bench::makeScratchApp("plinka-duplicates-bench");
  if (!app)
    return 1;

  if (!buildTable(*app)) {
    std::fprintf(stderr, "duplicates_bench: cannot build the song table\n");
    return 1;
  }
  std::printf("song table: %u songs, %u of them repeating an earlier path; %lld bytes\n", kSongs, kDuplicates,
              static_cast<long long>(std::filesystem::file_size(app->settings.databasePath)));

  std::vector<double> reads, removes;
  uint64_t check = 0;
  uint32_t removed = 0;
  for (int round = 0; round < kRounds; ++round) {
    reads.push_back(bench::readPass(*app, db::SongTableOpen::Mode::Writing, db::FileName, check));

    app->run.busyCode.store(codeValue(BusyCode::Maintenance));
    auto start = Clock::now();
    const library::MaintenanceResult result =
        library::runMaintenance(*app, library::MaintenanceFunction::RemoveDuplicates, {});
    removes.push_back(secondsSince(start));
    removed = result.changed;

    // The next round starts from the same table.
    app->run.busyCode.store(codeValue(BusyCode::Maintenance));
    library::runMaintenance(*app, library::MaintenanceFunction::UndeleteAll, {});
  }

  const double read = median(reads), remove = median(removes);
  std::printf("read pass (FileName of every record):  %8.2f ms  (check %llu)\n", read * 1e3,
              static_cast<unsigned long long>(check % 1000));
  std::printf("remove duplicates (%u removed):       %8.2f ms\n", removed, remove * 1e3);
  std::printf("ratio remove duplicates / read pass:   %8.2f  (target under 5)\n", remove / read);
  std::filesystem::remove_all(app->folders.data);
  return removed == kDuplicates ? 0 : 1;
}
