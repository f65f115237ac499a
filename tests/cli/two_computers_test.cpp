// Two computers on one share: two data folders in network mode use one song
// table in a share folder. At the same time each imports a folder of its own
// into it, rates its songs and builds lists from it, each through plinkactl
// as separate processes. Afterwards the share's table holds every song once
// and every rating either side stored is there. Five rounds in a row.
#include "app/app.h"
#include "app/settings_file.h"
#include "core/settings_defaults.h"
#include "db/filename_index.h"
#include "db/records.h"
#include "db/table.h"
#include "support/fake_ui.h"
#include "support/run_plinkactl.h"
#include "support/temp_dir.h"
#include "support/tone_wav.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace plinka::test {
namespace {

constexpr int kSongsEach = 40;
constexpr int kRatingsEach = 12;
constexpr int kTries = 50;  // an import or a rating the share was too busy for is tried again

// A data folder whose settings put the song table on the share.
void makeNetworkDataFolder(const std::string& data, const std::string& shareTable) {
  std::filesystem::create_directories(data);
  auto app = std::make_unique<App>();
  FakeUi ui;
  app->ui = &ui;
  app->folders.program = data;
  app->folders.data = data;
  firstRunDefaults(app->settings, app->folders);
  app->settings.networkMode = 1;
  app->settings.localDbFlag = 0;
  text::copy(app->settings.databasePath, shareTable.c_str());
  ASSERT_TRUE(saveSettings(*app));
}

struct Side {
  std::string data;
  std::vector<std::string> songs;
  std::map<std::string, uint32_t> ratings;  // the last rating stored for each song
  std::vector<std::string> failures;        // what went wrong, for the report
};

// One computer's session: its import, then ratings and list builds in turn.
void runSide(Side& side, const std::string& music, uint32_t seed) {
  TempDir scratch;
  ProgramResult imported;
  for (int t = 0; t < kTries && imported.exitCode != 0; ++t)
    imported = runPlinkactl(scratch, {"--data", side.data, "import", music});
  if (imported.exitCode != 0 || imported.out.find("added=" + std::to_string(kSongsEach) + " ") == std::string::npos)
    side.failures.push_back("import: " + imported.out + imported.err);
  std::mt19937 rng(seed);
  for (int k = 0; k < kRatingsEach; ++k) {
    const std::string& song = side.songs[rng() % side.songs.size()];
    const uint32_t rating = rng() % 11;
    ProgramResult rated;
    for (int t = 0; t < kTries && rated.exitCode != 0; ++t)
      rated = runPlinkactl(scratch, {"--data", side.data, "rate", song, std::to_string(rating)});
    if (rated.exitCode == 0)
      side.ratings[song] = rating;
    else
      side.failures.push_back("rating of " + song + " never stored: " + rated.err);
    const ProgramResult built = runPlinkactl(scratch, {"--data", side.data, "build", "--count", "2"});
    if (built.exitCode != 0 && built.exitCode != 1)
      side.failures.push_back("build ended abnormally: " + built.err);
  }
}

std::vector<std::string> songsIn(const std::string& folder, int count, int seed) {
  std::vector<std::string> songs;
  for (int i = 0; i < count; ++i) {
    const std::string album = folder + "Artist " + std::to_string(i) + "/Album/";
    std::filesystem::create_directories(album);
    songs.push_back(album + "tone " + std::to_string(i) + ".wav");
    writeToneWav(songs.back(), 40, 300.0 + seed + i, 8000);
  }
  return songs;
}

TEST(TwoComputers, ImportsRatingsAndBuildsOnOneShareLoseNothing) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempDir dir;
    const std::string share = dir.file("share/");
    const std::string table = share + "Plinka.cvf";
    std::filesystem::create_directories(share);
    ASSERT_TRUE(db::createSongTable(table.c_str()));
    Side a, b;
    a.data = dir.file("computer-a/");
    b.data = dir.file("computer-b/");
    makeNetworkDataFolder(a.data, table);
    makeNetworkDataFolder(b.data, table);
    a.songs = songsIn(share + "a/", kSongsEach, 0);
    b.songs = songsIn(share + "b/", kSongsEach, 100);

    auto sideA = std::async(std::launch::async, [&] { runSide(a, share + "a/", 11 + round); });
    auto sideB = std::async(std::launch::async, [&] { runSide(b, share + "b/", 23 + round); });
    sideA.get();
    sideB.get();
    for (const Side* side : {&a, &b})
      for (const std::string& failure : side->failures)
        ADD_FAILURE() << side->data << ": " << failure;

    SettingsRecord settings{};
    firstRunDefaults(settings, Folders{dir.path(), dir.path(), ""});
    db::TableHandle h;
    text::copy(h.path, table.c_str());
    ASSERT_TRUE(db::openMapped(h));
    std::multiset<std::string> names;
    db::forEachInUse(h, [&](uint32_t s) {
      db::readField(h, s, db::FileName);
      if (h.text[0] != '\0')
        names.insert(h.text);
    });
    std::set<std::string> expected(a.songs.begin(), a.songs.end());
    expected.insert(b.songs.begin(), b.songs.end());
    EXPECT_EQ(names.size(), expected.size()) << "every song once";
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
    for (const Side* side : {&a, &b}) {
      for (const auto& [song, rating] : side->ratings) {
        const int32_t record = db::findFileNamePreferExact(h, song.c_str());
        ASSERT_GE(record, 0) << song;
        db::readField(h, static_cast<uint32_t>(record), db::scoreField(0));
        EXPECT_EQ(db::ratingOfScore(settings, h.value), rating) << song;
      }
    }
    db::closeTable(h);
  }
}

}  // namespace
}  // namespace plinka::test
