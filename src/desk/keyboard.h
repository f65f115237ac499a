// The main window's single-key shortcuts. A key either names a command, which
// the front end posts to the main window, or is handled here (the user and
// alt mode keys, the cover art switch), or opens the popup menu.
#pragma once

#include "core/window_command_ids.h"

#include <cstdint>

namespace plinka {

struct App;

// Key codes: letters and digits are their upper-case ASCII codes ('A'-'Z',
// '0'-'9'); these are the others the map knows.
constexpr int kKeyF1 = 0x70;
constexpr int kKeyPlay = 0xFA;
// The volume keys: "+" (also "=") and "-".
constexpr int kKeyVolumeUp = '+';
constexpr int kKeyVolumeDown = '-';

// Heartbeat ticks during which digits choose a user (after U) or an alt mode
// (after A).
constexpr int32_t kKeyWindowTicks = 20;

struct KeyOutcome {
  WindowCommand command = WindowCommand::None;  // a command to post to the main window
  bool popupMenu = false;                       // open the popup menu at (0, 0)
  bool repaint = false;                         // the now-playing area must be painted again
  bool handled = false;                         // false: the key is not the map's, pass it on
};

// Handles one key press of the main window.
KeyOutcome handleKey(App& app, int key);

}  // namespace plinka
