// The loudness levelling a song is played with: none while levelling is off;
// else the gain of its ReplayGain tags, which the playback reads from the
// file itself, and for a file without them the gain its stored loudness
// calls for (by album: its album's, when the album has one), or the median
// gain of the table's songs when it has none.
#pragma once

#include "platform/playback.h"

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

struct SongDetails;

platform::Levelling levellingFor(const PlayContext& app, const SongDetails& song);

}  // namespace plinka::play
