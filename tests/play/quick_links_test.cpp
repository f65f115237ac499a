#include "play/quick_links.h"

#include "app/scheduler.h"
#include "core/run_state.h"
#include "db/copies.h"
#include "desk/quick_link_rows.h"
#include "desk/window_commands.h"
#include "support/player_fixture.h"
#include "text/text.h"

#include <chrono>
#include <thread>

namespace plinka::test {
namespace {

using play::QuickLinkList;

struct LinkSong {
  std::string name;
  std::string artist;
  std::string album;
  std::string comment;
  uint32_t rating = 5;
  std::string ending = "mp3";
  bool deleted = false;
};

class QuickLinksTest : public PlayerTest {
protected:
  // Song k in slot k, rated for user 0 (the State's user); a deleted song's
  // slot keeps its fields.
  void makeLinkSongs(const std::vector<LinkSong>& songs) {
    songs_ = songs;
    files_.clear();
    for (uint32_t k = 0; k < songs.size(); ++k)
      files_.push_back(songFile(k, songs[k].ending.c_str()));
    makeSongTable(app->songTable, app->settings.databasePath, static_cast<uint32_t>(songs.size()),
                  [this](db::TableHandle& h, uint32_t k) {
                    const LinkSong& s = songs_[k];
                    const std::string file = songFile(k, s.ending.c_str());
                    test::putText(h, k, db::FileName, file);
                    test::putText(h, k, db::Name, s.name);
                    test::putText(h, k, db::Artist, s.artist);
                    test::putText(h, k, db::Album, s.album);
                    test::putText(h, k, db::Comment, s.comment);
                    test::putNumber(h, k, db::scoreField(0), db::scoreOfRating(app->settings, s.rating));
                    fake->lengths[file] = kSongLength;
                  });
    db::TableHandle& h = app->songTable;
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    for (uint32_t k = 0; k < songs.size(); ++k)
      if (songs[k].deleted)
        db::setStatus(h, k, db::kStatusFree);
    db::closeTable(h);
  }

  // The list of `kind` the search finds for `key`, with the table open.
  QuickLinkList find(uint32_t kind, const std::string& key) {
    QuickLinkList list;
    EXPECT_TRUE(db::openSongTableForReading(*app));
    EXPECT_TRUE(play::findQuickLinks(*app, kind, key, list));
    db::closeTable(app->songTable);
    return list;
  }

  // Makes song k the current one, as the player's start would.
  void playing(uint32_t k) {
    play::SongDetails d;
    const LinkSong& s = songs_[k];
    std::snprintf(d.title, sizeof d.title, "%s", s.name.c_str());
    std::snprintf(d.artist, sizeof d.artist, "%s", s.artist.c_str());
    std::snprintf(d.album, sizeof d.album, "%s", s.album.c_str());
    std::snprintf(d.comment, sizeof d.comment, "%s", s.comment.c_str());
    play::setCurrentSongFile(*app, songFile(k, s.ending.c_str()).c_str());
    play::setCurrentDetails(*app, d);
    play::markQuickLinksOutOfDate(*app);
  }

  // One build with exclusive use at hand, as the processor would grant it.
  play::QuickLinkResult build() {
    grantExclusiveNow(*app, BusyCode::QuickLinks);
    return play::buildQuickLinks(*app);
  }

