#include "app/end_of_run.h"

#include "app/app.h"
#include "desk/quit_requests.h"
#include "library/edit_queue.h"

namespace plinka {

void finishRun(App& app) {
  // Every waiting edit is written (or kept for the next start): a Score that
  // Auto Rate gave is the user's listening, not something to drop.
  if (library::editsWaiting(app) > 0 && app.hooks.writeCachedEditsAtExit) {
    app.hooks.writeCachedEditsAtExit();
  }
  app.run.commandSlot.store(kEndedCode);
  postEndCommand(app);
}

}  // namespace plinka
