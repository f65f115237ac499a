// The quick-link lists on a song table of 100,000 songs, against one read
// pass over the same table (the table opened for reading, the Album of every
// record in use read, the table closed).
//
// Measured per list kind: one build as the builder does it (open, one walk
// over the matching records, close), and the whole way from a song change to
// the list being ready: the song start asks for the builder, which asks the
// running heartbeat for exclusive use, searches and marks the list ready.
// Prints the medians in ms and as ratios to the read pass; the song change to
// a ready list is meant to stay under 50 ms.
#include "app/app.h"
#include "app/scheduler.h"
#include "core/busy_code.h"
#include "core/run_state.h"
#include "core/settings_defaults.h"
#include "core/settings_shared.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "play/quick_links.h"
#include "play/song_details.h"
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
#include <thread>
#include <vector>

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

using plinka::bench::setNumber;
using plinka::bench::setText;

constexpr uint32_t kSongs = 100000;
constexpr uint32_t kArtists = 2000;             // 50 songs each
constexpr uint32_t kAlbumsPerArtist = 4;        // about 12 songs an album
constexpr uint32_t kLiveEvery = 10;             // one song in ten has the comment "Live"
constexpr const char kTitleShared[] = "Intro";  // one song in 200 is called this
constexpr int kRounds = 9;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string artistOf(uint32_t k) { return "Artist " + std::to_string(k % kArtists); }
std::string albumOf(uint32_t k) { return artistOf(k) + " album " + std::to_string((k / kArtists) % kAlbumsPerArtist); }
std::string titleOf(uint32_t k) { return k % 200 == 7 ? kTitleShared : "Song " + std::to_string(k); }
std::string commentOf(uint32_t k) { return k % kLiveEvery == 3 ? "Live" : ""; }

bool buildTable(App& app) {
  const std::string path = text::fixedText(app.settings.databasePath);
  if (!db::createSongTable(path.c_str()))
    return false;
  db::TableHandle& h = app.songTable;
  text::copy(h.path, path.c_str());
  h.writable = 1;
  if (!db::openMapped(h))
    return false;
  std::mt19937 rng(5);
  for (uint32_t k = db::countInUse(h); k < kSongs; ++k) {
    const int32_t s = db::allocate(h);
    if (s < 0)
      return false;
    const auto slot = static_cast<uint32_t>(s);
    setText(h, slot, db::FileName, "/home/listener/Music/" + albumOf(k) + "/" + titleOf(k) + ".mp3");
    setText(h, slot, db::Name, titleOf(k));
    setText(h, slot, db::Artist, artistOf(k));
    setText(h, slot, db::Album, albumOf(k));
    setText(h, slot, db::Comment, commentOf(k));
    for (uint32_t u = 0; u < kUserCount; ++u)
      setNumber(h, slot, db::scoreField(u), rng() % 600);
  }
  db::closeTable(h);
  return true;
}

// Makes song k the current one, as the player's start does.
void playing(App& app, uint32_t k) {
  play::SongDetails d;
  std::snprintf(d.title, sizeof d.title, "%s", titleOf(k).c_str());
  std::snprintf(d.artist, sizeof d.artist, "%s", artistOf(k).c_str());
  std::snprintf(d.album, sizeof d.album, "%s", albumOf(k).c_str());
  std::snprintf(d.comment, sizeof d.comment, "%s", commentOf(k).c_str());
  play::setCurrentDetails(app, d);
  play::markQuickLinksOutOfDate(app);
}

struct Kind {
  const char* name;
  uint32_t kind;
  uint32_t song;  // the current song: its key's matches
};

void chooseList(App& app, uint32_t kind) {
  setPictureSetting(app, PictureSetting::CoverChoice, 1);
  setPictureSetting(app, PictureSetting::QuickLinkChoice, kind);
}

// One build on this thread with exclusive use at hand.
double buildOnce(App& app, const Kind& k, size_t& rows) {
  playing(app, k.song);
  const auto start = Clock::now();
  grantExclusiveNow(app, BusyCode::QuickLinks);
  play::buildQuickLinks(app);
  const double took = secondsSince(start);
  play::QuickLinkList list;
  play::copyQuickLinks(app, k.kind, list);
  rows = list.rows.size();
  return took;
}

// From the song change to a ready list, with the heartbeat granting access.
double songChangeToReady(App& app, const Kind& k) {
  playing(app, k.song);
  const auto start = Clock::now();
  play::askForQuickLinks(app);
  while (app.quickLinks.ready.load() != 1)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  return secondsSince(start);
}

}  // namespace

int main() {
  auto app = bench::makeScratchApp("plinka-quick-links-bench");
  if (!app)
    return 1;

  if (!buildTable(*app)) {
    std::fprintf(stderr, "quick_links_bench: cannot build the song table\n");
    return 1;
  }
  std::printf("song table: %u songs, %u artists; %lld bytes\n", kSongs, kArtists,
              static_cast<long long>(std::filesystem::file_size(app->settings.databasePath)));

  const Kind kinds[] = {
      {"album (12 matches)", play::kQuickLinksAlbum, 42},
      {"artist (50 matches)", play::kQuickLinksArtist, 42},
      {"title (500 matches)", play::kQuickLinksTitle, 207},
      {"comment (10000 matches)", play::kQuickLinksComment, 13},
  };

  std::vector<double> reads;
  uint64_t check = 0;
  for (int round = 0; round < kRounds; ++round)
    reads.push_back(bench::readPass(*app, db::SongTableOpen::Mode::Reading, db::Album, check));
  const double read = median(reads);
  std::printf("read pass (Album of every record):        %8.2f ms  (check %llu)\n", read * 1e3,
              static_cast<unsigned long long>(check % 1000));

  std::vector<double> builds[std::size(kinds)];
  size_t rows[std::size(kinds)] = {};
  for (size_t i = 0; i < std::size(kinds); ++i) {
    chooseList(*app, kinds[i].kind);
    for (int round = 0; round < kRounds; ++round)
      builds[i].push_back(buildOnce(*app, kinds[i], rows[i]));
  }

  // The same with the threads of a running player.
  app->hooks.startQuickLinkBuilder = [a = app.get()] { play::startQuickLinkBuilder(*a); };
  app->run.playerRunning.store(1);
  startHeartbeat(*app);
  std::vector<double> changes[std::size(kinds)];
  for (size_t i = 0; i < std::size(kinds); ++i) {
    chooseList(*app, kinds[i].kind);
    for (int round = 0; round < kRounds; ++round)
      changes[i].push_back(songChangeToReady(*app, kinds[i]));
  }
  app->run.commandSlot.store(kQuitCode);
  stopScheduler(*app);

  double worst = 0;
  for (size_t i = 0; i < std::size(kinds); ++i) {
    const double build = median(builds[i]);
    const double change = median(changes[i]);
    worst = std::max(worst, change);
    std::printf("%-24s %2zu rows  build %7.2f ms (%5.2f read passes)  song change to ready %7.2f ms (%5.2f)\n",
                kinds[i].name, rows[i], build * 1e3, build / read, change * 1e3, change / read);
  }
  std::printf("slowest song change to a ready list:      %8.2f ms  (target under 50)\n", worst * 1e3);
  std::filesystem::remove_all(app->folders.data);
  return 0;
}