  std::vector<LinkSong> songs_;
};

std::vector<int32_t> range(int32_t first, int32_t last) {
  std::vector<int32_t> r;
  for (int32_t k = first; k <= last; ++k)
    r.push_back(k);
  return r;
}

TEST_F(QuickLinksTest, AFullAlbumShowsItsFirst25BestRatedSongsInRecordOrder) {
  // A lower-rated song of the album comes first in the table, then 30 songs
  // rated 10, with another album's song among them.
  std::vector<LinkSong> songs{{"Opening", "Band", "Album A", "", 9}};
  for (int k = 1; k <= 31; ++k)
    songs.push_back({"Track " + std::to_string(k), "Band", k == 10 ? "Album B" : "Album A", "", 10});
  makeLinkSongs(songs);
  const QuickLinkList list = find(play::kQuickLinksAlbum, "Album A");
  std::vector<int32_t> expected = range(1, 26);
  expected.erase(expected.begin() + 9);  // slot 10 is on Album B
  EXPECT_EQ(list.records, expected);
  ASSERT_EQ(list.rows.size(), 25u);
  EXPECT_EQ(list.rows[0], "Track 1 - 10");
}

TEST_F(QuickLinksTest, EachKindFindsItsFieldBestRatingFirst) {
  makeLinkSongs({
      {"Rain", "Mira", "Blue", "live", 3},
      {"Sun", "Mira", "Red", "studio", 8},
      {"Rain", "Oskar", "Blue", "Live", 10},
      {"Wind", "MIRA", "Green", "live", 8},
      {"Rain", "Mira", "Blue", "live", 10, "mp3", true},  // deleted
      {"Snow", "Mira", "Blue", "", 0},
  });
  struct Case {
    uint32_t kind;
    const char* key;
    std::vector<int32_t> records;
  };
  const Case cases[] = {
      {play::kQuickLinksArtist, "Mira", {1, 3, 0, 5}},  // letters in either case
      {play::kQuickLinksAlbum, "Blue", {2, 0, 5}},
      {play::kQuickLinksTitle, "Rain", {2, 0}},
      {play::kQuickLinksComment, "live", {2, 3, 0}},
      {play::kQuickLinksComment, "", {}},  // an empty comment lists nothing
      {play::kQuickLinksArtist, "Nobody", {}},
      {play::kQuickLinksAlbum, "Blu", {}},  // whole fields only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " " + c.key);
    const QuickLinkList list = find(c.kind, c.key);
    EXPECT_EQ(list.kind, c.kind);
    EXPECT_EQ(list.records, c.records);
    EXPECT_EQ(list.rows.size(), c.records.size());
  }
}

TEST_F(QuickLinksTest, RowTextsFollowShowRateAndMarkVideo) {
  makeLinkSongs({{"Name", "Band", "Disc", "", 7, "avi"}, {"Name", "Band", "Disc", "", 7, "mp3"}});
  struct Case {
    uint32_t showRate, markVideo;
    const char* video;
    const char* audio;
  };
  const Case cases[] = {
      {1, 0, "Name - 7", "Name - 7"},
      {1, 1, "Name - 7 (V)", "Name - 7"},
      {0, 1, "Name (V)", "Name"},
      {0, 0, "Name", "Name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.showRate) + std::to_string(c.markVideo));
    app->settings.showRate = c.showRate;
    app->settings.markVideo = c.markVideo;
    const QuickLinkList list = find(play::kQuickLinksArtist, "Band");
    EXPECT_EQ(list.rows, (std::vector<std::string>{c.video, c.audio}));
  }
}

TEST_F(QuickLinksTest, ABuildListsEachAreasChoiceForTheCurrentSongUntilItChanges) {
  makeLinkSongs({
      {"One", "Mira", "Blue", "", 6},
      {"Two", "Mira", "Red", "", 9},
      {"Three", "Oskar", "Blue", "", 4},
  });
  app->settings.coverChoice = play::kQuickLinksComment;
  app->settings.quickLinkChoice = play::kQuickLinksArtist;
  playing(0);
  EXPECT_EQ(play::quickLinkHeading(play::kQuickLinksArtist), std::string("Other songs from the same artist"));

  ASSERT_EQ(build(), play::QuickLinkResult::Built);
  EXPECT_EQ(app->quickLinks.ready.load(), 1u);
  EXPECT_EQ(app->run.busyCode.load(), 0u) << "exclusive use given back";
  EXPECT_EQ(app->quickLinks.busy.load(), 0u);
  QuickLinkList artist, comment;
  ASSERT_TRUE(play::copyQuickLinks(*app, play::kQuickLinksArtist, artist));
  EXPECT_EQ(artist.records, (std::vector<int32_t>{1, 0}));
  ASSERT_TRUE(play::copyQuickLinks(*app, play::kQuickLinksComment, comment));
  EXPECT_TRUE(comment.records.empty()) << "the song has no comment";
  EXPECT_EQ(quickLinkRecord(*app, play::kQuickLinksArtist, 1), 0);
  EXPECT_EQ(quickLinkRecord(*app, play::kQuickLinksArtist, 2), -1);
  EXPECT_EQ(quickLinkRecord(*app, play::kQuickLinksAlbum, 0), -1) << "not asked for, not built";
  {
    std::lock_guard lock(ui.mutex);
    EXPECT_FALSE(ui.repaints.empty());
  }

  // The next song: the old lists are no longer offered, and the new ones
  // are the new song's.
  playing(2);
  EXPECT_FALSE(play::copyQuickLinks(*app, play::kQuickLinksArtist, artist));
  EXPECT_EQ(quickLinkRecord(*app, play::kQuickLinksArtist, 0), -1);
  ASSERT_EQ(build(), play::QuickLinkResult::Built);
  ASSERT_TRUE(play::copyQuickLinks(*app, play::kQuickLinksArtist, artist));
  EXPECT_EQ(artist.records, (std::vector<int32_t>{2}));
}

TEST_F(QuickLinksTest, ATableThatDoesNotOpenGivesEmptyListsNotTheLastSongs) {
  makeLinkSongs({{"One", "Mira", "Blue", "", 6}, {"Two", "Mira", "Red", "", 9}});
  app->settings.coverChoice = 1;
  app->settings.quickLinkChoice = play::kQuickLinksArtist;
  playing(0);
  ASSERT_EQ(build(), play::QuickLinkResult::Built);
  std::remove(app->settings.databasePath);
  playing(1);
  ASSERT_EQ(build(), play::QuickLinkResult::Built);
  QuickLinkList artist;
  ASSERT_TRUE(play::copyQuickLinks(*app, play::kQuickLinksArtist, artist));
  EXPECT_TRUE(artist.records.empty());
}

TEST_F(QuickLinksTest, ASearchGivesWayToARequestAndKeepsNothing) {
  std::vector<LinkSong> songs(50, LinkSong{"Same", "Band", "Disc", "", 5});
  makeLinkSongs(songs);
  app->settings.quickLinkChoice = play::kQuickLinksArtist;
  playing(0);
  // The player's request for its next song waits in the slot.
  app->run.commandSlot.store(codeValue(BusyCode::Player));
  ASSERT_EQ(build(), play::QuickLinkResult::GaveWay);
  EXPECT_EQ(app->quickLinks.ready.load(), 0u) << "built again later";
  EXPECT_EQ(app->run.busyCode.load(), 0u);
  EXPECT_EQ(app->quickLinks.busy.load(), 0u);
}

// The real threads: a song start builds the lists without waiting for the
// heartbeat, and a click on a row plays that row's song at once.
class QuickLinkClickTest : public QuickLinksTest {
protected:
  void TearDown() override {
    app->run.commandSlot.store(kQuitCode);
    stopScheduler(*app);
  }
  bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  // Song 0 plays; the lower area lists "Third" (record 2), "Fourth" (3) and
  // "First" (0). The lists then stay as they are.
  void playWithListsBuilt() {
    makeLinkSongs({
        {"First", "Mira", "Blue", "", 5},
        {"Second", "Oskar", "Red", "", 5},
        {"Third", "Mira", "Green", "", 9},
        {"Fourth", "Mira", "Blue", "", 7},
    });
    listSlots({0, 1, 2});
    app->settings.coverChoice = 1;
    app->settings.quickLinkChoice = play::kQuickLinksArtist;
    app->hooks.startQuickLinkBuilder = [a = app.get()] { play::startQuickLinkBuilder(*a); };
    app->settings.coverArt = 1;
    app->hooks.startCoverLoader = []() {};
    startScheduler(*app);
    startPlayer(*app);
    app->run.playerRequest.store(play::PlayerRequest::Start);
    ASSERT_TRUE(waitFor([this] { return app->quickLinks.ready.load() == 1; }));
    QuickLinkList artist;
    ASSERT_TRUE(play::copyQuickLinks(*app, play::kQuickLinksArtist, artist));
    ASSERT_EQ(artist.records, (std::vector<int32_t>{2, 3, 0}));
  }
};

TEST_F(QuickLinkClickTest, AClickedRowPlaysAtOnce) {
  // The heartbeat's turn always goes to a cover loader that never finishes,
  // so the heartbeat never starts the quick-link builder: lists that become
  // ready were asked for by the song start and the click themselves.
  ASSERT_NO_FATAL_FAILURE(playWithListsBuilt());
  // The lower area of a 1000 x 800 window: row 1 ("Fourth") lies at 216.
  const QuickLinkPlace lower = quickLinkPlace(QuickLinkArea::Lower, 1000, 800);
  EXPECT_FALSE(pictureClick(*app, 100, quickLinkRowTop(lower, 1) + 5, 1000, 800));
  ASSERT_TRUE(waitFor([this] { return fake->openedFiles().size() == 2; }));
  EXPECT_EQ(fake->openedFiles()[1], songFile(3));
  EXPECT_EQ(app->details.currentSongRecord.load(), 3);
  // The new song's lists follow.
  ASSERT_TRUE(waitFor([this] { return app->quickLinks.ready.load() == 1; }));
}

// A row keeps the song it showed: the lists below are built, then their
// records change meaning before the click.
class QuickLinkRowTest : public QuickLinkClickTest {
protected:
  // Clicks row `row` of the lower area and returns the file the player opens.
  std::string clickRow(int row) {
    const QuickLinkPlace lower = quickLinkPlace(QuickLinkArea::Lower, 1000, 800);
    pictureClick(*app, 100, quickLinkRowTop(lower, row) + 5, 1000, 800);
    EXPECT_TRUE(waitFor([this] { return fake->openedFiles().size() == 2; }));
    const auto opened = fake->openedFiles();
    return opened.size() == 2 ? opened[1] : std::string();
  }
};

TEST_F(QuickLinkRowTest, AfterASortTheClickPlaysTheRowsSong) {
  ASSERT_NO_FATAL_FAILURE(playWithListsBuilt());
  // The sort gives records 1 and 3 each other's songs (written through a
  // handle of the test's own).
  db::TableHandle h;
  text::copy(h.path, app->settings.databasePath);
  h.writable = 1;
  ASSERT_TRUE(db::openMapped(h));
  test::putText(h, 1, db::FileName, songFile(3));
  test::putText(h, 3, db::FileName, songFile(1));
  db::closeTable(h);
  EXPECT_EQ(clickRow(1), songFile(3)) << "\"Fourth\", now in record 1";
}

TEST_F(QuickLinkRowTest, AfterAnotherSongTableTheClickPlaysTheRowsSongOrNothing) {
  ASSERT_NO_FATAL_FAILURE(playWithListsBuilt());
  // Another song table in the same place: it holds "Third" in record 0, and
  // other songs in the records the lists name.
  std::remove(app->settings.databasePath);
  db::TableHandle h;
  makeSongTable(h, app->settings.databasePath, 4, [](db::TableHandle& t, uint32_t k) {
    test::putText(t, k, db::FileName, k == 0 ? songFile(2) : "/elsewhere/" + std::to_string(k) + ".mp3");
  });
  // "Fourth" is not in this table: nothing is played, song 0 goes on.
  const QuickLinkPlace lower = quickLinkPlace(QuickLinkArea::Lower, 1000, 800);
  pictureClick(*app, 100, quickLinkRowTop(lower, 1) + 5, 1000, 800);
  ASSERT_TRUE(waitFor(
      [this] { return app->playNowFlag.load() == 0 && app->run.playerRequest.load() == play::PlayerRequest::None; }));
  EXPECT_EQ(fake->openedFiles().size(), 1u);
  EXPECT_TRUE(fake->isOpen());
  EXPECT_EQ(clickRow(0), songFile(2)) << "\"Third\"";
}

}  // namespace
}  // namespace plinka::test
