// The "last song again" stack: the records of the songs played before, kept
// in the settings record (lastSongIndex) so that they outlive the run. Entry
// 0 is the newest; -1 marks the end of what was pushed. The player is its
// only writer; it changes the stack under imageLock, which the settings save
// holds while it copies the record.
#pragma once

#include <cstdint>

namespace plinka {
struct CoreContext;
}

namespace plinka::play {

// Entries of the stack in the settings record.
constexpr int kLastSongDepth = 10;

// Whether the stack holds a song to play again.
bool hasLastSong(const CoreContext& app);

// Puts the record of a song that has played on top of the stack, unless
// there is none (-1) or it is on top already (the song was played again).
void stackPlayedSong(CoreContext& app, int32_t record);

// Takes the newest record off the stack; -1 when it is empty.
int32_t popLastSong(CoreContext& app);

}  // namespace plinka::play
