// What a big collection adds to start-up: the settings loaded and the
// current State's list (100 songs) loaded against a song table of 100,000
// songs, against the same start with a demo-sized table of 20 songs. The
// difference is printed in read passes of the big table (a read pass opens
// the table, reads one field of every song in use and closes it): the target
// is at most two.
#include "app/settings_file.h"
#include "db/song_table_open.h"
#include "library/playlist_file.h"
#include "platform/files.h"
#include "play/list_file.h"

#include "table_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 5;

std::string songPath(uint32_t i) {
  return "/home/user/Music/Artist " + std::to_string(i / 100) + "/Song " + std::to_string(i) + ".mp3";
}

// A player whose song table holds `songs` songs and whose current State's
// list names 100 of them (spread over the table) or all of them when fewer.
std::unique_ptr<App> makePlayer(const char* name, uint32_t songs) {
  std::unique_ptr<App> app = bench::makeScratchApp(name);
  if (!app || !db::createSongTable(app->settings.databasePath) || !saveSettings(*app))
    return nullptr;
  db::TableHandle h;
  text::copy(h.path, app->settings.databasePath);
  h.writable = 1;
  if (!db::openMapped(h))
    return nullptr;
  for (uint32_t i = 0; i < songs; ++i) {
    const int32_t s = db::allocate(h);
    if (s < 0)
      return nullptr;
    bench::setText(h, static_cast<uint32_t>(s), db::FileName, songPath(i));
    bench::setText(h, static_cast<uint32_t>(s), db::Name, "Song " + std::to_string(i));
    bench::setText(h, static_cast<uint32_t>(s), db::Artist, "Artist " + std::to_string(i / 100));
  }
  db::closeTable(h);
  const uint32_t listed = std::min<uint32_t>(songs, 100);
  std::string text;
  for (uint32_t k = 0; k < listed; ++k)
    library::appendPlaylistLine(text, songPath(k * (songs / listed)));
  if (!platform::replaceFile(play::stateListFileName(*app), text.data(), text.size()))
    return nullptr;
  return app;
}

// The start: settings loaded, the table opened for reading, the list loaded.
double startSeconds(const App& like) {
  App app;
  app.folders = like.folders;
  const auto start = Clock::now();
  loadSettings(app);
  {
    const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
    const std::string listFile = play::stateListFileName(app);
    play::loadPlaylist(app, listFile.c_str());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (app.list.size() != 100 && app.list.size() != 20)
    std::printf("LIST INCOMPLETE: %zu rows\n", app.list.size());
  return seconds;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  const std::unique_ptr<App> demo = makePlayer("plinka-startup-demo", 20);
  const std::unique_ptr<App> big = makePlayer("plinka-startup-big", 100000);
  if (!demo || !big) {
    std::fprintf(stderr, "startup_bench: cannot make the players\n");
    return 1;
  }
  std::vector<double> small, large, pass;
  uint64_t check = 0;
  for (int r = 0; r < kRuns; ++r) {
    small.push_back(startSeconds(*demo));
    large.push_back(startSeconds(*big));
    pass.push_back(bench::readPass(*big, db::SongTableOpen::Mode::Reading, db::FileName, check));
  }
  const double added = median(large) - median(small);
  std::printf("start with 20 songs:        %8.2f ms\n", median(small) * 1e3);
  std::printf("start with 100,000 songs:   %8.2f ms\n", median(large) * 1e3);
  std::printf("one read pass of 100,000:   %8.2f ms\n", median(pass) * 1e3);
  std::printf("added by the big table: %.2f read passes (target at most 2)%s\n", added / median(pass),
              check == 42 ? " " : "");
  return 0;
}
