#include "play/shutdown_timer.h"

#include "play/play_context.h"

namespace plinka::play {

namespace {}  // namespace

bool startShutdownTimer(PlayContext& app) {
  if (app.settings.shutdownAfterBuild == 0 || app.settings.autoBuild == 0 || app.run.playerRunning.load() != 0) {
    return false;
  }
  // One prompt at a time: a second one would power off after its own 30
  // seconds even though the first was aborted.
  if (app.shutdownTimerRunning.exchange(1) != 0) {
    return false;
  }
  if (!app.jobThreads.start([&app] { runShutdownTimer(app); })) {
    app.shutdownTimerRunning.store(0);
    return false;
  }
  return true;
}

void runShutdownTimer(PlayContext& app) {
  PromptRequest request;
  request.message = kShutdownMessage;
  request.firstCaption = kShutdownNow;
  request.secondCaption = kShutdownAbort;
  request.style = PromptStyle::SmallQuestion;
  request.autoCloseSeconds = kShutdownSeconds;
  const uint32_t answer = askPrompt(app, request);
  if (answer == kPromptFirst && app.power) {
    app.power->requestPowerOff();
  }
  app.shutdownTimerRunning.store(0);
}

}  // namespace plinka::play
