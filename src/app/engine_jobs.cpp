#include "app/engine_jobs.h"

#include "app/app.h"
#include "library/buffer_cache.h"
#include "library/cover_art.h"
#include "library/edit_queue.h"
#include "library/id_worker.h"
#include "play/list_builder.h"
#include "play/list_commands.h"
#include "play/player.h"
#include "play/quick_links.h"
#include "play/song_details.h"

namespace plinka {

void installSongChoosing(App& app) {
  app.hooks.buildList = [&app] { play::buildPass(app); };
  app.hooks.startDetailsLoader = [&app] { play::startDetailsLoader(app); };
  // Each list command's handler, by its code.
  struct Handler {
    play::ListCommand code;
    void (*run)(PlayContext&, uint32_t);
  };
  constexpr Handler kHandlers[] = {
      {play::ListCommand::Details, play::commandDetails},
      {play::ListCommand::Rate, play::commandRate},
      {play::ListCommand::PlayFromRow, play::commandPlayFromRow},
      {play::ListCommand::ClearList, play::commandClearList},
      {play::ListCommand::Remove, play::commandRemove},
      {play::ListCommand::SaveAsPlaylist, play::commandSaveAsPlaylist},
      {play::ListCommand::PlayNow, play::commandPlayNow},
      {play::ListCommand::ImportNow, play::commandImportNow},
      {play::ListCommand::PlayNext, play::commandPlayNext},
  };
  for (const Handler& h : kHandlers)
    app.commandHandlers[codeValue(h.code)] = [&app, run = h.run](uint32_t argument) { run(app, argument); };
}

void installEngineJobs(App& app) {
  installSongChoosing(app);
  library::installEditQueue(app);
  // Edits the last run could not write come back into the queue.
  library::restoreKeptEdits(app);
  library::installIdWorker(app);
  play::installPlayer(app);
  library::installBufferCache(app);
  app.hooks.startCoverLoader = [&app] { library::startCoverLoader(app); };
  app.hooks.startQuickLinkBuilder = [&app] { play::startQuickLinkBuilder(app); };
}

}  // namespace plinka
