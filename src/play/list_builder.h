// The list builder: chooses the songs the player plays next. It never ranks
// the collection; it draws records at random and puts each through a fixed
// chain of tests. A drawn song that is not yet ripe gains its Score as
// credit, so a song with a high Score ripens after few draws and one with a
// low Score after many. One pass chooses at most one song.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace plinka {
struct PlayContext;
}

namespace plinka::db {
struct TableHandle;
}

namespace plinka::play {

// Exclusive access of a pass.
constexpr uint32_t kBuildPatience = 10;
// A table with fewer songs in use is not built from.
constexpr uint32_t kFewestSongsToBuild = 20;
// The history and artist tests run only on collections at least this big.
constexpr uint32_t kHistoryFromSongs = 200;
constexpr uint32_t kArtistMemoryFromSongs = 500;
// buildState while building (another song wanted) and after a choice for
// the Media Filler.
constexpr uint32_t kBuildingMore = 1;
constexpr uint32_t kBuiltForFiller = 2;
// The quality balance at program start.
constexpr uint32_t kStartingBalance = 50;
// buildTime adapts by this step to how long a successful pass took.
constexpr uint32_t kBuildTimeStep = 100;
constexpr uint64_t kSlowPassMs = 30000;
constexpr uint64_t kFastPassMs = 3000;

// One-shot status messages of a pass.
constexpr const char* kNoFileSelected = "No file selected";
constexpr const char* kCannotOpenList = "Cannot open list";
constexpr const char* kDeepBuilding = "Plinka Deep Building";

struct BuilderState {
  // busy is 1 while a build pass runs, retries counts its retries. Written by
  // the builder; read by the status texts (and retries by the Media Filler).
  std::atomic<uint32_t> busy{0};
  std::atomic<uint32_t> retries{0};
  // 1 while the list builder leaves the list alone because the song table
  // holds too few songs to choose from. Written by the build pass; read by
  // the status texts, which say so instead of "Plinka Ready".
  std::atomic<uint32_t> tooFewSongs{0};
  // The quality balance: 50 at start, never saved. Written by build passes;
  // read by the Internals window.
  std::atomic<uint32_t> dbAverage{kStartingBalance};
  // FileName of the song the pass just chose. Written by the pass; read by
  // the Media Filler on the same thread after a pass left buildState 2.
  char chosenFile[600] = {};
  // FileName last appended to the list (or last taken by the Media Filler).
  // Written and read by passes and the filler, one at a time (`busy`).
  char lastListedFile[600] = {};
  // Guards the append step. Taken by exchange by the pass.
  std::atomic<uint32_t> listAddLock{0};
  // Set by the Media Filler while it drives the builder; read by the pass.
  std::atomic<uint32_t> fillerActive{0};
  // Position in the current alt-mode pattern (one counter for all patterns),
  // 0 at start, never saved. Written and read by advancePattern (pass or
  // filler).
  std::atomic<uint32_t> patternPos{0};

  // Seams for tests and the benchmark, set before any pass runs; empty in
  // the player. drawForTests replaces the random source's draw over 1..n,
  // positionForTests the mapping of a draw to the n-th record in use.
  std::function<uint32_t(uint32_t n)> drawForTests;
  std::function<int32_t(const db::TableHandle& table, uint32_t n)> positionForTests;
};

// One build pass, run by the background worker (buildState 1 or 10) and by
// the Media Filler. Afterwards buildState says what happened: 0 the list is
// full, 2 a song for the filler is in chosenFile, 1 or 10 call again,
// 1000 the database went offline.
void buildPass(PlayContext& app);

// Moves the current State to the next user of its alt-mode pattern.
void advancePattern(PlayContext& app);

}  // namespace plinka::play
