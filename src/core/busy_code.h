// The codes under which a job asks for, and then holds, exclusive use of the
// upcoming list and the song table. This is their one home: the run state
// keeps the code as a plain word (it holds a list command's number, 1-19,
// while that command runs), every requester names its code from here.
#pragma once

#include <cstdint>

namespace plinka {

enum class BusyCode : uint32_t {
  Player = 20,          // the player starting a song
  Preload = 21,         // the details loader preloading the next song
  IdWorker = 25,        // the ID worker of the buffer cache
  SearchWindow = 26,    // the search window's database work
  CacheWriter = 27,     // writing the deferred edits
  DatabaseWindow = 28,  // the Database window
  Import = 30,          // importing folders and playlists
  SongRating = 31,      // the Song details window's rating
  Maintenance = 32,     // a database maintenance function
  QuickLinks = 33,      // the quick-link builder
  ListBuild = 34,       // a list build pass
  SongEdit = 36,        // the Song details window's editing
  StateSwitch = 37,     // the change of State
  Loudness = 38,        // the loudness job's look-ups and writes
};

constexpr uint32_t codeValue(BusyCode code) { return static_cast<uint32_t>(code); }

}  // namespace plinka
