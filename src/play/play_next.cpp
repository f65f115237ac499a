#include "play/play_next.h"

#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "core/status_message.h"
#include "play/play_context.h"
#include "play/song_details.h"

namespace plinka::play {

namespace {

// The longest FileName a lookup takes (the details buffers' size less one).
constexpr size_t kFileNameMax = sizeof(DetailsState::currentSongFile) - 1;

}  // namespace

bool playNext(PlayContext& app, const std::string& fileName) {
  // A name that would not fit the lookup could only find some other song.
  if (fileName.empty() || fileName.size() > kFileNameMax)
    return false;
  bool inserted = false;
  {
    // Code 31 is the one the Song details window's own work on a song uses.
    const ExclusiveAccess access(app, BusyCode::SongRating, kPlayNextPatience);
    if (access.held() && findAndLoadSong(app, fileName.c_str(), currentUser(app)) >= 0) {
      putListRow(app, 0, fileName.c_str(), app.details.loaded);
      inserted = true;
    }
  }
  if (inserted) {
    // The details preloaded for the old top row no longer fit: the heartbeat
    // loads those of the new one.
    app.details.nextReady.store(0);
    noticeStatusChanged(app);
  }
  return inserted;
}

}  // namespace plinka::play
