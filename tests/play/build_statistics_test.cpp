// The list builder over a long run on a collection of 2,000 songs: how often
// each rating comes up, and the rules that hold for every choice.

#include "play/list_builder.h"
#include "support/play_fixture.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <deque>
#include <map>
#include <random>
#include <set>

namespace plinka::test {
namespace {

constexpr uint32_t kSongs = 2000;
constexpr uint32_t kArtists = 200;
// Choices before the measured ones, while the quality balance climbs from
// 50 and the history and artist memories fill.
constexpr uint32_t kWarmUpChoices = 600;
constexpr uint32_t kMeasuredChoices = 6000;

uint32_t ratingOfSong(uint32_t k) { return k % 11; }
// Score 0 for rating 0, else the rating's threshold 1, 2, 4 ... 512.
uint32_t scoreOfSong(uint32_t k) { return ratingOfSong(k) == 0 ? 0 : 1u << (ratingOfSong(k) - 1); }
// 200 artists with ten songs each, of mixed ratings; half of each artist's
// songs spell the name in capitals.
std::string artistOfSong(uint32_t k) {
  std::string name = "Artist " + std::to_string(k % kArtists);
  if ((k / kArtists) % 2 == 1)
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
  return name;
}

class BuildStatisticsTest : public PlayTest {};

TEST_F(BuildStatisticsTest, RatingsComeUpAtTheRatesTheirCreditGives) {
  // Every song starts with a credit anywhere from 1 to the target value, as
  // in a collection that has been played from for a long time. (Freshly
  // imported songs all start at the target value and ripen on their first
  // draw; a rating-1 song then takes a thousand of its own draws, some two
  // million draws in all, before its rate settles.)
  std::mt19937 rng(20240601);
  std::vector<Song> songs(kSongs);
  for (uint32_t k = 0; k < kSongs; ++k) {
    songs[k].fileName = "/music/" + std::to_string(k) + ".mp3";
    songs[k].artist = artistOfSong(k);
    songs[k].title = "Song " + std::to_string(k);
    songs[k].score = scoreOfSong(k);
    songs[k].target = 1 + static_cast<uint32_t>(rng() % app->settings.targetValue);
  }
  makeTable(songs);
  app->settings.buildTime = 500;
  app->settings.prepareCount = 1000000;
  app->clock.speed = 1000;  // the exclusive-access grant naps 1 ms of clock time
  app->builder.drawForTests = [&rng](uint32_t n) { return 1 + static_cast<uint32_t>(rng() % n); };

  std::vector<uint32_t> chosen;
  const uint32_t total = kWarmUpChoices + kMeasuredChoices;
  for (uint32_t passes = 0; chosen.size() < total && passes < 2 * total; ++passes) {
    const size_t before = app->list.size();
    app->run.buildState = kBuildWanted;
    pass();
    if (app->list.size() > before)
      chosen.push_back(static_cast<uint32_t>(std::stoul(app->list.text(before, play::FileName).substr(7))));
  }
  ASSERT_EQ(chosen.size(), total);

  // The rules every choice keeps.
  uint32_t balance = play::kStartingBalance;
  uint32_t belowFive = 0;
  for (size_t j = 0; j < chosen.size(); ++j) {
    const uint32_t k = chosen[j];
    const uint32_t rating = ratingOfSong(k);
    ASSERT_NE(scoreOfSong(k), 0u) << "a Score of 0 never gathers credit";
    ASSERT_GT(rating + balance - 5, 49u) << "choice " << j << ": rating " << rating << " at balance " << balance;
    balance = rating + balance - 5;
    belowFive += rating < 5;
    for (size_t back = 1; back <= 100 && back <= j; ++back)
      ASSERT_NE(chosen[j - back], k) << "song repeated within 100 choices at " << j;
    for (size_t back = 1; back <= 20 && back <= j; ++back)
      ASSERT_NE(chosen[j - back] % kArtists, k % kArtists) << "artist repeated within 20 choices at " << j;
  }
  EXPECT_EQ(app->builder.dbAverage.load(), balance);
  EXPECT_GT(belowFive, 0u) << "the balance lets low ratings through once it has room";

  // Shares of the measured choices by rating.
  //
  // Expected: a song of Score S gains S credit per unripe draw and spends
  // targetValue (1000) per choice, so it needs about 1000 / S unripe draws
  // plus the draw that chooses it. Draws are uniform over the 2,000 songs,
  // so rating r's share of choices is proportional to
  //   w(r) = n(r) / (1000 / S(r) + 1),
  // n(r) its number of songs. Once warmed up the balance is far above 50 and
  // no longer holds anyone back.
  //
  // Tolerance: 10 % of the expected count, for the draws the formula leaves
  // out (a ripe song drawn while it is in the history of the last 100
  // choices, or its artist among the last 20, waits for its next draw, which
  // slows the most chosen ratings a little), plus three standard deviations
  // of a Poisson count. The draws come from a fixed seed, so the run is the
  // same every time; with it the counts lie within 5 % of the expectation
  // for ratings 5-10.
  std::map<uint32_t, uint32_t> counts;
  for (size_t j = kWarmUpChoices; j < chosen.size(); ++j)
    ++counts[ratingOfSong(chosen[j])];
  std::map<uint32_t, double> weight;
  double weights = 0;
  for (uint32_t k = 0; k < kSongs; ++k)
    if (scoreOfSong(k) != 0) {
      const double w = 1.0 / (1000.0 / scoreOfSong(k) + 1.0);
      weight[ratingOfSong(k)] += w;
      weights += w;
    }
  for (uint32_t r = 1; r <= 10; ++r) {
    const double expected = kMeasuredChoices * weight[r] / weights;
    const double tolerance = 0.1 * expected + 3 * std::sqrt(expected);
    EXPECT_NEAR(counts[r], expected, tolerance) << "rating " << r;
  }
  for (uint32_t r = 2; r <= 10; ++r)
    EXPECT_GT(counts[r], counts[r - 1]) << "rating " << r << " comes up more often than rating " << r - 1;
  EXPECT_EQ(counts[0], 0u);
}

}  // namespace
}  // namespace plinka::test
