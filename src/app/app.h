// The App: all long-lived state of one player, gathered in one place, and the
// threads that run it. main() creates one; each test creates a fresh one, so
// two engines can run in one process. Each layer's state lives in its own
// context (core, db, library, play), which the App stacks; the window's
// State choice and the scheduler's threads are the App's own.
#pragma once

#include "app/scheduler.h"
#include "desk/state_switch.h"
#include "play/play_context.h"

namespace plinka {

struct App : PlayContext {
  // The State choice waiting for the switcher (each member says who writes
  // and reads it).
  StateSwitchState stateSwitch;

  // The long-lived threads; joined when the App ends, while everything above
  // still exists.
  Scheduler scheduler;

  // A status change is shown by composing the window's texts, and a
  // settings save asked for from below saves this App's settings file.
  App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;
  ~App() { stopScheduler(*this); }
};

}  // namespace plinka
