#include "play/install.h"

#include "app/app.h"
#include "play/list_builder.h"
#include "play/list_commands.h"
#include "play/song_details.h"

namespace plinka::play {

void installSongChoosing(App& app) {
  app.hooks.buildList = buildPass;
  app.hooks.startDetailsLoader = startDetailsLoader;
  app.commandHandlers[kCommandDetails] = commandDetails;
  app.commandHandlers[kCommandRate] = commandRate;
  app.commandHandlers[kCommandPlayFromRow] = commandPlayFromRow;
  app.commandHandlers[kCommandClearList] = commandClearList;
  app.commandHandlers[kCommandRemove] = commandRemove;
  app.commandHandlers[kCommandSaveAsPlaylist] = commandSaveAsPlaylist;
  app.commandHandlers[kCommandPlayNow] = commandPlayNow;
  app.commandHandlers[kCommandImportNow] = commandImportNow;
  app.commandHandlers[kCommandPlayNext] = commandPlayNext;
}

}  // namespace plinka::play
