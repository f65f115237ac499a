#include "support/play_fixture.h"

#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "db/copies.h"
#include "play/list_builder.h"
#include "play/song_details.h"
#include "support/song_table.h"

#include <cstdio>

namespace plinka::test {

std::vector<Song> plainSongs(uint32_t count) {
  std::vector<Song> songs(count);
  for (uint32_t k = 0; k < count; ++k) {
    songs[k].fileName = "/music/song" + std::to_string(k) + ".mp3";
    songs[k].artist = "Artist " + std::to_string(k);
    songs[k].title = "Title " + std::to_string(k);
  }
  return songs;
}

void PlayTest::freshApp() {
  app.reset();
  app = std::make_unique<App>();
  draws.clear();
  app->ui = &ui;
  app->folders.data = dir.path();
  app->folders.program = dir.path();
  firstRunDefaults(app->settings, app->folders);
  tablePath = app->settings.databasePath;
  // Short give-ups, so a pass whose script ran out ends quickly.
  app->settings.buildTime = 3;
  shareSettings(*app);
  app->builder.drawForTests = [this](uint32_t) -> uint32_t {
    ++drawsTaken_;
    if (draws.empty())
      return 0;
    const uint32_t r = draws.front();
    draws.pop_front();
    return r;
  };
}

void PlayTest::makeTable(const std::vector<Song>& songs) {
  makeSongTable(app->songTable, tablePath, static_cast<uint32_t>(songs.size()),
                [&songs](db::TableHandle& h, uint32_t k) {
                  const Song& s = songs[k];
                  putText(h, k, db::FileName, s.fileName);
                  putText(h, k, db::Name, s.title);
                  putText(h, k, db::Artist, s.artist);
                  putText(h, k, db::Album, "Album of " + s.title);
                  putNumber(h, k, db::Flags, s.flags);
                  putNumber(h, k, db::ID, s.id);
                  putNumber(h, k, db::PlayCount, 0);
                  for (uint32_t u = 0; u < 10; ++u) {
                    putNumber(h, k, db::scoreField(u), s.score + (s.perUserScores ? u : 0));
                    putNumber(h, k, db::targetField(u), s.target);
                  }
                });
}

void PlayTest::pass() {
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::ListBuild), AccessOutcome::Granted);
  play::buildPass(*app);
  // A pass that found too few songs never asked for the access granted here.
  if (app->run.busyCode.load() == codeValue(BusyCode::ListBuild))
    releaseExclusive(*app);
}

uint32_t PlayTest::number(uint32_t slot, uint32_t field) {
  EXPECT_TRUE(db::openSongTableForReading(*app));
  const int32_t type = db::readField(app->songTable, slot, field);
  const uint32_t value = app->songTable.value;
  db::closeTable(app->songTable);
  EXPECT_GE(type, 0);
  return value;
}

std::string PlayTest::text(uint32_t slot, uint32_t field) {
  EXPECT_TRUE(db::openSongTableForReading(*app));
  db::readField(app->songTable, slot, field);
  const std::string value = app->songTable.text;
  db::closeTable(app->songTable);
  return value;
}

void PlayTest::setNumber(uint32_t slot, uint32_t field, uint32_t value) {
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  putNumber(app->songTable, slot, field, value);
  db::closeSongTableAfterWriting(*app);
}

void PlayTest::setText(uint32_t slot, uint32_t field, const std::string& value) {
  db::openSongTableForWriting(*app);
  ASSERT_TRUE(app->songTable.isOpen());
  putText(app->songTable, slot, field, value);
  db::closeSongTableAfterWriting(*app);
}

int32_t PlayTest::status(uint32_t slot) {
  EXPECT_TRUE(db::openSongTableForReading(*app));
  const int32_t value = db::getStatus(app->songTable, slot);
  db::closeTable(app->songTable);
  return value;
}

void PlayTest::listSlots(const std::vector<uint32_t>& slots) {
  ASSERT_TRUE(db::openSongTableForReading(*app));
  for (const uint32_t slot : slots) {
    db::readField(app->songTable, slot, db::FileName);
    const std::string file = app->songTable.text;
    play::loadSongDetails(*app, slot, 0);
    play::putListRow(*app, app->list.size(), file.c_str(), app->details.loaded);
  }
  db::closeTable(app->songTable);
}

std::vector<std::string> PlayTest::listedFiles() const {
  std::vector<std::string> files;
  for (const play::ListRow& row : app->list.rows())
    files.push_back(row.column[play::FileName]);
  return files;
}

}  // namespace plinka::test
