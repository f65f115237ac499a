// The volume of each State and the levelling each song is played with, as
// the player hands them to the playback.
#include "play/levelling.h"
#include "play/volume.h"

#include "core/current_state.h"
#include "library/loudness.h"
#include "support/player_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace plinka::test {
namespace {

using library::encodeLoudness;
using Mode = platform::Levelling::Mode;

class VolumeTest : public PlayerTest {
protected:
  VolumeTest() { shareSettings(*app); }
};

TEST_F(VolumeTest, EachStateKeepsItsVolumeAndTheSliderScaleIsCubic) {
  play::setCurrentVolume(*app, 0.3);
  EXPECT_EQ(app->shared.stateVolumeCut[0].load(), 700u);
  EXPECT_EQ(play::stateVolume(*app, 1), 1.0) << "another State keeps full volume";
  EXPECT_EQ(app->status.message, "Volume 30%");
  ASSERT_FALSE(ui.playerChanges.empty());
  EXPECT_TRUE(ui.playerChanges.back().has(PlayerChange::Volume));

  EXPECT_FALSE(play::stepVolume(*app)) << "a change from the controls is made at once";
  ASSERT_FALSE(fake->volumesSet().empty());
  EXPECT_NEAR(fake->volumesSet().back(), 0.027, 1e-9);

  struct Wild {
    double asked, kept;
  } wild[] = {{-0.5, 0.0}, {7.0, 1.0}, {std::nan(""), 1.0}, {-INFINITY, 0.0}, {0.4, 0.4}, {std::nan(""), 0.4}};
  for (const Wild& w : wild) {
    play::setCurrentVolume(*app, w.asked, false);
    EXPECT_EQ(play::currentVolume(*app), w.kept) << w.asked;
  }
}

TEST_F(VolumeTest, AStateSwitchMovesTheVolumeOverHalfASecond) {
  play::setCurrentVolume(*app, 0.8, false);
  play::stepVolume(*app);
  app->shared.stateVolumeCut[3].store(800);  // 0.2 in State 4
  storeCurrentState(*app, 3);
  play::fadeToStateVolume(*app);

  const auto start = std::chrono::steady_clock::now();
  std::vector<double> steps;
  while (auto next = play::stepVolume(*app)) {
    steps.push_back(fake->volumesSet().back());
    std::this_thread::sleep_until(*next);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(play::kVolumeFadeMs));
  ASSERT_GE(steps.size(), 5u) << "in steps, not a jump";
  for (size_t i = 1; i < steps.size(); ++i)
    EXPECT_LE(steps[i], steps[i - 1]);
  EXPECT_LT(steps.front(), 0.8 * 0.8 * 0.8 + 1e-9);
  EXPECT_NEAR(fake->volumesSet().back(), 0.2 * 0.2 * 0.2, 1e-9);
}

TEST_F(VolumeTest, EachSongGetsTheGainOfItsTagsItsLoudnessItsAlbumOrTheMedian) {
  app->loudness.medianGainCenti.store(-450);
  struct Case {
    const char* what;
    Levelling levelling;
    uint32_t loudness;
    uint32_t albumLoudness;
    Mode mode;
    double gain;
  } cases[] = {
      {"off", Levelling::Off, encodeLoudness(false, -10, 5), 0, Mode::Off, 0.0},
      {"by song, measured", Levelling::BySong, encodeLoudness(false, -10, 5), encodeLoudness(false, -20, 9), Mode::Song,
       -8.0},
      {"by song, not measured", Levelling::BySong, 0, 0, Mode::Song, -4.5},
      {"by song, no level", Levelling::BySong, encodeLoudness(false, std::nullopt, 5), 0, Mode::Song, -4.5},
      {"by album", Levelling::ByAlbum, encodeLoudness(false, -10, 5), encodeLoudness(false, -20, 9), Mode::Album, 2.0},
      {"by album, album unknown", Levelling::ByAlbum, encodeLoudness(false, -10, 5), 0, Mode::Album, -8.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    app->shared.levelling.store(static_cast<uint32_t>(c.levelling));
    play::SongDetails song;
    song.loudness = c.loudness;
    song.albumLoudness = c.albumLoudness;
    const platform::Levelling l = play::levellingFor(*app, song);
    EXPECT_EQ(l.mode, c.mode);
    EXPECT_NEAR(l.fallbackGainDb, c.gain, 1e-9);
  }
}

TEST_F(VolumeTest, APlayedSongIsOpenedWithItsLevellingOrItsAlbums) {
  makeSongs(4);
  {
    db::TableHandle& h = app->songTable;
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    putNumber(1, db::Loudness, encodeLoudness(false, -10.0, 100));
    putNumber(2, db::Loudness, encodeLoudness(false, -20.0, 100));
    for (uint32_t slot : {1u, 2u})
      putText(slot, db::Album, "Same");
    db::closeTable(h);
    h.writable = 0;
  }
  listSlots({1, 2, 3});
  struct Case {
    Levelling levelling;
    std::string file;
    Mode mode;
    double gain;
  } cases[] = {
      {Levelling::BySong, songFile(1), Mode::Song, -8.0},
      {Levelling::ByAlbum, songFile(2), Mode::Album, -5.4},  // -12.6 LUFS, the two songs as one
      {Levelling::Off, songFile(3), Mode::Off, 0.0},
  };
  for (const Case& c : cases) {
    app->shared.levelling.store(static_cast<uint32_t>(c.levelling));
    request(play::PlayerRequest::Start);
    ASSERT_EQ(lastOpened(), c.file);
    const platform::Levelling l = fake->levellingsAtOpen().back();
    EXPECT_EQ(l.mode, c.mode) << c.file;
    EXPECT_NEAR(l.fallbackGainDb, c.gain, 0.01) << c.file;
  }
}

}  // namespace
}  // namespace plinka::test
