#include "app/heartbeat.h"
#include "core/run_state.h"
#include "cover_fixture.h"
#include "desk/status_texts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

namespace plinka::test {
namespace {

using library::CoverResult;
using library::loadCover;

struct NameCase {
  const char* label;
  std::vector<std::string> files;  // pictures beside the song
  uint32_t coverChoice;
  std::string shown;
  uint32_t coverFound, discFound, bothFound;
};

TEST_F(CoverTest, PicksThePictureByNameAndChoice) {
  const NameCase cases[] = {
      {"cover in any case, choice cover", {"cover.JPG", "Disc.gif"}, 1, "cover.JPG", 1, 1, 1},
      {"cover and disc, choice disc", {"cover.JPG", "Disc.gif"}, 2, "Disc.gif", 1, 1, 1},
      {"cover and disc, quick links shown", {"cover.JPG", "Disc.gif"}, 10, "cover.JPG", 1, 1, 1},
      {"only a disc, choice cover", {"Disc.bmp"}, 1, "Disc.bmp", 0, 1, 0},
      {"only a cover, choice disc", {"Cover.gif"}, 2, "Cover.gif", 1, 0, 0},
      {"bmp before gif", {"Cover.gif", "Cover.bmp"}, 1, "Cover.bmp", 1, 0, 0},
      {"jpg before bmp", {"DISC.bmp", "disc.jpg"}, 2, "disc.jpg", 0, 1, 0},
      {"cover beats the folder picture", {"Cover.jpg", "Folder.jpg"}, 1, "Cover.jpg", 1, 0, 0},
      {"folder picture beats a random one", {"Folder.jpg", "holiday.jpg"}, 1, "Folder.jpg", 1, 0, 0},
      {"folder picture even for the disc", {"folder.JPG"}, 2, "folder.JPG", 1, 0, 0},
      {"random bmp before random gif", {"scan.gif", "scan.bmp"}, 1, "scan.bmp", 1, 0, 0},
      {"a name only ending in cover is no cover", {"MyCover.gif"}, 1, "MyCover.gif", 1, 0, 0},
      {"an unknown choice still shows what was found", {"Cover.jpg"}, 0, "Cover.jpg", 1, 0, 0},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir folder;
    for (const std::string& name : c.files) {
      place(folder.path(), name);
    }
    setSong(folder.file("song.mp3"));
    app->settings.coverChoice = c.coverChoice;
    app->cover.ready = 0;
    ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
    EXPECT_EQ(shownName(), c.shown);
    EXPECT_EQ(app->cover.coverFound.load(), c.coverFound);
    EXPECT_EQ(app->cover.discFound.load(), c.discFound);
    EXPECT_EQ(app->cover.bothFound.load(), c.bothFound);
    EXPECT_EQ(app->cover.defaultCover.load(), 0u);
    EXPECT_EQ(app->cover.ready.load(), 1u);
    EXPECT_EQ(app->cover.loading.load(), 0u);
    // The picture handed over is the decoded file itself.
    platform::PixelBlock shown;
    platform::PixelBlock expected;
    ASSERT_TRUE(library::copyCoverPicture(*app, shown));
    ASSERT_TRUE(platform::loadPicture(fixturePicture(pictureFor(c.shown)), expected));
    EXPECT_EQ(shown.width, expected.width);
    EXPECT_EQ(shown.height, expected.height);
    EXPECT_EQ(shown.argb, expected.argb);
  }
}

TEST_F(CoverTest, AReadyPictureIsPaintedAndCanBeReleased) {
  place(music.path(), "Cover.jpg");
  ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
  EXPECT_EQ(ui.repaints, std::vector<RepaintArea>{RepaintArea::Picture});
  library::releaseCover(*app);
  platform::PixelBlock block;
  EXPECT_FALSE(library::copyCoverPicture(*app, block));
  EXPECT_EQ(app->cover.ready.load(), 0u);
}

// The marks of the last song must not steer the choice for this one.
TEST_F(CoverTest, MarksOfThePreviousSongDoNotCarryOver) {
  TempDir first;
  TempDir second;
  place(first.path(), "Cover.jpg");
  place(first.path(), "Disc.bmp");
  place(second.path(), "Disc.gif");
  setSong(first.file("a.mp3"));
  ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
  EXPECT_EQ(app->cover.bothFound.load(), 1u);

  setSong(second.file("b.mp3"));
  app->cover.ready = 0;
  ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
  EXPECT_EQ(shownName(), "Disc.gif");
  EXPECT_EQ(app->cover.coverFound.load(), 0u);
  EXPECT_EQ(app->cover.bothFound.load(), 0u);
  EXPECT_EQ(app->cover.failures.load(), 0u);
}

TEST_F(CoverTest, RandomPictureCanChooseEveryFileOfTheFolder) {
  for (const char* name : {"a.jpg", "b.JPG", "c.jpg"}) {
    place(music.path(), name);
  }
  place(music.path(), "other.bmp");
  std::set<std::string> chosen;
  for (int i = 0; i < 300 && chosen.size() < 3; ++i) {
    std::string found;
    ASSERT_EQ(library::randomPicture(*app, music.path(), "jpg", found), 3u);
    chosen.insert(std::filesystem::path(found).filename().string());
  }
  EXPECT_EQ(chosen, (std::set<std::string>{"a.jpg", "b.JPG", "c.jpg"}));
}

TEST_F(CoverTest, RandomPictureOfOneFileAndOfNone) {
  place(music.path(), "only.gif");
  // A folder named like a picture is never a candidate.
  std::filesystem::create_directory(music.file("album.gif"));
  std::string found;
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(library::randomPicture(*app, music.path(), "gif", found), 1u);
    EXPECT_EQ(found, music.file("only.gif"));
  }
  found = "untouched";
  EXPECT_EQ(library::randomPicture(*app, music.path(), "bmp", found), 0u);
  EXPECT_EQ(found, "untouched");
}

// The arithmetic generator can draw 0: that takes the first name.
TEST_F(CoverTest, ADrawOfZeroTakesTheFirstName) {
  for (const char* name : {"c.jpg", "a.jpg", "b.jpg"}) {
    place(music.path(), name);
  }
  app->random.forceFallback = 1;
  app->random.useFixedTick = 1;
  app->random.fixedTick = 256;  // state 0, tick 256: the draw is 0
  app->random.state = 0;
  ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
  EXPECT_EQ(shownName(), "a.jpg");
  EXPECT_EQ(app->random.state.load(), 0u);
}

// A one-colour 24-bit bitmap big enough to take a while to decode.
std::string bigBitmap(int width, int height) {
  const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
  const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
  std::string bytes(54, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, 54 + pixelBytes);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bytes[26] = 1;   // planes
  bytes[28] = 24;  // bits per pixel
  put32(34, pixelBytes);
  bytes.append(pixelBytes, '\x40');
  return bytes;
}

// The player moves on while the last song's picture is still being decoded:
// that picture must not be shown as the new song's.
TEST_F(CoverTest, ASongChangeDuringTheLoadShowsNoStalePicture) {
  TempDir first;
  TempDir second;
  writeFile(first.file("Cover.bmp"), bigBitmap(2000, 2000));
  place(second.path(), "Cover.gif");
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    setSong(first.file("a.mp3"));
    app->cover.ready = 0;
    library::startCoverLoader(*app);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    setSong(second.file("b.mp3"));
    app->cover.ready = 0;
    app->jobThreads.waitAll();
    EXPECT_EQ(app->cover.loading.load(), 0u);
    EXPECT_EQ(app->cover.failures.load(), 0u);
    if (app->cover.ready.load() != 0) {
      EXPECT_EQ(shownName(), "Cover.gif");
    }
    // Whatever the timing, the next load shows the new song's picture.
    app->cover.ready = 0;
    ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
    EXPECT_EQ(shownName(), "Cover.gif");
  }
}

