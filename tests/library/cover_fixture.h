// An App with a music folder, a data folder and a program folder of its own,
// and the small real pictures of the fixtures folder to place in them.
#pragma once

#include "app/app.h"
#include "library/cover_art.h"
#include "play/song_details.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace plinka::test {

// The fixture pictures and their pixel sizes.
inline const std::string kJpeg = "red8x8.jpg";
inline const std::string kBmp = "blue4x2.bmp";
inline const std::string kGif = "green3x5.gif";

inline std::string fixturePicture(const std::string& name) {
  return std::string(PLINKA_TEST_FIXTURES) + "/covers/" + name;
}

// The name the fixture picture for a file name's ending: the JPEG for "jpg",
// the BMP for "bmp", the GIF for anything else.
inline std::string pictureFor(const std::string& name) {
  const std::string ending = name.size() >= 3 ? name.substr(name.size() - 3) : name;
  if (ending == "jpg" || ending == "JPG") {
    return kJpeg;
  }
  if (ending == "bmp" || ending == "BMP") {
    return kBmp;
  }
  return kGif;
}

class CoverTest : public ::testing::Test {
protected:
  CoverTest() {
    app->ui = &ui;
    app->folders.data = data.path();
    app->folders.program = program.path();
    app->settings.coverArt = 1;
    app->settings.coverChoice = library::kCoverChoiceCover;
    app->currentMediaType = 1;
    setSong(music.file("song.mp3"));
    writeFile(music.file("song.mp3"), "not really music");
  }

  void setSong(const std::string& path) { play::setCurrentSongFile(*app, path.c_str()); }

  // Copies the fixture picture that suits `name` to folder + name.
  static void place(const std::string& folder, const std::string& name) {
    std::filesystem::copy_file(fixturePicture(pictureFor(name)), folder + name,
                               std::filesystem::copy_options::overwrite_existing);
  }

  std::string shownName() {
    std::lock_guard lock(app->cover.pictureMutex);
    return std::filesystem::path(app->cover.picturePath).filename().string();
  }

  // Status refreshes that showed the cover failure message.
  size_t messagesShown() {
    std::lock_guard lock(ui.mutex);
    size_t n = 0;
    for (const StatusTexts& texts : ui.statuses) {
      if (texts.part[0].find(library::kCoverFailedMessage) != std::string::npos) {
        ++n;
      }
    }
    return n;
  }

  TempDir music;
  TempDir data;
  TempDir program;
  // Declared before the App so that it outlives the App's threads.
  FakeUi ui;
  std::unique_ptr<App> app = std::make_unique<App>();
};

}  // namespace plinka::test
