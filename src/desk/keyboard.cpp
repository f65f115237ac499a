#include "desk/keyboard.h"

#include "app/app.h"
#include "core/current_state.h"
#include "desk/status_texts.h"
#include "desk/window_commands.h"
#include "play/volume.h"

namespace plinka {

namespace {

// Digit 0 stands for the tenth user (index 9) after U, and for the last alt
// mode after A.
constexpr uint32_t kTenthUser = 9;
constexpr uint32_t kAltModeOfZero = kAltModeCount;

KeyOutcome command(WindowCommand id) {
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
    return command(WindowCommand::Help);
  case 'U':
    run.userKeyWindow.store(kKeyWindowTicks);
    run.altKeyWindow.store(0);
    return command(WindowCommand::None);
  case 'A':
    run.altKeyWindow.store(kKeyWindowTicks);
    run.userKeyWindow.store(0);
    return command(WindowCommand::None);
  case 'P':
  case kKeyPlay:
    return command(WindowCommand::PlayPause);
  case 'S':
    return command(WindowCommand::Skip);
  case 'R':
    return command(WindowCommand::Restart);
  case 'B':
    return command(WindowCommand::LastSong);
  case 'F':
    return command(WindowCommand::LastSongKey);
  case 'O':
    return command(WindowCommand::Options);
  case 'C': {
    setPictureSetting(app, PictureSetting::CoverArt, app.settings.coverArt != 0 ? 0 : 1);
    KeyOutcome outcome = command(WindowCommand::None);
    outcome.repaint = true;
    return outcome;
  }
  case kKeyVolumeUp:
  case kKeyVolumeDown: {
    const double step = key == kKeyVolumeUp ? play::kVolumeStep : -play::kVolumeStep;
    play::setCurrentVolume(app, play::currentVolume(app) + step);
    return command(WindowCommand::None);
  }
  case 'M': {
    KeyOutcome outcome = command(WindowCommand::None);
    outcome.popupMenu = true;
    return outcome;
  }
  default:
    return KeyOutcome{};
  }
}

}  // namespace plinka