struct DefaultCase {
  const char* label;
  std::string inData;     // "" none
  std::string inProgram;  // "" none
  std::string shownFrom;  // "data", "program"
  std::string shown;
};

TEST_F(CoverTest, FolderWithoutPicturesShowsTheDefaultCover) {
  const DefaultCase cases[] = {
      {"data folder first", "Cover.jpg", "Cover.gif", "data", "Cover.jpg"},
      {"program folder when the data folder has none", "", "Cover.bmp", "program", "Cover.bmp"},
      {"any ending and case", "COVER.gif", "", "data", "COVER.gif"},
  };
  for (const DefaultCase& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dataDir;
    TempDir programDir;
    app->folders.data = dataDir.path();
    app->folders.program = programDir.path();
    if (!c.inData.empty()) {
      place(dataDir.path(), c.inData);
    }
    if (!c.inProgram.empty()) {
      place(programDir.path(), c.inProgram);
    }
    // The settings choose the disc: the default cover is shown all the same.
    app->settings.coverChoice = library::kCoverChoiceDisc;
    app->cover.ready = 0;
    ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
    EXPECT_EQ(shownName(), c.shown);
    std::lock_guard lock(app->cover.pictureMutex);
    EXPECT_EQ(app->cover.picturePath, (c.shownFrom == "data" ? dataDir.path() : programDir.path()) + c.shown);
    EXPECT_EQ(app->cover.defaultCover.load(), 1u);
    EXPECT_EQ(app->cover.coverFound.load(), 0u);
  }
}

