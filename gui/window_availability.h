// Which of the program's windows exist yet. The commands that open a window
// still to come are shown disabled in the menus and on the toolbar, and a
// request for such a window that arrives another way (a key, a command the
// engine posts) says so in the status bar instead of doing nothing.
#pragma once

#include "core/front_end.h"

#include <cstdint>
#include <optional>
#include <string>

namespace plinka::gui {

// The window a command opens, if it opens one.
std::optional<WindowKind> windowOpenedBy(uint32_t command);

// True for the windows this program has.
bool windowAvailable(WindowKind window);

// False for a command whose only work is to open a window that does not
// exist yet.
bool commandAvailable(uint32_t command);

// The one-shot status message for a window that does not exist yet.
std::string notAvailableMessage(WindowKind window);

}  // namespace plinka::gui
