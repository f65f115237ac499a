// A fresh App over a song table made by the engine in a temporary data
// folder, with the builder's draws scripted, for the song-choosing tests.
#pragma once

#include "app/app.h"
#include "db/table.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace plinka::test {

// One song as the fixture stores it. Score and Target are stored for every
// user, unless perUserScores is set (then user u gets score + u).
struct Song {
  std::string fileName;
  std::string artist;
  std::string title;
  uint32_t score = 16;
  uint32_t target = 5000;  // ripe unless a test says otherwise
  uint32_t flags = 0;
  uint32_t id = 7;
  bool perUserScores = false;
};

// Songs "/music/song<k>.mp3" by "Artist <k>", ripe, rating 5.
std::vector<Song> plainSongs(uint32_t count);

class PlayTest : public ::testing::Test {
protected:
  PlayTest() { freshApp(); }

  // Replaces the App by a new one: the fixture's front end and data folder,
  // first-run settings with the song table there, scripted draws.
  void freshApp();

  // Makes the song table: song k in slot k (all slots in use, none else).
  // Leaves the song handle closed, having counted the songs as the player's
  // start-up does.
  void makeTable(const std::vector<Song>& songs);

  // One build pass with exclusive access granted at once. The scripted
  // draws are used first; when they run out every draw gives 0, which finds
  // no record.
  void pass();
  // Draws the scripted builder took so far.
  uint32_t drawsTaken() const { return drawsTaken_; }

  // Reads and writes a field of a slot, opening and closing the table.
  uint32_t number(uint32_t slot, uint32_t field);
  std::string text(uint32_t slot, uint32_t field);
  void setNumber(uint32_t slot, uint32_t field, uint32_t value);
  void setText(uint32_t slot, uint32_t field, const std::string& value);
  int32_t status(uint32_t slot);

  // Appends list rows for the given slots, as the builder would.
  void listSlots(const std::vector<uint32_t>& slots);
  std::vector<std::string> listedFiles() const;

  std::deque<uint32_t> draws;
  TempDir dir;
  FakeUi ui;  // outlives the App's threads
  std::unique_ptr<App> app;
  std::string tablePath;

private:
  uint32_t drawsTaken_ = 0;
};

}  // namespace plinka::test
