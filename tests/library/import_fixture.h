// A player with a fresh song table in a temporary data folder, media files
// written in code, and a look at the records an import left behind.
#pragma once

#include "app/app.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "library/tag_bytes.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace plinka::test {

// A tagged MP3: an ID3v2.3 tag with the texts given (an empty text gives no
// frame), then `body` bytes of filler that stand in for the audio.
inline std::string mp3Bytes(const std::string& title, const std::string& artist = "", const std::string& album = "",
                            const std::string& body = std::string(200, '\x55')) {
  using namespace tags;
  std::string frames;
  if (!title.empty())
    frames += frame(3, "TIT2", latin1(title));
  if (!artist.empty())
    frames += frame(3, "TPE1", latin1(artist));
  if (!album.empty())
    frames += frame(3, "TALB", latin1(album));
  return tag(3, frames, 16) + body;
}

// A short WAV file without any tag.
inline std::string wavBytes() {
  std::string b = "RIFF";
  b += std::string("\x24\x00\x00\x00", 4) + "WAVEfmt ";
  b += std::string(28, '\x01');
  return b;
}

// Writes a file, making the folders on its way.
inline void put(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  writeFile(path, bytes);
}

// One record as the import left it.
struct Record {
  uint32_t slot = 0;
  std::string fileName, name, artist, album, comment;
  uint32_t id = 0, flags = 0, startPoint = 0, endPoint = 0, playCount = 0, field10 = 0;
  std::vector<uint32_t> scores, targets;
};

struct ImportFixture {
  TempDir dir;
  std::unique_ptr<App> app = std::make_unique<App>();
  FakeUi ui;

  // Settings as on a first run, a new song table in the data folder.
  ImportFixture() {
    app->folders.program = dir.path();
    app->folders.data = dir.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    app->ui = &ui;
    EXPECT_TRUE(db::createSongTable(databasePath().c_str()));
  }

  std::string databasePath() const { return app->settings.databasePath; }
  // A folder for music beside the data files.
  std::string music(const std::string& rest = "") const { return dir.path() + "music/" + rest; }

  // Opens the song table the way an import has it: for writing,
  // BusyCode::Import.
  void openForImport() {
    app->run.busyCode.store(codeValue(BusyCode::Import));
    openTable(true);
  }
  void openTable(bool writable) {
    db::TableHandle& t = app->songTable;
    text::copy(t.path, app->settings.databasePath);
    t.writable = writable ? 1 : 0;
    ASSERT_TRUE(db::openMapped(t));
  }

  // Every record in use except the empty one in slot 0, in slot order, read
  // through a handle of its own.
  std::vector<Record> records() const {
    db::TableHandle h;
    text::copy(h.path, app->settings.databasePath);
    h.writable = 0;
    std::vector<Record> out;
    if (!db::openMapped(h)) {
      ADD_FAILURE() << "the song table does not open";
      return out;
    }
    for (uint32_t s = 1; s < h.slotCount; ++s) {
      if (db::getStatus(h, s) != static_cast<int32_t>(db::kStatusInUse))
        continue;
      auto text = [&](uint32_t f) { return db::readField(h, s, f) >= 0 ? std::string(h.text) : std::string("?"); };
      auto number = [&](uint32_t f) { return db::readField(h, s, f) >= 0 ? h.value : 0xDEADu; };
      Record r;
      r.slot = s;
      r.fileName = text(db::FileName);
      r.name = text(db::Name);
      r.artist = text(db::Artist);
      r.album = text(db::Album);
      r.comment = text(db::Comment);
      r.id = number(db::ID);
      r.flags = number(db::Flags);
      r.startPoint = number(db::StartPoint);
      r.endPoint = number(db::EndPoint);
      r.playCount = number(db::PlayCount);
      r.field10 = number(10);
      for (uint32_t u = 0; u < 10; ++u) {
        r.scores.push_back(number(db::scoreField(u)));
        r.targets.push_back(number(db::targetField(u)));
      }
      out.push_back(r);
    }
    db::closeTable(h);
    return out;
  }

  std::vector<std::string> fileNames() const {
    std::vector<std::string> names;
    for (const Record& r : records())
      names.push_back(r.fileName);
    return names;
  }
};

}  // namespace plinka::test
