#include "play/play_context.h"

#include "play/shutdown_timer.h"

namespace plinka {

PlayContext::PlayContext() {
  list.mirrorCountInto(&run.listCount);
  listedFiles = [this] {
    std::vector<std::string> files;
    for (const play::ListRow& row : list.rows())
      files.push_back(row.column[play::FileName]);
    return files;
  };
  currentSongFile = [this] { return play::copyCurrentSong(*this).file; };
  hooks.startShutdownTimer = [this] { play::startShutdownTimer(*this); };
}

}  // namespace plinka
