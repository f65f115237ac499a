// Song details: the texts and values of the song loaded last, of the current
// song and of the preloaded next song, the list rows built from them, the
// loader that fetches the next song's details while a song plays, and Auto
// Rate, which moves a song's Score after it was heard or skipped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

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
// is used only by the holder of the busy code (or of lookupLock). `current`,
// currentSongFile, currentSongRecord and currentSongScore are written by the
// player (under busy code 20) and the rating command, and read by the front
// end's painting and the commands. `next`, nextSongRecord and nextSongFile
// are written by the details loader while nextDetailsReady is 0 and read by
// the player once it is 1 (app.jobs.nextDetailsReady).
struct DetailsState {
  SongDetails loaded;
  SongDetails current;
  char currentSongFile[600] = {};
  int32_t currentSongRecord = -1;
  uint32_t currentSongScore = 0;
  SongDetails next;
  int32_t nextSongRecord = -1;
  char nextSongFile[600] = {};
  // 1 while a lookup runs. Taken by exchange by findAndLoadSong (any thread
  // that holds the busy code); a second lookup meanwhile fails at once.
  std::atomic<uint32_t> lookupLock{0};
};

// Exclusive-access codes of the player and of the details loader's preload.
constexpr uint32_t kPlayerAccessCode = 20;
constexpr uint32_t kPreloadAccessCode = 21;
constexpr uint32_t kPreloadPatience = 5;
// A song not found is looked up again: the first tries follow each other at
// once, the later ones after a pause (the table may be being refreshed).
constexpr int kLookupTries = 11;
constexpr int kQuickLookupTries = 3;
constexpr uint32_t kLookupPauseMs = 5000;

// Auto Rate speeds (autoRateSpeed): the Score moves by 1/8, 1/4 or 1/2 of
// itself; 2 and above are "Fast".
constexpr uint32_t kAutoRateSlow = 0;
constexpr uint32_t kAutoRateNormal = 1;
constexpr uint32_t kAutoRateFast = 2;

// Loads record `slot` for user u (0-9) into app.details.loaded: Score and
// Target of the user, Name, Artist, Album, Comment, ID, StartPoint and
// EndPoint. The song table must be open; the table's text buffer is kept.
void loadSongDetails(App& app, uint32_t slot, uint32_t user);

// Finds the song whose FileName matches (ASCII letters in either case),
// searching from the last record down, and loads its details for user u.
// Opens and closes the song table itself, so the caller holds the busy code.
// The record, or -1 when not found, when the table does not open or when
// another lookup is under way.
int32_t findAndLoadSong(App& app, const char* fileName, uint32_t user);

// The FileName (column 3) of a list row; an empty text for a row that does
// not exist. At most cap - 1 characters.
void readRowFileName(const App& app, size_t row, char* out, size_t cap);

// Inserts a row at `row` (past the end appends) with the title, artist and
// album of `details`, the FileName, and "Audio" or "Video" by the file's
// media type.
void putListRow(App& app, size_t row, const char* fileName, const SongDetails& details);

// The details loader. Under busy code 20 (called by the player) it loads the
// current song (currentSongFile) into the current details, setting
// currentSongRecord and currentSongScore. Otherwise it preloads the top row's
// song into the next details under exclusive access 21 and sets
// nextDetailsReady. A song not found gets the record -1 after kLookupTries
// lookups. Returns 1 when it ran, -1 when another loader runs or access 21
// was not granted.
int32_t runDetailsLoader(App& app);
// The heartbeat's start of the loader: takes detailsLoaderBusy and runs the
// preload on a job thread. Returns at once.
void startDetailsLoader(App& app);

// The Score Auto Rate gives a song of Score v, heard to the end or skipped,
// on the given speed, with `top` the Score of rating 10; nothing when the
// rule leaves the song alone (skipped at 0, heard above the top).
std::optional<uint32_t> autoRatedScore(uint32_t v, bool heardToEnd, uint32_t speed, uint32_t top);

// Auto Rate for the current song (called by the player when autoRate is on):
// queues the new Score of the State's user for the cache writer. Does
// nothing while the State follows a pattern of users, or for a song whose
// record is not known.
void adjustRating(App& app, bool heardToEnd);

}  // namespace plinka::play
