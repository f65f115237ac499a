#include "app/engine_jobs.h"

#include "app/app.h"
#include "library/buffer_cache.h"
#include "library/cover_art.h"
#include "library/edit_queue.h"
#include "library/id_worker.h"
#include "play/install.h"
#include "play/player.h"
#include "play/quick_links.h"

namespace plinka {

void installEngineJobs(App& app) {
  play::installSongChoosing(app);
  library::installEditQueue(app);
  // Edits the last run could not write come back into the queue.
  library::restoreKeptEdits(app);
  library::installIdWorker(app);
  play::installPlayer(app);
  library::installBufferCache(app);
  app.hooks.startCoverLoader = library::startCoverLoader;
  app.hooks.startQuickLinkBuilder = play::startQuickLinkBuilder;
}

}  // namespace plinka
