// The player suites' fake playback, whose position and length the test
// moves, and the fixture that builds songs, list rows and player rounds
// around it.
#pragma once

#include "app/app.h"
#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "db/copies.h"
#include "db/table.h"
#include "play/player.h"
#include "play/song_details.h"
#include "support/fake_ui.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plinka::test {

// Files "open" when the test gave them a length; the position stays where
// the test or the last playFrom put it.
class FakePlayback : public platform::PlaybackService {
public:
  bool open(const char* path) override {
    std::lock_guard lock(mutex);
    open_ = false;
    opened.push_back(path);
    openedWith.push_back(levellings.empty() ? platform::Levelling{} : levellings.back());
    const auto it = lengths.find(path);
    if (it == lengths.end())
      return false;
    open_ = true;
    length_ = it->second;
    position_ = 0;
    return true;
  }
  void play() override {
    std::lock_guard lock(mutex);
    starts.push_back(kPlainPlay);
  }
  void playFrom(uint32_t ms) override {
    std::lock_guard lock(mutex);
    starts.push_back(ms);
    position_ = ms;
  }
  uint32_t position() override {
    std::lock_guard lock(mutex);
    ++positionCalls;
    return open_ ? position_ : 0;
  }
  uint32_t length() override {
    std::lock_guard lock(mutex);
    return open_ ? length_ : 0;
  }
  void close() override {
    std::lock_guard lock(mutex);
    open_ = false;
  }
  bool isOpen() const override {
    std::lock_guard lock(mutex);
    return open_;
  }
  void setVideoTarget(const platform::VideoTarget& target) override {
    std::lock_guard lock(mutex);
    lastTarget = target;
  }
  void setFullScreen(bool on) override {
    std::lock_guard lock(mutex);
    fullScreen = on;
  }
  void setEventHook(std::function<void()> hook) override {
    std::lock_guard lock(mutex);
    hook_ = std::move(hook);
  }

  // The open file plays to its end, and the service says so.
  void reachEnd() {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex);
      position_ = length_;
      hook = hook_;
    }
    if (hook)
      hook();
  }
  int polls() {
    std::lock_guard lock(mutex);
    return positionCalls;
  }
  bool setNext(const char* path) override {
    std::lock_guard lock(mutex);
    queued = path != nullptr ? path : "";
    return true;
  }
  std::string takeFollowOn() override {
    std::lock_guard lock(mutex);
    std::string took;
    took.swap(tookOver);
    return took;
  }
  // The queued file takes over without a break.
  void followOn() {
    std::lock_guard lock(mutex);
    tookOver = queued;
    length_ = lengths[queued];
    position_ = 0;
    queued.clear();
  }
  void setVolume(double linear) override {
    std::lock_guard lock(mutex);
    volumes.push_back(linear);
  }
  void setLevelling(const platform::Levelling& l) override {
    std::lock_guard lock(mutex);
    levellings.push_back(l);
  }
  std::vector<double> volumesSet() {
    std::lock_guard lock(mutex);
    return volumes;
  }
  // The levelling in force at each open.
  std::vector<platform::Levelling> levellingsAtOpen() {
    std::lock_guard lock(mutex);
    return openedWith;
  }
  std::string queuedFile() {
    std::lock_guard lock(mutex);
    return queued;
  }

  void moveTo(uint32_t ms) {
    std::lock_guard lock(mutex);
    position_ = ms;
  }
  // What the backend knows of the open file's length now: 0 while unknown,
  // or an estimate that it corrects while the file plays.
  void setLength(uint32_t ms) {
    std::lock_guard lock(mutex);
    length_ = ms;
  }
  std::vector<std::string> openedFiles() {
    std::lock_guard lock(mutex);
    return opened;
  }
  uint32_t lastStart() {
    std::lock_guard lock(mutex);
    return starts.empty() ? 0 : starts.back();
  }

  static constexpr uint32_t kPlainPlay = 0xFFFFFFFFu;
  mutable std::mutex mutex;
  std::map<std::string, uint32_t> lengths;
  std::vector<std::string> opened;
  std::vector<uint32_t> starts;
  platform::VideoTarget lastTarget;
  bool fullScreen = false;
  int positionCalls = 0;
  std::string queued;
  std::string tookOver;
  std::vector<double> volumes;
  std::vector<platform::Levelling> levellings;
  std::vector<platform::Levelling> openedWith;

