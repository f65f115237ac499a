// What the song table keeps of a song's loudness, the gains it gives, and
// the job that fills it: which songs it measures and in what order, what it
// holds while a file is read, and that it never writes over a value or a
// record that changed meanwhile. The job runs on real threads with the clock
// sped up and a stand-in measurer.
#include "library/loudness.h"
#include "library/loudness_job.h"

#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "play/song_details.h"
#include "support/scheduler_fixture.h"
#include "support/song_table.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace plinka::test {
namespace {

using library::decodeLoudness;
using library::encodeLoudness;
using library::SongLoudness;

TEST(Loudness, ValuesRoundTripAndAreNeverZero) {
  struct Case {
    const char* what;
    bool fromTags;
    std::optional<double> lufs;
    uint32_t seconds;
    bool hasLevel;
    double lufsBack;
    uint32_t secondsBack;
  } cases[] = {
      {"measured", false, -9.2, 200, true, -9.2, 200},
      {"from tags", true, -23.45, 3, true, -23.45, 3},
      {"silent", false, std::nullopt, 60, false, 0, 60},
      {"no length", false, -14.0, 0, true, -14.0, 0},
      {"length capped", false, -14.0, 100000, true, -14.0, library::kLoudnessSecondsMax},
      {"very loud", false, 3.0, 10, true, 3.0, 10},
      {"quietest kept", false, -400.0, 10, true, -327.67, 10},
      {"not a number", false, std::nan(""), 10, false, 0, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t field = encodeLoudness(c.fromTags, c.lufs, c.seconds);
    EXPECT_NE(field & library::kLoudnessKnownBit, 0u) << "any known value is nonzero";
    const SongLoudness s = decodeLoudness(field);
    EXPECT_TRUE(s.known);
    EXPECT_EQ(s.fromTags, c.fromTags);
    EXPECT_EQ(s.hasLevel, c.hasLevel);
    if (c.hasLevel) {
      EXPECT_NEAR(s.lufs, c.lufsBack, 0.006);
    }
    EXPECT_EQ(s.seconds, c.secondsBack);
  }
  EXPECT_FALSE(decodeLoudness(0).known) << "every record imported before holds 0";
  EXPECT_FALSE(decodeLoudness(12345).known) << "a number without the known bit means nothing";
}

TEST(Loudness, GainsAndTheirWords) {
  EXPECT_NEAR(library::gainForLoudness(-9.2), -8.8, 1e-9);
  EXPECT_NEAR(library::gainForLoudness(-23.0), 5.0, 1e-9);
  EXPECT_EQ(library::gainForLoudness(-70.0), library::kHighestGainDb) << "near silence is not raised into noise";
  EXPECT_EQ(library::gainForLoudness(20.0), library::kLowestGainDb);

  EXPECT_EQ(library::describeLoudness(encodeLoudness(false, -9.2, 10)), "\xE2\x88\x92"
                                                                        "9.2 LUFS, \xE2\x88\x92"
                                                                        "8.8 dB (measured)");
  EXPECT_EQ(library::describeLoudness(encodeLoudness(true, -23.0, 10)), "\xE2\x88\x92"
                                                                        "23.0 LUFS, +5.0 dB (from tags)");
  EXPECT_EQ(library::describeLoudness(encodeLoudness(false, -18.0, 10)), "\xE2\x88\x92"
                                                                         "18.0 LUFS, 0.0 dB (measured)");
  EXPECT_EQ(library::describeLoudness(0), "Not measured yet");
  EXPECT_EQ(library::describeLoudness(encodeLoudness(false, std::nullopt, 10)), "No level (silent, or not decodable)");
}

TEST(Loudness, AlbumsCombineByEnergyAndLengthAndTheMedianSkipsSongsWithoutLevel) {
  auto song = [](double lufs, uint32_t seconds) { return decodeLoudness(encodeLoudness(false, lufs, seconds)); };
  EXPECT_NEAR(*library::combinedLoudness({song(-12, 100), song(-12, 300)}), -12.0, 0.01);
  // Equal lengths: 10 log10((10^-1 + 10^-2) / 2).
  EXPECT_NEAR(*library::combinedLoudness({song(-10, 100), song(-20, 100)}), -12.6, 0.01);
  // A long quiet song weighs more than a short loud one.
  EXPECT_LT(*library::combinedLoudness({song(-10, 10), song(-20, 1000)}), -19.0);
  const SongLoudness silent = decodeLoudness(encodeLoudness(false, std::nullopt, 100));
  EXPECT_NEAR(*library::combinedLoudness({song(-15, 100), silent}), -15.0, 0.01);
  EXPECT_FALSE(library::combinedLoudness({silent}).has_value());
  EXPECT_FALSE(library::combinedLoudness({}).has_value());

  std::vector<uint32_t> none = {0, 0, encodeLoudness(false, std::nullopt, 5)};
  EXPECT_EQ(library::medianGain(none), library::kUnmeasuredGainDb);
  std::vector<uint32_t> fields = {encodeLoudness(false, -8, 1), 0, encodeLoudness(true, -20, 1),
                                  encodeLoudness(false, std::nullopt, 1), encodeLoudness(false, -14, 1)};
  EXPECT_NEAR(library::medianGain(fields), -4.0, 0.01) << "the middle of -8, -14 and -20 LUFS";
}

TEST(Loudness, AnAlbumIsItsNameInItsFolder) {
  TempDir dir;
  db::TableHandle h;
  struct Row {
    const char* file;
    const char* album;
    uint32_t loudness;
  };
  const std::vector<Row> rows = {
      {"", "", 0},  // the empty record 0
      {"/m/a/1.mp3", "Blue", encodeLoudness(false, -10, 100)},
      {"/m/a/2.mp3", "Blue", encodeLoudness(false, -20, 100)},
      {"/m/a/3.mp3", "Blue", 0},                                   // not measured: left out
      {"/m/b/1.mp3", "Blue", encodeLoudness(false, -30, 100)},     // same name, other folder
      {"/m/a/4.mp3", "Green", encodeLoudness(false, -30, 100)},    // other album, same folder
      {"/m/a/sub/5.mp3", "Blue", encodeLoudness(false, -30, 100)}  // a folder below is another folder
  };
  makeSongTable(h, dir.path() + "songs.cvf", static_cast<uint32_t>(rows.size()), [&](db::TableHandle& t, uint32_t k) {
    putText(t, k, db::FileName, rows[k].file);
    putText(t, k, db::Album, rows[k].album);
    putNumber(t, k, db::Loudness, rows[k].loudness);
  });
  ASSERT_TRUE(db::openMapped(h));
  for (uint32_t slot : {1u, 2u, 3u}) {
    const SongLoudness album = decodeLoudness(library::albumLoudness(h, slot));
    ASSERT_TRUE(album.hasLevel) << slot;
    EXPECT_NEAR(album.lufs, -12.6, 0.01) << slot;
    EXPECT_EQ(album.seconds, 200u);
  }
  EXPECT_EQ(library::albumLoudness(h, 0), 0u) << "no song of the empty record's album has a level";
  db::closeTable(h);
}

class LoudnessJobTest : public SchedulerTest {
protected:
  LoudnessJobTest() {
    app->folders.program = dir.path();
    app->folders.data = dir.path();
    firstRunDefaults(app->settings, app->folders);
    app->settings.levelling = static_cast<uint32_t>(Levelling::BySong);
    shareSettings(*app);
    std::filesystem::create_directories(dir.path() + "music");
    app->loudness.measure = [this](const char* path, const std::atomic<uint32_t>*) {
      const std::lock_guard lock(seenLock);
      measured.push_back(path);
      heldWhileMeasuring.push_back(app->run.busyCode.load() == codeValue(BusyCode::Loudness) ||
                                   app->songTable.isOpen());
      if (duringMeasure)
        duringMeasure(path);
      platform::LoudnessResult m;
      const auto found = results.find(path);
      if (found == results.end()) {
        m.outcome = platform::LoudnessResult::Outcome::Failed;
        return m;
      }
      m.outcome = platform::LoudnessResult::Outcome::Measured;
      m.lufs = found->second;
      m.durationMs = 30000;
      return m;
    };
  }

  std::string song(uint32_t n) const { return dir.path() + "music/song" + std::to_string(n) + ".mp3"; }

  // Songs 1..count in records 1..count, each with a file; `loudness` gives
  // the records' starting values. Each measures as -10 - n LUFS.
  void makeSongs(uint32_t count, const std::map<uint32_t, uint32_t>& loudness = {}) {
    makeSongTable(app->songTable, app->settings.databasePath, count + 1, [&](db::TableHandle& h, uint32_t k) {
      if (k == 0)
        return;
      writeFile(song(k), "not really music " + std::to_string(k));
      putText(h, k, db::FileName, song(k));
      const auto given = loudness.find(k);
      putNumber(h, k, db::Loudness, given == loudness.end() ? 0 : given->second);
      results[song(k)] = -10.0 - k;
    });
  }

  uint32_t stored(uint32_t record) { return storedNumber(app->settings.databasePath, record, db::Loudness); }
  void storeDirectly(uint32_t record, uint32_t field, const std::string& textValue, uint32_t value) {
    db::TableHandle h;
    text::copy(h.path, app->settings.databasePath);
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    if (field == db::FileName)
      putText(h, record, field, textValue);
    else
      putNumber(h, record, field, value);
    db::closeTable(h);
  }
  static void writeFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }

  TempDir dir;
  std::mutex seenLock;
  std::vector<std::string> measured;
  std::vector<bool> heldWhileMeasuring;
  std::map<std::string, double> results;
  std::function<void(const char*)> duringMeasure;
};

TEST_F(LoudnessJobTest, MeasuresTheUnmeasuredListedSongsFirstWithoutHoldingTheTable) {
  const uint32_t kept = encodeLoudness(false, -5.0, 10);
  makeSongs(9, {{4, kept}});
  std::filesystem::remove(song(6));  // a file out of reach: tried again later
  results.erase(song(8));            // a file that does not decode
  app->listedFiles = [this] { return std::vector<std::string>{song(7), song(3)}; };
  startHeartbeat(*app);

  const library::LoudnessOutcome outcome = library::runLoudnessJob(*app);

  EXPECT_EQ(app->loudness.running.load(), 0u);
  ASSERT_GE(measured.size(), 2u);
  EXPECT_EQ(measured[0], song(7)) << "the upcoming songs first";
  EXPECT_EQ(measured[1], song(3));
  for (bool held : heldWhileMeasuring)
    EXPECT_FALSE(held) << "the song table is given back before a file is read";
  for (uint32_t n : {1u, 2u, 3u, 5u, 7u, 9u}) {
    const SongLoudness s = decodeLoudness(stored(n));
    EXPECT_TRUE(s.hasLevel && !s.fromTags) << n;
    EXPECT_NEAR(s.lufs, -10.0 - n, 0.01) << n;
    EXPECT_EQ(s.seconds, 30u) << n;
  }
  EXPECT_EQ(stored(4), kept) << "a song measured before is left alone";
  EXPECT_EQ(stored(6), 0u) << "a missing file is not marked";
  const SongLoudness undecodable = decodeLoudness(stored(8));
  EXPECT_TRUE(undecodable.known && !undecodable.hasLevel) << "tried once, not at every walk";
  EXPECT_EQ(outcome.measured, 7u);
  EXPECT_EQ(outcome.failed, 1u);
  EXPECT_EQ(app->loudness.songs.load(), 9u);
  EXPECT_EQ(app->loudness.known.load(), 8u);
  EXPECT_EQ(library::loudnessProgressText(*app), "Loudness: 8 of 9 measured");
  // The median of -5, -11, -12, -13, -15, -17, -19 LUFS (the undecodable
  // song has no level) is -13 LUFS: a gain of -5 dB.
  EXPECT_NEAR(library::unmeasuredGain(*app), -5.0, 0.01);

  // A second run finds only the missing file, still missing.
  measured.clear();
  library::runLoudnessJob(*app);
  EXPECT_TRUE(measured.empty());
}

TEST_F(LoudnessJobTest, NeverWritesOverAValueOrARecordThatChangedMeanwhile) {
  makeSongs(3);
  const uint32_t edited = encodeLoudness(true, -7.0, 5);
  duringMeasure = [&](const char* path) {
    if (path == song(1))
      storeDirectly(1, db::Loudness, "", edited);  // another program stored a value
    if (path == song(2))
      storeDirectly(2, db::FileName, song(2) + ".moved", 0);  // the record now holds another file
  };
  startHeartbeat(*app);
  library::runLoudnessJob(*app);
  EXPECT_EQ(stored(1), edited);
  EXPECT_EQ(stored(2), 0u);
  EXPECT_TRUE(decodeLoudness(stored(3)).hasLevel);
}

TEST_F(LoudnessJobTest, AllMeasuresEverySongAgainAndTagsNeedNoMeasuring) {
  makeSongs(2, {{1, encodeLoudness(false, -30.0, 10)}, {2, encodeLoudness(false, -30.0, 10)}});
  // A file with a ReplayGain track tag.
  const std::string tagged = dir.path() + "music/tagged.flac";
  const std::string make = "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=1 -metadata "
                           "REPLAYGAIN_TRACK_GAIN=\"-6.50 dB\" '" +
                           tagged + "'";
  ASSERT_EQ(std::system(make.c_str()), 0);
  storeDirectly(2, db::FileName, tagged, 0);
  startHeartbeat(*app);

  library::LoudnessRun run;
  run.all = true;
  std::vector<uint32_t> progress;
  run.progress = [&](const std::string&, uint32_t done, uint32_t total) {
    progress.push_back(done);
    EXPECT_EQ(total, 2u);
  };
  const library::LoudnessOutcome outcome = library::runLoudnessJob(*app, run);
  EXPECT_EQ(outcome.measured, 2u);
  EXPECT_EQ(progress, (std::vector<uint32_t>{1, 2}));
  EXPECT_NEAR(decodeLoudness(stored(1)).lufs, -11.0, 0.01);
  const SongLoudness fromTags = decodeLoudness(stored(2));
  EXPECT_TRUE(fromTags.fromTags);
  EXPECT_NEAR(fromTags.lufs, -11.5, 0.01) << "the reference less the track gain";
  EXPECT_EQ(fromTags.seconds, 1u);
  EXPECT_EQ(measured, (std::vector<std::string>{song(1)}));
}

TEST_F(LoudnessJobTest, LevellingOffOrAShortListStartsNothing) {
  makeSongs(2);
  app->shared.levelling.store(static_cast<uint32_t>(Levelling::Off));
  app->run.listCount.store(100);
  library::startLoudnessJob(*app);
  app->shared.levelling.store(static_cast<uint32_t>(Levelling::ByAlbum));
  app->run.listCount.store(library::kLoudnessShortestList - 1);
  library::startLoudnessJob(*app);
  app->jobThreads.waitAll();
  EXPECT_TRUE(measured.empty());
  EXPECT_EQ(stored(1), 0u);
}

}  // namespace
}  // namespace plinka::test
