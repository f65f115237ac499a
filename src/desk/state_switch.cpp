#include "desk/state_switch.h"

#include "app/app.h"
#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "core/settings_record.h"
#include "desk/status_texts.h"
#include "play/list_file.h"
#include "play/volume.h"

namespace plinka {

namespace {

// Saves the list to the current State's file and loads `newState`'s list.
// Runs under exclusive access.
void changeState(App& app, uint32_t newState) {
  play::saveStateList(app);
  storeCurrentState(app, newState);
  app.list.clear();
  play::loadStateList(app);
  play::fadeToStateVolume(app);
  refreshStatus(app);
  // The new list's songs are to be copied into the buffer cache afresh.
  if (app.bufferCache.stage.load() != library::BufferStage::Error || app.settings.bufferMode != 0)
    app.shared.rebufferValue.store(0);
}

// Carries out the waiting choices while the switcher holds `running`.
void carryOutChoices(App& app) {
  StateSwitchState& sw = app.stateSwitch;
  for (int32_t wanted = sw.wanted.load(); wanted != kNoStateWanted; wanted = sw.wanted.load()) {
    // The current State needs no change and no exclusive access.
    if (static_cast<uint32_t>(wanted) == currentStateIndex(app)) {
      sw.wanted.compare_exchange_strong(wanted, kNoStateWanted);
      continue;
    }
    const ExclusiveAccess access(app, BusyCode::StateSwitch, kStateSwitchPatience);
    if (!access.held()) {
      // Refused (the run ends) or not granted in time: the choice lapses,
      // as a single request's would.
      sw.wanted.store(kNoStateWanted);
      return;
    }
    // Under exclusive access: the newest choice wins; one made meanwhile is
    // taken in the next round.
    for (int32_t newest = sw.wanted.exchange(kNoStateWanted); newest != kNoStateWanted;
         newest = sw.wanted.exchange(kNoStateWanted)) {
      const uint32_t newState = static_cast<uint32_t>(newest);
      if (newState != currentStateIndex(app))
        changeState(app, newState);
    }
  }
}

}  // namespace

void runStateSwitcher(App& app) {
  StateSwitchState& sw = app.stateSwitch;
  while (sw.running.exchange(1) == 0) {
    carryOutChoices(app);
    sw.running.store(0);
    {
      // Taken between the change and the wake-up, so a waiter is either
      // past its look at `running` or already asleep.
      const std::lock_guard<std::mutex> hold(sw.idleMutex);
    }
    sw.idle.notify_all();
    // A choice recorded after the last look and before `running` was freed
    // found a switcher still running: take it here.
    if (sw.wanted.load() == kNoStateWanted)
      return;
  }
}

void requestStateSwitch(App& app, uint32_t newState) {
  if (newState >= static_cast<uint32_t>(kStateCount))
    return;
  app.stateSwitch.wanted.store(static_cast<int32_t>(newState));
  if (app.stateSwitch.running.load() != 0)
    return;
  App* running = &app;
  app.jobThreads.start([running] { runStateSwitcher(*running); });
}

void awaitStateSwitches(App& app) {
  StateSwitchState& sw = app.stateSwitch;
  for (;;) {
    runStateSwitcher(app);
    {
      std::unique_lock<std::mutex> hold(sw.idleMutex);
      sw.idle.wait(hold, [&sw] { return sw.running.load() == 0; });
    }
    // A choice made while the other switcher was freeing `running` may be
    // left to whoever looks next: this thread.
    if (sw.wanted.load() == kNoStateWanted)
      return;
  }
}

void switchState(App& app, uint32_t newState) {
  if (newState >= static_cast<uint32_t>(kStateCount))
    return;
  app.stateSwitch.wanted.store(static_cast<int32_t>(newState));
  runStateSwitcher(app);
}

}  // namespace plinka
