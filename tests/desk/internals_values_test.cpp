#include "desk/internals_values.h"

#include "app/app.h"
#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "db/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace plinka {
namespace {

TEST(InternalsValues, NumbersAreDigitsThatFitAWord) {
  struct Case {
    const char* text;
    bool number;
    uint32_t value;
  };
  const Case cases[] = {
      {"0", true, 0},           {"1024", true, 1024}, {" 17 ", true, 17}, {"4294967295", true, 4294967295u},
      {"4294967296", false, 0}, {"", false, 0},       {"   ", false, 0},  {"-1", false, 0},
      {"12abc", false, 0},      {"1 2", false, 0},    {"+5", false, 0},   {"0x10", false, 0},
  };
  for (const Case& c : cases) {
    uint32_t value = 12345;
    EXPECT_EQ(parseUnsigned(c.text, value), c.number) << '"' << c.text << '"';
    if (c.number) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

struct InternalsStore : ::testing::Test {
  SettingsRecord settings{};
  InternalsStore() {
    Folders folders{"/prog/", "/data/", ""};
    firstRunDefaults(settings, folders);
    settings.bufferSize = 40;
    settings.lameCheck = 0;
    settings.autoRateSpeed = 2;
  }
};

// "Alternate" then OK: the new scale takes effect at once, so a song with
// score 2 (rating 2 under the default scale) now shows rating 1.
TEST_F(InternalsStore, AlternateThenOkStoresTheOtherScale) {
  InternalsEntries entries = internalsEntriesOf(settings);
  applyAlternateScheme(entries);
  EXPECT_EQ(storeInternals(settings, entries), "");
  const uint32_t expected[10] = {1, 4, 8, 16, 32, 64, 128, 256, 512, 1024};
  for (int k = 0; k < 10; ++k)
    EXPECT_EQ(+settings.ratingValue[k], expected[k]) << k;
  EXPECT_EQ(+settings.targetValue, 2000u);
  EXPECT_EQ(+settings.defaultImportValue, 32u);
  EXPECT_EQ(db::ratingOfScore(settings, 2), 1u);
  // Neither scheme touches the buffer, the LAME check or the speed.
  EXPECT_EQ(+settings.bufferSize, 40u);
  EXPECT_EQ(+settings.lameCheck, 0u);
  EXPECT_EQ(+settings.autoRateSpeed, 2u);

  applyDefaultScheme(entries);
  EXPECT_EQ(storeInternals(settings, entries), "");
  EXPECT_EQ(+settings.ratingValue[9], 512u);
  EXPECT_EQ(+settings.targetValue, 1000u);
  EXPECT_EQ(+settings.defaultImportValue, 16u);
  EXPECT_EQ(db::ratingOfScore(settings, 2), 2u);
}

TEST_F(InternalsStore, ARatingThatIsNotANumberStoresZero) {
  InternalsEntries entries = internalsEntriesOf(settings);
  entries.ratingValue[3] = "lots";
  entries.ratingValue[4] = " 77 ";
  entries.lameCheck = true;
  entries.autoRateSpeed = 0;
  EXPECT_EQ(storeInternals(settings, entries), "");
  EXPECT_EQ(+settings.ratingValue[3], 0u);
  EXPECT_EQ(+settings.ratingValue[4], 77u);
  EXPECT_EQ(+settings.lameCheck, 1u);
  EXPECT_EQ(+settings.autoRateSpeed, 0u);
}

// The other number fields refuse text that is not a number, naming the
// field, and store nothing at all (the ratings typed beside it included).
TEST_F(InternalsStore, OtherFieldsRefuseTextThatIsNotANumber) {
  const SettingsRecord before = settings;
  struct Case {
    std::string InternalsEntries::*field;
    const char* name;
  };
  for (const Case& c :
       {Case{&InternalsEntries::targetValue, "Target Value"}, Case{&InternalsEntries::defaultImport, "Default Import"},
        Case{&InternalsEntries::bufferSize, "Buffer Size"}}) {
    InternalsEntries entries = internalsEntriesOf(settings);
    entries.ratingValue[0] = "9";
    entries.*c.field = "12 songs";
    const std::string refused = storeInternals(settings, entries);
    EXPECT_NE(refused.find(c.name), std::string::npos) << refused;
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0) << c.name;
  }
}

TEST(InternalsValues, ReadoutsShowTheRunState) {
  auto app = std::make_unique<App>();
  app->settings.buildTime = 700;
  app->details.currentSongScore.store(450);
  app->run.buildState.store(10);
  app->run.workPosition.store(20);
  app->editQueue.writerStep.store(3);
  app->run.commandSlot.store(13);
  app->run.lastTakenCommand.store(2);
  app->run.posterCount.store(1);
  InternalsReadouts r = internalsReadouts(*app);
  EXPECT_EQ(r.buildTime, "700");
  EXPECT_EQ(r.currRate, "450");
  EXPECT_EQ(r.listState, "10");
  EXPECT_EQ(r.lbBuffer, "0");  // no queue yet
  app->editQueue.count.store(7);
  EXPECT_EQ(internalsReadouts(*app).lbBuffer, "7");
  EXPECT_EQ(r.workPos, "20, 3");
  EXPECT_EQ(r.waiting, "13, 2, 1");

  app->run.busyCode.store(codeValue(BusyCode::Import));
  app->run.processorLock.store(1);
  r = internalsReadouts(*app);
  EXPECT_EQ(r.waiting, "13, 2, 1 Doing 30 WaitUp");
}

TEST(InternalsValues, LoudnessReadoutShowsTheJobsProgress) {
  auto app = std::make_unique<App>();
  EXPECT_EQ(internalsReadouts(*app).loudness, "Loudness: not measured while levelling is off");
  app->shared.levelling.store(static_cast<uint32_t>(Levelling::BySong));
  EXPECT_EQ(internalsReadouts(*app).loudness, "Loudness: not counted yet");
  app->loudness.songs.store(20000);
  app->loudness.known.store(1234);
  app->loudness.running.store(1);
  EXPECT_EQ(internalsReadouts(*app).loudness, "Loudness: 1,234 of 20,000 measured (measuring)");
}

}  // namespace
}  // namespace plinka
