#include "shell/state_switch.h"

#include "db/table.h"
#include "library/playlist_file.h"
#include "shell/app.h"
#include "shell/settings_record.h"
#include "shell/status_texts.h"

namespace plinka {

void switchState(App& app, uint32_t newState) {
  SettingsRecord& s = app.settings;
  if (newState >= static_cast<uint32_t>(kStateCount) || newState == s.currentState)
    return;
  if (requestExclusive(app, kStateSwitchCode, 0, kStateSwitchPatience) != 1)
    return;

  library::writeList(app.list, library::stateListFileName(app));
  s.currentState = newState;
  app.list.clear();
  if (db::openSongTableForReading(app)) {
    const std::string listFile = library::stateListFileName(app);
    library::readPlaylist(app, listFile.c_str(), library::kPlaylistLoad);
    db::closeTable(app.songTable);
  }

  refreshStatus(app);
  // The new list's songs are to be copied into the buffer cache afresh.
  if (app.jobs.bufferStage.load() != kBufferError || s.bufferMode != 0)
    s.fillerSettings.rebufferValue = 0;

  if (app.run.busyCode.load() == kStateSwitchCode)
    releaseExclusive(app);
}

}  // namespace plinka
