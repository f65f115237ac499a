// Pieces the benchmark programs share for filling and walking a song table.
#pragma once

#include "app/app.h"
#include "bench_support.h"
#include "core/settings_defaults.h"
#include "core/settings_shared.h"
#include "db/records.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "text/text.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

namespace plinka::bench {

inline void setText(db::TableHandle& h, uint32_t slot, uint32_t field, const std::string& text) {
  text::copy(h.text, text.c_str());
  db::writeField(h, slot, field);
}

inline void setNumber(db::TableHandle& h, uint32_t slot, uint32_t field, uint32_t value) {
  h.value = value;
  db::writeField(h, slot, field);
}

// A song table of `count` songs by `artists` artists: ratings 0-10 at
// random, credits anywhere up to the target value, as in a collection played
// from for a long time.
inline bool makeRatedSongTable(const std::string& path, uint32_t count, uint32_t artists) {
  if (!db::createSongTable(path.c_str()))
    return false;
  db::TableHandle h;
  text::copy(h.path, path.c_str());
  h.writable = 1;
  if (!db::openMapped(h))
    return false;
  std::mt19937 rng(count);
  for (uint32_t k = 0; k < count; ++k) {
    const int32_t slot = k == 0 ? 0 : db::allocate(h);
    if (slot < 0)
      return false;
    const uint32_t s = static_cast<uint32_t>(slot);
    const uint32_t rating = rng() % 11;
    setText(h, s, db::FileName, "/music/" + std::to_string(k) + ".mp3");
    setText(h, s, db::Artist, "Artist " + std::to_string(rng() % artists));
    setNumber(h, s, db::scoreField(0), rating == 0 ? 0 : 1u << (rating - 1));
    setNumber(h, s, db::targetField(0), 1 + rng() % 1000);
  }
  db::closeTable(h);
  return true;
}

// One read pass: the song table opened as `mode`, every record in use walked
// in slot order with `field` read, the table closed. Returns seconds; adds a
// byte of each read text to `check` so the reads cannot be left out.
inline double readPass(App& app, db::SongTableOpen::Mode mode, uint32_t field, uint64_t& check) {
  const auto start = std::chrono::steady_clock::now();
  db::SongTableOpen table(app, mode);
  db::TableHandle& h = app.songTable;
  int32_t slot = db::firstWithStatus(h, static_cast<int32_t>(db::kStatusInUse), 0);
  while (slot >= 0) {
    db::readField(h, static_cast<uint32_t>(slot), field);
    check += static_cast<unsigned char>(h.text[8]);
    const int32_t next = db::nextInUse(h, static_cast<uint32_t>(slot));
    if (next == slot)
      break;
    slot = next;
  }
  table.close();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A player's state on a fresh scratch folder named after `name`, with the
// settings of a first run; null when the folder cannot be made.
inline std::unique_ptr<App> makeScratchApp(const char* name) {
  const std::string folder = makeScratchFolder(name);
  if (folder.empty())
    return nullptr;
  auto app = std::make_unique<App>();
  app->folders.program = folder + "/";
  app->folders.data = folder + "/";
  firstRunDefaults(app->settings, app->folders);
  shareSettings(*app);
  return app;
}

}  // namespace plinka::bench
