// Song details: the texts and values of the song loaded last, of the current
// song and of the preloaded next song, and the list rows built from them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plinka {
struct App;
}

namespace plinka::play {

// The texts and values of one song as shown and played.
struct SongDetails {
  char title[600] = {};
  char artist[600] = {};
  char album[600] = {};
  char comment[600] = {};
  char year[600] = {};
  uint32_t score = 0;
  uint32_t target = 0;
  uint32_t id = 0;
  uint32_t startPoint = 0;
  uint32_t endPoint = 0;
};

// The details of every song area. `loaded` is overwritten by every load; it
// is used only by the holder of the busy code (or of lookupLock). `current`
// is written by the player (under busy code 20) and the rating command, and
// read by the front end's painting and the commands. `next` and nextSongFile
// are written by the details loader while nextDetailsReady is 0 and read by
// the player once it is 1 (app.jobs.nextDetailsReady).
struct DetailsState {
  SongDetails loaded;
  SongDetails current;
  char currentSongFile[600] = {};
  int32_t currentSongRecord = -1;
  uint32_t currentSongScore = 0;
  SongDetails next;
  char nextSongFile[600] = {};
};

// Loads record `slot` for user u (0-9) into app.details.loaded: Score and
// Target of the user, Name, Artist, Album, Comment, ID, StartPoint and
// EndPoint. The song table must be open; the table's text buffer is kept.
void loadSongDetails(App& app, uint32_t slot, uint32_t user);

// The FileName (column 3) of a list row; an empty text for a row that does
// not exist. At most cap - 1 characters.
void readRowFileName(const App& app, size_t row, char* out, size_t cap);

// Inserts a row at `row` (past the end appends) with the title, artist and
// album of `details`, the FileName, and "Audio" or "Video" by the file's
// media type.
void putListRow(App& app, size_t row, const char* fileName, const SongDetails& details);

}  // namespace plinka::play
