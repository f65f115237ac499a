// What every window test needs: the one QApplication of the suite, running
// the event loop until something holds, and clicking a modal dialog's button.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace plinka::gui {

// Runs the event loop until `done` holds or `limitMs` have passed; false on
// the time limit.
bool processUntil(const std::function<bool()>& done, int limitMs = 5000);

// Clicks the button named `button` (its object name) of the modal dialog as
// soon as one is open; the flag tells that it was clicked.
std::shared_ptr<std::atomic<bool>> clickWhenShown(const char* button);

}  // namespace plinka::gui
