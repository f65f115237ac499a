// The Song details window's database work: a record read into the form and
// saved back, stepping, going to a number, searching, deleting, the offline
// database, and putting a song at the top of the list.

#include "core/busy_code.h"
#include "core/run_state.h"
#include "db/copies.h"
#include "desk/details_actions.h"
#include "desk/details_form.h"
#include "platform/files.h"
#include "play/play_next.h"
#include "support/play_fixture.h"
#include "support/temp_dir.h"

#include <string>

namespace plinka::test {
namespace {

class DetailsFormTest : public PlayTest {
protected:
  DetailsOutcome run(DetailsAction action, uint32_t dbIdx, const std::string& searchText = std::string()) {
    DetailsRequest request;
    request.action = action;
    request.dbIdx = dbIdx;
    request.searchText = searchText;
    return runDetailsAction(*app, request);
  }

  // The request that saves `form` over the record shown at dbIdx, as loaded.
  DetailsRequest saveRequest(uint32_t dbIdx, const DetailsForm& form) {
    const DetailsOutcome shown = run(DetailsAction::Load, dbIdx);
    DetailsRequest request;
    request.action = DetailsAction::Save;
    request.dbIdx = dbIdx;
    request.form = form;
    request.loadedFileName = shown.form.fileName;
    return request;
  }

