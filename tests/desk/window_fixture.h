// A fresh App with a scripted front end and first-run settings over a
// temporary data folder, for the main window's commands, menus and keys, with
// a small song table when a test needs one.
#pragma once

#include "app/app.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "support/fake_ui.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace plinka::test {

// Polls until `done` holds or a generous deadline passes; returns whether it
// held.
inline bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

class WindowTest : public ::testing::Test {
protected:
  WindowTest() {
    app->ui = &ui;
    app->folders.data = dir.path();
    app->folders.program = dir.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    std::remove(app->settings.databasePath);
    // Threads started by a test run fast: a clock tick is a tenth of a real
    // millisecond.
    app->clock.speed = 100;
  }

  // A song table holding these files, song k in slot k titled "Title <file>"
  // by "Artist <k>"; left closed.
  void makeSongs(const std::vector<std::string>& files) {
    makeSongTable(app->songTable, app->settings.databasePath, static_cast<uint32_t>(files.size()),
                  [&files](db::TableHandle& h, uint32_t k) {
                    putText(h, k, db::FileName, files[k]);
                    putText(h, k, db::Name, "Title " + files[k]);
                    putText(h, k, db::Artist, "Artist " + std::to_string(k));
                  });
  }

  // A bare list row for a file.
  void listFile(const std::string& file, const std::string& artist = "") {
    play::ListRow row;
    row.column[play::FileName] = file;
    row.column[play::Artist] = artist;
    app->list.append(row);
  }

  std::vector<std::string> listedFiles() const {
    std::vector<std::string> files;
    for (const play::ListRow& row : app->list.rows())
      files.push_back(row.column[play::FileName]);
    return files;
  }

  // Joins the job threads the commands started.
  void finishJobs() { app->jobThreads.waitAll(); }

  TempDir dir;
  FakeUi ui;  // outlives the App's threads
  std::unique_ptr<App> app = std::make_unique<App>();
};

}  // namespace plinka::test
