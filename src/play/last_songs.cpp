#include "play/last_songs.h"

#include "core/core_context.h"

#include <mutex>

namespace plinka::play {

bool hasLastSong(const CoreContext& app) { return app.settings.lastSongIndex[0] != -1; }

void stackPlayedSong(CoreContext& app, int32_t record) {
  SettingsRecord& s = app.settings;
  if (record == -1 || record == s.lastSongIndex[0])
    return;
  const std::lock_guard lock(app.shared.imageLock);
  for (int k = kLastSongDepth - 1; k > 0; --k)
    s.lastSongIndex[k] = s.lastSongIndex[k - 1];
  s.lastSongIndex[0] = record;
}

int32_t popLastSong(CoreContext& app) {
  SettingsRecord& s = app.settings;
  const std::lock_guard lock(app.shared.imageLock);
  const int32_t record = s.lastSongIndex[0];
  for (int k = 0; k < kLastSongDepth - 1; ++k)
    s.lastSongIndex[k] = s.lastSongIndex[k + 1];
  // The emptied bottom entry reads as "nothing more", never as record 0.
  s.lastSongIndex[kLastSongDepth - 1] = -1;
  return record;
}

}  // namespace plinka::play
