// The tray icon that stands for the main window while the window is
// minimised into the tray: a left click brings the window back, a right click
// opens the popup menu, and its tip tells what the player is doing. The icon
// is made the first time the window goes into the tray, so a desktop without
// a tray never gets one.
#pragma once

#include <functional>

class QSystemTrayIcon;
class QWidget;

namespace plinka {
struct App;
}

namespace plinka::gui {

class TrayIcon {
public:
  // `window` is the window the icon stands for (it also owns the icon);
  // `rightClick` opens the popup menu. Made and used on the GUI thread.
  TrayIcon(App& app, QWidget* window, std::function<void()> rightClick);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // The window goes into the tray: the icon shows with the program's title
  // as its tip, the player counts as in the tray, and the window, no longer
  // maximised, hides.
  void takeWindow();
  // The left click: the icon goes and the window comes back, normal size,
  // in front.
  void giveWindowBack();
  // Shows what the player is doing as the tip, once the icon exists.
  void refreshTip();
  // Hides the icon, if it was ever made (the end of the run).
  void hide();

private:
  App& app_;
  QWidget* window_;
  std::function<void()> rightClick_;
  QSystemTrayIcon* icon_ = nullptr;
};

}  // namespace plinka::gui
