// "Play next" for a song named by its file: the song goes on top of the
// upcoming list, so it is the next one the player takes. The Search window's
// double click and its "Play Next" use it; the list's own "Play Next" moves a
// row that is already listed (ListCommand::PlayNext) instead.
#pragma once

#include <cstdint>
#include <string>

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

// Patience of the request for exclusive use.
constexpr uint32_t kPlayNextPatience = 10;

// Under exclusive use (BusyCode::SongRating) finds the song whose FileName is
// `fileName`, loads its details for the current State's user and inserts its
// row at the top of the list. True when the row was inserted; false when
// exclusive use was not granted or the song is not in the song table. Waits for
// exclusive use, so it runs on a job thread, never on the GUI thread.
bool playNext(PlayContext& app, const std::string& fileName);

}  // namespace plinka::play
