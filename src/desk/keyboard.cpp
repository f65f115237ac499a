#include "desk/keyboard.h"

#include "app/app.h"
#include "core/current_state.h"
#include "desk/status_texts.h"
#include "desk/window_commands.h"

namespace plinka {

namespace {

// Digit 0 stands for the tenth user (index 9) after U, and for alt mode 10
// after A.
constexpr uint32_t kTenthUser = 9;
constexpr uint32_t kAltModeOfZero = 10;

KeyOutcome command(uint32_t id) {
  KeyOutcome outcome;
  outcome.command = id;
  outcome.handled = true;
  return outcome;
}

// A digit while a key window is open: the user (and single-user mode) after
// U, else the alt mode (and the first user) after A.
KeyOutcome digit(App& app, uint32_t value) {
  KeyOutcome outcome;
  RunState& run = app.run;
  const bool userWindow = run.userKeyWindow.load() > 0;
  if (!userWindow && run.altKeyWindow.load() <= 0)
    return outcome;
  const uint32_t state = currentStateIndex(app);
  if (userWindow) {
    setStateUser(app, state, value == 0 ? kTenthUser : value - 1);
    setStateAltMode(app, state, 0);
  } else {
    setStateAltMode(app, state, value == 0 ? kAltModeOfZero : value);
    setStateUser(app, state, 0);
  }
  refreshStatus(app);
  outcome.handled = true;
  return outcome;
}

}  // namespace

KeyOutcome handleKey(App& app, int key) {
  RunState& run = app.run;
  if (key >= '0' && key <= '9')
    return digit(app, static_cast<uint32_t>(key - '0'));
  switch (key) {
  case kKeyF1:
    return command(kCmdHelp);
  case 'U':
    run.userKeyWindow.store(kKeyWindowTicks);
    run.altKeyWindow.store(0);
    return command(0);
  case 'A':
    run.altKeyWindow.store(kKeyWindowTicks);
    run.userKeyWindow.store(0);
    return command(0);
  case 'P':
  case kKeyPlay:
    return command(kCmdPlayPause);
  case 'S':
    return command(kCmdSkip);
  case 'R':
    return command(kCmdRestart);
  case 'B':
    return command(kCmdLastSong);
  case 'F':
    return command(kCmdLastSongKey);
  case 'O':
    return command(kCmdOptions);
  case 'C': {
    setPictureSetting(app, PictureSetting::CoverArt, app.settings.coverArt != 0 ? 0 : 1);
    KeyOutcome outcome = command(0);
    outcome.repaint = true;
    return outcome;
  }
  case 'M': {
    KeyOutcome outcome = command(0);
    outcome.popupMenu = true;
    return outcome;
  }
  default:
    return KeyOutcome{};
  }
}

}  // namespace plinka