// Outside offline mode a song gets two tries and no message; a third try
// (which the heartbeat does not start) shows the message and starts over.
TEST_F(CoverTest, FailuresAreCountedAndTheSecondRunningOneIsReported) {
  struct Step {
    uint32_t failuresAfter;
    bool message;
  };
  const Step steps[] = {{1, false}, {2, false}, {0, true}, {1, false}};
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const size_t shownBefore = messagesShown();
    EXPECT_EQ(loadCover(*app), CoverResult::Failed);
    EXPECT_EQ(app->cover.failures.load(), steps[i].failuresAfter);
    EXPECT_EQ(messagesShown() - shownBefore, steps[i].message ? 1u : 0u);
    EXPECT_EQ(app->cover.ready.load(), 0u);
    EXPECT_EQ(app->cover.loading.load(), 0u);
  }
  EXPECT_TRUE(ui.repaints.empty());
}

TEST_F(CoverTest, OfflineEveryFailureIsReported) {
  app->run.buildState = kOfflineFirst;
  for (size_t i = 1; i <= 2; ++i) {
    EXPECT_EQ(loadCover(*app), CoverResult::Failed);
    EXPECT_EQ(messagesShown(), i);
    EXPECT_EQ(app->cover.failures.load(), 0u);
  }
}

TEST_F(CoverTest, ADamagedPictureIsAFailureNotACrash) {
  writeFile(music.file("Cover.jpg"), readFile(fixturePicture(kJpeg)).substr(0, 40));
  writeFile(music.file("Disc.gif"), "GIF89a but nothing else");
  for (uint32_t choice : {library::kCoverChoiceCover, library::kCoverChoiceDisc}) {
    SCOPED_TRACE(choice);
    app->settings.coverChoice = choice;
    app->cover.failures = 0;
    EXPECT_EQ(loadCover(*app), CoverResult::Failed);
    EXPECT_EQ(app->cover.failures.load(), 1u);
    EXPECT_EQ(messagesShown(), 0u);
    platform::PixelBlock block;
    EXPECT_FALSE(library::copyCoverPicture(*app, block));
  }
}

TEST_F(CoverTest, LoaderStandsAsideWhenItMayNotRun) {
  place(music.path(), "Cover.jpg");
  struct Case {
    const char* label;
    uint32_t mediaType;
    uint32_t coverArt;
    uint32_t busyCode;
  };
  const Case cases[] = {
      {"video", 16, 1, 0},
      {"another video type", 18, 1, 0},
      {"cover art off", 1, 0, 0},
      {"a job holds the busy code", 1, 1, 34},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    app->currentMediaType = c.mediaType;
    app->settings.coverArt = c.coverArt;
    app->run.busyCode = c.busyCode;
    EXPECT_EQ(loadCover(*app), CoverResult::NotNow);
    EXPECT_EQ(app->cover.ready.load(), 0u);
    EXPECT_EQ(app->cover.failures.load(), 0u);
    EXPECT_EQ(app->cover.loading.load(), 0u);
  }
  app->cover.loading = 1;
  app->currentMediaType = 1;
  app->settings.coverArt = 1;
  app->run.busyCode = 0;
  EXPECT_EQ(loadCover(*app), CoverResult::Running);
  EXPECT_EQ(app->cover.ready.load(), 0u);
}