  std::string tableBytes() {
    std::string bytes;
    EXPECT_TRUE(platform::readWholeFile(tablePath, bytes));
    return bytes;
  }
};

TEST_F(DetailsFormTest, StepsThroughTheRecordsInUseAndWrapsAtBothEnds) {
  makeTable(plainSongs(8));
  // Slots 0 and 7 freed: the records in use are 1-6.
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  db::setStatus(app->songTable, 0, db::kStatusFree);
  db::setStatus(app->songTable, 7, db::kStatusFree);
  db::closeSongTableAfterWriting(*app);

  struct Case {
    DetailsAction action;
    uint32_t from, shown;  // "DB Idx"
  };
  const Case cases[] = {
      {DetailsAction::Previous, 2, 7},  // the first record in use: back to the last
      {DetailsAction::Next, 7, 2},      // the last: on to the first
      {DetailsAction::Previous, 5, 4}, {DetailsAction::Next, 5, 6},
      {DetailsAction::Next, 8, 2},      // from a freed slot after the last
      {DetailsAction::Previous, 0, 7},  // no record shown yet
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(actionValue(c.action)) + " from " + std::to_string(c.from));
    const DetailsOutcome out = run(c.action, c.from);
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(out.dbIdx, c.shown);
    EXPECT_EQ(out.form.fileName, "/music/song" + std::to_string(c.shown - 1) + ".mp3");
    EXPECT_EQ(out.notice, DetailsNotice::None);
  }
  EXPECT_FALSE(app->songTable.isOpen());
}

TEST_F(DetailsFormTest, SavedFormReadsBackAsTyped) {
  std::vector<Song> songs = plainSongs(4);
  songs[2].flags = 8 + 1;  // a bit beyond the O-Scale and the lock, and "Muddy"
  makeTable(songs);
  setText(2, db::Style, "Jazz");
  const SettingsRecord& s = app->settings;

  DetailsForm form;
  form.fileName = "/music/renamed.mp3";
  form.name = std::string(70, 'n');
  form.artist = "Ærøskøbing " + std::string(60, 'a');  // cut inside no character
  form.album = "An album";
  form.comment = "Notes";
  form.oScale = 3;
  form.lockName = true;
  form.startSet = false;
  form.startPoint = 1234;  // not checked: stored as 0
  form.endSet = true;
  form.endPoint = 200000;  // a point far beyond a spinner's 32767
  for (uint32_t u = 0; u < kUserCount; ++u)
    form.rating[u] = u + 1;  // users 1-10 rate 1-10
  form.rating[0] = 0;
  form.ratingChanged.fill(true);

  const DetailsOutcome out = runDetailsAction(*app, saveRequest(3, form));
  ASSERT_TRUE(out.written);
  EXPECT_EQ(out.notice, DetailsNotice::None);
  EXPECT_FALSE(out.closeWindow);

  EXPECT_EQ(number(2, db::StartPoint), 0u);
  EXPECT_EQ(number(2, db::EndPoint), 200000u);
  EXPECT_EQ(number(2, db::Flags), 8u + 3 + kLockNameFlag);
  EXPECT_EQ(number(2, db::scoreField(9)), +s.ratingValue[9]) << "rating 10";
  EXPECT_EQ(number(2, db::scoreField(3)), +s.ratingValue[3]);
  EXPECT_EQ(number(2, db::scoreField(0)), 0u) << "rating 0";
  EXPECT_EQ(text(2, db::Style), "Jazz") << "never written here";
  EXPECT_EQ(text(2, db::Name), std::string(63, 'n'));
  const std::string artist = text(2, db::Artist);
  EXPECT_LE(artist.size(), 63u);
  EXPECT_EQ(artist, form.artist.substr(0, artist.size()));
  EXPECT_GE(artist.size(), 62u) << "cut only to keep the last character whole";

  // What the window shows after the save is the record as stored.
  ASSERT_TRUE(out.loaded);
  EXPECT_EQ(out.dbIdx, 3u);
  EXPECT_EQ(out.form.fileName, form.fileName);
  EXPECT_FALSE(out.form.startSet);
  EXPECT_TRUE(out.form.endSet);
  EXPECT_EQ(out.form.endPoint, 200000u);
  EXPECT_EQ(out.form.oScale, 3u);
  EXPECT_TRUE(out.form.lockName);
  EXPECT_EQ(out.form.rating, form.rating);
}

TEST_F(DetailsFormTest, OnlyTheScoresOfRatingsChangedAreWritten) {
  makeTable(plainSongs(3));
  // Scores Auto Rate moved within their rating's band: 20 shows as rating
  // 5, whose own Score is 16.
  for (uint32_t u = 0; u < kUserCount; ++u)
    setNumber(1, db::scoreField(u), 20);
  ASSERT_EQ(db::scoreOfRating(app->settings, db::ratingOfScore(app->settings, 20)), 16u);

  DetailsForm form = run(DetailsAction::Load, 2).form;
  form.name = "Typo fixed";
  ASSERT_TRUE(runDetailsAction(*app, saveRequest(2, form)).written);
  EXPECT_EQ(text(1, db::Name), "Typo fixed");
  for (uint32_t u = 0; u < kUserCount; ++u)
    EXPECT_EQ(number(1, db::scoreField(u)), 20u) << "user " << u + 1;

  // A rating changed is written as its Score; the others stay.
  form.rating[3] = 7;
  form.ratingChanged[3] = true;
  ASSERT_TRUE(runDetailsAction(*app, saveRequest(2, form)).written);
  for (uint32_t u = 0; u < kUserCount; ++u)
    EXPECT_EQ(number(1, db::scoreField(u)), u == 3 ? 64u : 20u) << "user " << u + 1;
}

TEST_F(DetailsFormTest, CloseSavesAndClosesOtherActionsStay) {
  makeTable(plainSongs(4));
  DetailsRequest request = saveRequest(2, DetailsForm{});
  request.form = run(DetailsAction::Load, 2).form;
  request.form.comment = "kept";
  request.action = DetailsAction::SaveAndClose;
  const DetailsOutcome out = runDetailsAction(*app, request);
  EXPECT_TRUE(out.closeWindow);
  EXPECT_EQ(text(1, db::Comment), "kept");
}

TEST_F(DetailsFormTest, GotoIsClampedToTheLastSlot) {
  EXPECT_EQ(gotoIndex(99999, 500), 500u);
  EXPECT_EQ(gotoIndex(17, 500), 17u);
  EXPECT_EQ(gotoIndex(0, 500), 0u);

  makeTable(plainSongs(500));
  const uint32_t slots = run(DetailsAction::Load, 1).slotCount;
  ASSERT_GE(slots, 500u);
  const DetailsOutcome out = run(DetailsAction::Load, gotoIndex(99999, slots));
  EXPECT_TRUE(out.loaded);
  EXPECT_EQ(out.dbIdx, slots) << "the last slot, shown as slot + 1";
}

TEST_F(DetailsFormTest, FindSkipsSlotZeroAndFindMoreGoesOn) {
  std::vector<Song> songs = plainSongs(8);
  for (uint32_t k : {0u, 3u, 5u})
    songs[k].artist = "The Searchers";
  makeTable(songs);

  DetailsOutcome out = run(DetailsAction::Find, 7, "searchers");
  EXPECT_EQ(out.dbIdx, 4u) << "slot 3, never slot 0";
  out = run(DetailsAction::FindMore, out.dbIdx, "searchers");
  EXPECT_EQ(out.dbIdx, 6u);
  out = run(DetailsAction::FindMore, out.dbIdx, "searchers");
  EXPECT_EQ(out.notice, DetailsNotice::NoMatch);
  EXPECT_EQ(out.dbIdx, 6u) << "the record shown stays";

  out = run(DetailsAction::Find, 2, "nobody at all");
  EXPECT_EQ(out.notice, DetailsNotice::NoMatch);
  EXPECT_EQ(out.dbIdx, 2u);
}

TEST_F(DetailsFormTest, OfflineWritesNothingAndSaysSo) {
  makeTable(plainSongs(4));
  DetailsForm form = run(DetailsAction::Load, 2).form;
  form.name = "Edited";
  const std::string before = tableBytes();
  for (uint32_t state : {kOfflineFirst, kOfflineLocked}) {
    for (DetailsAction action :
         {DetailsAction::Save, DetailsAction::SaveAndClose, DetailsAction::LoadId, DetailsAction::Delete}) {
      SCOPED_TRACE(std::to_string(state) + " action " + std::to_string(actionValue(action)));
      app->run.buildState.store(state);
      DetailsRequest request = saveRequest(2, form);
      request.action = action;
      const DetailsOutcome out = runDetailsAction(*app, request);
      EXPECT_EQ(out.notice, DetailsNotice::Offline);
      EXPECT_FALSE(out.written);
      EXPECT_FALSE(out.loaded) << "the window keeps the edit";
      EXPECT_FALSE(out.closeWindow);
      EXPECT_EQ(app->run.buildState.load(), state);
    }
  }
  EXPECT_EQ(tableBytes(), before);
}

TEST_F(DetailsFormTest, ASaveOntoASlotThatNoLongerHoldsTheSongIsRefused) {
  makeTable(plainSongs(4));
  DetailsForm form = run(DetailsAction::Load, 3).form;
  DetailsRequest request = saveRequest(3, form);
  // Meanwhile another song came to slot 2.
  setText(2, db::FileName, "/music/another.mp3");
  request.form.name = "Edited";
  const std::string before = tableBytes();
  for (DetailsAction action : {DetailsAction::Save, DetailsAction::Delete}) {
    request.action = action;
    const DetailsOutcome out = runDetailsAction(*app, request);
    EXPECT_EQ(out.notice, DetailsNotice::NotSaved);
    EXPECT_FALSE(out.written);
    EXPECT_FALSE(out.loaded);
  }
  EXPECT_EQ(tableBytes(), before);
  // Nor can a window that shows no record save one.
  request.dbIdx = 0;
  request.action = DetailsAction::Save;
  EXPECT_EQ(runDetailsAction(*app, request).notice, DetailsNotice::NotSaved);
}

// "Goto" may show a free slot: saving or deleting there writes nothing and
// says the slot holds no song (not that it was changed elsewhere).
TEST_F(DetailsFormTest, ASaveOnAFreeSlotSaysItHoldsNoSong) {
  makeTable(plainSongs(4));
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  db::setStatus(app->songTable, 2, db::kStatusFree);
  db::closeSongTableAfterWriting(*app);
  DetailsRequest request = saveRequest(3, run(DetailsAction::Load, 3).form);
  request.form.name = "Edited";
  const std::string before = tableBytes();
  for (DetailsAction action : {DetailsAction::Save, DetailsAction::SaveAndClose, DetailsAction::Delete}) {
    request.action = action;
    const DetailsOutcome out = runDetailsAction(*app, request);
    EXPECT_EQ(out.notice, DetailsNotice::NoSong);
    EXPECT_FALSE(out.written);
    EXPECT_FALSE(out.closeWindow);
  }
  EXPECT_EQ(tableBytes(), before);
}

TEST_F(DetailsFormTest, DeleteShowsANeighbourOrClosesWithNothingLeft) {
  struct Case {
    uint32_t slot, shown;
  };
  // slot 1 or 2: the first record in use; else the one before.
  for (const Case c : {Case{5, 5}, Case{1, 1}, Case{2, 1}, Case{0, 2}}) {
    SCOPED_TRACE(c.slot);
    freshApp();
    makeTable(plainSongs(8));
    DetailsRequest request = saveRequest(c.slot + 1, DetailsForm{});
    request.action = DetailsAction::Delete;
    const DetailsOutcome out = runDetailsAction(*app, request);
    EXPECT_TRUE(out.written);
    EXPECT_EQ(status(c.slot), static_cast<int32_t>(db::kStatusFree));
    EXPECT_EQ(out.dbIdx, c.shown);
    EXPECT_FALSE(out.closeWindow);
    EXPECT_EQ(app->songsInUse.load(), 7u);
  }

  freshApp();
  makeTable(plainSongs(1));
  DetailsRequest request = saveRequest(1, DetailsForm{});
  request.action = DetailsAction::Delete;
  const DetailsOutcome out = runDetailsAction(*app, request);
  EXPECT_TRUE(out.closeWindow);
  EXPECT_FALSE(out.loaded);
}

TEST_F(DetailsFormTest, LoadIdReadsTheFilesDetailsIntoTheRecord) {
  // A file without a tag: its name and folders stand in ("Dir -> ID" is on).
  const std::string folder = dir.path() + "Some Band/First Album/";
  ASSERT_TRUE(platform::makeFolder(dir.path() + "Some Band") && platform::makeFolder(folder));
  const std::string file = folder + "01 Opening.mp3";
  writeFile(file, std::string(300, '\0'));
  std::vector<Song> songs = plainSongs(4);
  songs[1].fileName = file;
  songs[2].fileName = dir.path() + "missing.mp3";
  makeTable(songs);
  setText(2, db::Comment, "kept");

  DetailsOutcome out = run(DetailsAction::LoadId, 2);
  EXPECT_TRUE(out.written);
  EXPECT_EQ(out.form.name, "01 Opening");
  EXPECT_EQ(out.form.album, "First Album");
  EXPECT_EQ(out.form.artist, "Some Band");
  EXPECT_EQ(out.form.comment, "No Data");
  EXPECT_EQ(out.form.fileSize, 300u);
  EXPECT_EQ(text(1, db::Name), "01 Opening");

  out = run(DetailsAction::LoadId, 3);  // a file that cannot be read changes nothing
  EXPECT_EQ(out.form.name, "Title 2");
  EXPECT_EQ(out.form.comment, "kept");
  EXPECT_EQ(out.form.fileSize, 0u);
}

TEST_F(DetailsFormTest, AccessIsAskedForUnderItsCodeAndGivenBack) {
  makeTable(plainSongs(4));
  app->clock.speed = 1000;
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::ListBuild), AccessOutcome::Granted);
  EXPECT_FALSE(tryDetailsAction(*app, DetailsRequest{})) << "a build pass holds the table";
  releaseExclusive(*app);

  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::SongEdit), AccessOutcome::Granted);
  DetailsRequest request;
  request.dbIdx = 2;
  const std::optional<DetailsOutcome> out = tryDetailsAction(*app, request);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->form.fileName, "/music/song1.mp3");
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

TEST_F(DetailsFormTest, PlayNextPutsTheSongAtTheTop) {
  makeTable(plainSongs(6));
  listSlots({4, 5});
  app->details.nextReady = 1;
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::SongRating), AccessOutcome::Granted);
  EXPECT_TRUE(play::playNext(*app, "/music/song2.mp3"));
  EXPECT_EQ(listedFiles(), (std::vector<std::string>{"/music/song2.mp3", "/music/song4.mp3", "/music/song5.mp3"}));
  EXPECT_EQ(app->list.text(0, play::Title), "Title 2");
  EXPECT_EQ(app->details.nextReady.load(), 0u) << "the next song's details are loaded afresh";
  EXPECT_EQ(app->run.busyCode.load(), 0u);

  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::SongRating), AccessOutcome::Granted);
  EXPECT_FALSE(play::playNext(*app, "/music/not-there.mp3"));
  EXPECT_EQ(app->list.size(), 3u);
}

}  // namespace
}  // namespace plinka::test
