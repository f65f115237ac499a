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
  app.commandHandlers[codeValue(play::ListCommand::Details)] = [&app](uint32_t argument) {
    play::commandDetails(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::Rate)] = [&app](uint32_t argument) {
    play::commandRate(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::PlayFromRow)] = [&app](uint32_t argument) {
    play::commandPlayFromRow(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::ClearList)] = [&app](uint32_t argument) {
    play::commandClearList(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::Remove)] = [&app](uint32_t argument) {
    play::commandRemove(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::SaveAsPlaylist)] = [&app](uint32_t argument) {
    play::commandSaveAsPlaylist(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::PlayNow)] = [&app](uint32_t argument) {
    play::commandPlayNow(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::ImportNow)] = [&app](uint32_t argument) {
    play::commandImportNow(app, argument);
  };
  app.commandHandlers[codeValue(play::ListCommand::PlayNext)] = [&app](uint32_t argument) {
    play::commandPlayNext(app, argument);
  };
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
