// The main window's place as the settings keep it: its normal (not maximised,
// not full screen) geometry and whether it was maximised, written when the
// run ends and put back when the next one starts. A place that no connected
// screen shows any more (a screen since disconnected) opens on the primary
// screen instead.
#pragma once

class QWidget;

namespace plinka {
struct SettingsRecord;
}

namespace plinka::gui {

// Writes `window`'s place into the settings' window placement.
void storeWindowPlacement(const QWidget& window, SettingsRecord& settings);

// Puts `window` at the stored place. A place never stored, or a size no
// screen could show, leaves the window's size as it is; a place that no
// connected screen shows moves onto the primary screen. Maximising is the
// caller's (the settings' own flag says whether).
void restoreWindowPlacement(QWidget& window, const SettingsRecord& settings);

}  // namespace plinka::gui
