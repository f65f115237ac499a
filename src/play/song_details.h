// Song details: the texts and values of the song loaded last, of the current
// song and of the preloaded next song, the list rows built from them, the
// loader that fetches the next song's details while a song plays, and Auto
// Rate, which moves a song's Score after it was heard or skipped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace plinka {
struct PlayContext;
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
  // The song's Loudness value, and its album's taken as one (found only by
  // the details loader of the playing and the next song, while levelling
  // goes by album; 0 otherwise). See library/loudness.h.
  uint32_t loudness = 0;
  uint32_t albumLoudness = 0;
};

// The details of every song area.
//
// `loaded` is overwritten by every load; it is used only by the holder of the
// busy code (or of lookupLock).
//
// `current` and currentSongFile are written only on the player thread (its
// start and its own details load), while it holds BusyCode::Player, and under
// currentMutex. The player and any holder of a busy code read them without
// the lock; every other thread (the front end's painting, the cover loader)
// copies them under currentMutex, see copyCurrentSong.
//
// `next`, nextSongRecord and nextSongFile are written by the details loader
// while nextReady is 0 and read by the player once it is 1.
struct DetailsState {
  // Next song's details ready, loader running. Written by the loader and the
  // player; read by the heartbeat.
  std::atomic<uint32_t> nextReady{0};
  std::atomic<uint32_t> loaderBusy{0};
  SongDetails loaded;
  mutable std::mutex currentMutex;
  SongDetails current;
  char currentSongFile[600] = {};
  // The record of the song playing now, -1 when not known. Written by the
  // player at a start; read by Auto Rate, the rating command and the front
  // end (the details window).
  std::atomic<int32_t> currentSongRecord{-1};
  // The playing song's Score for the State's user. Written by the player at
  // a start and by the rating command; read by Auto Rate and the painting.
  std::atomic<uint32_t> currentSongScore{0};
  // The record "Play Now" asks for. Written by the Play Now commands before
  // they set playNowFlag; taken (and reset to -1) by the player's start. Kept
  // apart from currentSongRecord so that the song still playing until then
  // is rated and stacked as itself.
  std::atomic<int32_t> playNowRecord{-1};
  // The FileName of the song a quick-link row showed, when such a row asks
  // for Play Now; it wins over playNowRecord, since a sort, a delete, a
  // compaction or another song table may have given that record to another
  // song since the list was built. Written by the click (front end) before
  // it sets playNowFlag; taken (and emptied) by the player's start. Both
  // under playNowMutex.
  std::mutex playNowMutex;
  std::string playNowFile;
  SongDetails next;
  int32_t nextSongRecord = -1;
  char nextSongFile[600] = {};
  // 1 while a lookup runs. Taken by exchange by findAndLoadSong (any thread
  // that holds the busy code); a second lookup meanwhile fails at once.
  std::atomic<uint32_t> lookupLock{0};
};

// The current song's texts as another thread sees them: one consistent copy.
struct CurrentSongTexts {
  std::string title;
  std::string artist;
  std::string album;
  std::string comment;
  std::string file;
};

// Patience of the details loader's preload.
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
void loadSongDetails(PlayContext& app, uint32_t slot, uint32_t user);

// The details a song gets from a lookup: what was loaded when the record
// was found, else nothing at all.
SongDetails detailsFound(const PlayContext& app, int32_t record);
// While levelling goes by album: the album's loudness of the record's song
// into `details` (a walk over the song table, which must not be open).
void addAlbumLoudness(PlayContext& app, int32_t record, SongDetails& details);

// Finds the song whose FileName matches (ASCII letters in either case),
// searching from the last record down, and loads its details for user u.
// Opens and closes the song table itself, so the caller holds the busy code.
// The record, or -1 when not found, when the table does not open or when
// another lookup is under way.
int32_t findAndLoadSong(PlayContext& app, const char* fileName, uint32_t user);

// The FileName (column 3) of a list row; an empty text for a row that does
// not exist. At most cap - 1 characters.
void readRowFileName(const PlayContext& app, size_t row, char* out, size_t cap);

// Inserts a row at `row` (past the end appends) with the title, artist and
// album of `details`, the FileName, and "Audio" or "Video" by the file's
// media type.
void putListRow(PlayContext& app, size_t row, const char* fileName, const SongDetails& details);

// Sets the current song's file name, or its details, under currentMutex.
// Player thread only, while it holds BusyCode::Player.
void setCurrentSongFile(PlayContext& app, const char* fileName);
void setCurrentDetails(PlayContext& app, const SongDetails& details);

// A copy of the current song's texts, for threads other than the player.
CurrentSongTexts copyCurrentSong(const PlayContext& app);

// How a run of the details loader ended.
enum class LoaderRun {
  Ran,     // the details were loaded (or found missing)
  NotRun,  // another loader runs, or the preload's access was not granted
};

// The details loader. Under BusyCode::Player (called by the player) it loads
// the current song (currentSongFile) into the current details, setting
// currentSongRecord and currentSongScore. Otherwise it preloads the top row's
// song into the next details under BusyCode::Preload and sets
// details.nextReady. A song not found gets the record -1 after kLookupTries
// lookups, and empty details: no title, no StartPoint or EndPoint, nothing
// left over from the song loaded before it.
LoaderRun runDetailsLoader(PlayContext& app);
// The heartbeat's start of the loader: takes details.loaderBusy and runs the
// preload on a job thread. Returns at once.
void startDetailsLoader(PlayContext& app);

// The Score Auto Rate gives a song of Score v, heard to the end or skipped,
// on the given speed, with `top` the Score of rating 10; nothing when the
// rule leaves the song alone (skipped at 0, heard above the top).
std::optional<uint32_t> autoRatedScore(uint32_t v, bool heardToEnd, uint32_t speed, uint32_t top);

// Auto Rate for the current song (called by the player when autoRate is on):
// queues the new Score of the State's user for the cache writer. Does
// nothing while the State follows a pattern of users, or for a song whose
// record is not known.
void adjustRating(PlayContext& app, bool heardToEnd);

}  // namespace plinka::play