TEST_F(CoverTest, ALoadAsksForARunningListBuildAgain) {
  place(music.path(), "Cover.jpg");
  const std::pair<uint32_t, uint32_t> cases[] = {{0, 0}, {1, 10}, {5, 10}, {999, 10}, {1000, 1000}, {1999, 1999}};
  for (const auto& [before, after] : cases) {
    SCOPED_TRACE(before);
    app->run.buildState = before;
    app->cover.ready = 0;
    loadCover(*app);
    EXPECT_EQ(app->run.buildState.load(), after);
  }
}

// The heartbeat starts the loader on a job thread for an audio song only.
TEST_F(CoverTest, HeartbeatStartsTheLoaderForAudioOnly) {
  place(music.path(), "Cover.jpg");
  app->hooks.startCoverLoader = [a = app.get()] { library::startCoverLoader(*a); };
  app->run.playerRunning = 1;
  for (uint32_t type : {16u, 17u, 18u}) {
    SCOPED_TRACE(type);
    app->currentMediaType = type;
    heartbeatTick(*app);
    app->jobThreads.waitAll();
    EXPECT_EQ(app->cover.ready.load(), 0u);
    EXPECT_EQ(app->cover.failures.load(), 0u);
    EXPECT_TRUE(ui.repaints.empty());
  }
  app->currentMediaType = 1;
  heartbeatTick(*app);
  app->jobThreads.waitAll();
  EXPECT_EQ(app->cover.ready.load(), 1u);
  EXPECT_EQ(app->cover.loading.load(), 0u);
  EXPECT_EQ(shownName(), "Cover.jpg");
  EXPECT_EQ(ui.repaints, std::vector<RepaintArea>{RepaintArea::Picture});
}

// After two failures the heartbeat leaves the song alone.
TEST_F(CoverTest, HeartbeatGivesUpAfterTwoFailures) {
  app->hooks.startCoverLoader = [a = app.get()] { library::startCoverLoader(*a); };
  app->run.playerRunning = 1;
  for (int tick = 0; tick < 5; ++tick) {
    heartbeatTick(*app);
    app->jobThreads.waitAll();
  }
  EXPECT_EQ(app->cover.failures.load(), 2u);
  EXPECT_EQ(messagesShown(), 0u);
}

// A cover of more than 50 megapixels is not decoded: the default cover is
// shown instead.
TEST_F(CoverTest, APictureTooLargeToDecodeShowsTheDefaultCover) {
  // A bitmap header that declares 10000 x 6000 pixels, and nothing after it.
  std::string header(54, '\0');
  const uint32_t fields[][3] = {{2, 54, 4},    {10, 54, 4}, {14, 40, 4}, {18, 10000, 4},
                                {22, 6000, 4}, {26, 1, 2},  {28, 24, 2}};
  header[0] = 'B';
  header[1] = 'M';
  for (const auto& f : fields)
    for (uint32_t i = 0; i < f[2]; ++i)
      header[f[0] + i] = static_cast<char>((f[1] >> (8 * i)) & 0xFF);
  writeFile(music.file("Cover.bmp"), header);
  place(data.path(), "Cover.jpg");
  ASSERT_EQ(loadCover(*app), CoverResult::Loaded);
  std::lock_guard lock(app->cover.pictureMutex);
  EXPECT_EQ(app->cover.picturePath, data.file("Cover.jpg"));
  EXPECT_EQ(app->cover.defaultCover.load(), 1u);
  EXPECT_EQ(app->cover.picture.width, 8);
}

}  // namespace
}  // namespace plinka::test