private:
  std::function<void()> hook_;
  bool open_ = false;
  uint32_t length_ = 0;
  uint32_t position_ = 0;
};

constexpr uint32_t kSongLength = 200000;
constexpr uint32_t kScore = 100;  // below the Score of rating 10, so it can rise

inline std::string songFile(uint32_t k, const char* ending = "mp3") {
  return "/music/song" + std::to_string(k) + "." + ending;
}

class PlayerTest : public ::testing::Test {
protected:
  PlayerTest() { freshApp(); }

  // A new App over the same data folder, with no song table yet.
  void freshApp() {
    app.reset();
    app = std::make_unique<App>();
    app->ui = &ui;
    app->folders.data = dir.path();
    app->folders.program = dir.path();
    firstRunDefaults(app->settings, app->folders);
    std::remove(app->settings.databasePath);
    app->settings.autoBuild = 0;
    app->settings.autoRate = 0;
    auto owned = std::make_unique<FakePlayback>();
    fake = owned.get();
    app->player.playback = std::move(owned);
    files_.clear();
  }

  // Song k in slot k, each with the given file name, Score kScore for every
  // user; every file plays for kSongLength unless the test says otherwise.
  void makeSongs(const std::vector<std::string>& files) {
    makeSongTable(app->songTable, app->settings.databasePath, static_cast<uint32_t>(files.size()),
                  [this, &files](db::TableHandle& h, uint32_t k) {
                    test::putText(h, k, db::FileName, files[k]);
                    test::putText(h, k, db::Name, "Title " + std::to_string(k));
                    test::putNumber(h, k, db::ID, 100 + k);
                    for (uint32_t u = 0; u < 10; ++u)
                      test::putNumber(h, k, db::scoreField(u), kScore);
                    fake->lengths[files[k]] = kSongLength;
                  });
    files_ = files;
  }
  void makeSongs(uint32_t count) {
    std::vector<std::string> files;
    for (uint32_t k = 0; k < count; ++k)
      files.push_back(songFile(k));
    makeSongs(files);
  }

  void putText(uint32_t slot, uint32_t field, const std::string& value) {
    test::putText(app->songTable, slot, field, value);
  }
  void putNumber(uint32_t slot, uint32_t field, uint32_t value) { test::putNumber(app->songTable, slot, field, value); }

  // List rows for the given slots, as the builder makes them.
  void listSlots(const std::vector<uint32_t>& slots) {
    ASSERT_TRUE(db::openSongTableForReading(*app));
    for (const uint32_t slot : slots) {
      play::loadSongDetails(*app, slot, 0);
      play::putListRow(*app, app->list.size(), files_[slot].c_str(), app->details.loaded);
    }
    db::closeTable(app->songTable);
  }

  // One player pass with exclusive access at hand, as the processor would
  // grant it.
  void round() {
    grantExclusiveNow(*app, BusyCode::Player);
    play::playerRound(*app);
    if (app->run.busyCode.load() == codeValue(BusyCode::Player))
      releaseExclusive(*app);
  }
  void request(play::PlayerRequest r) {
    app->run.playerRequest.store(r);
    round();
  }

  std::string lastOpened() {
    const auto files = fake->openedFiles();
    return files.empty() ? "" : files.back();
  }
  std::vector<std::string> listedFiles() const {
    std::vector<std::string> files;
    for (const play::ListRow& row : app->list.rows())
      files.push_back(row.column[play::FileName]);
    return files;
  }
  int32_t editsQueued() const {
    const int32_t count = app->editQueue.count.load();
    return count < 0 ? 0 : count;
  }

  TempDir dir;
  FakeUi ui;
  std::unique_ptr<App> app;
  FakePlayback* fake = nullptr;
  std::vector<std::string> files_;
};

}  // namespace plinka::test
