// The main window: toolbar, now-playing area, seek bar, upcoming list and
// status bar, placed by arithmetic on the client size; the popup menu and the
// keyboard map. Its tray icon (tray_icon.h), its kept place
// (window_placement.h) and the end of the run (session_end.h) live beside it.
// It shows what the engine holds and hands every request to the engine's
// window commands.
#pragma once

#include "core/front_end.h"
#include "core/window_command_ids.h"
#include "gui/window_layout.h"
#include "play/list_commands.h"
#include "play/upcoming_list.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolBar;
class QTreeView;

namespace plinka {
struct App;
struct MenuEntry;
struct WindowEffects;
}  // namespace plinka

namespace plinka::gui {

// The volume slider's range: thousandths of full volume.
constexpr int kVolumeBarRange = 1000;

class NowPlayingView;
class RunEnd;
class SearchWindow;
class TrayIcon;
class UpcomingModel;

class MainWindow : public QWidget {
  Q_OBJECT

public:
  // Shows the list's rows now and follows its changes from here on. Made on
  // the GUI thread before the worker threads start.
  explicit MainWindow(App& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Everything below runs on the GUI thread.

  // Puts the toolbar's pictures from "ToolBar.bmp" of the program folder on
  // its buttons. False when the picture file is missing or unreadable.
  bool loadToolbarPictures();
  void applyStatus(const StatusTexts& texts);
  // Paints the now-playing area again and shows or hides the video.
  void refreshNowPlaying();
  void refreshSeekBar();
  // Moves the volume slider to the current State's volume.
  void refreshVolumeBar();
  // Scrolls the upcoming list to its top row.
  void showListTop();
  // Shows what the player has changed, all in one go: the play button, the
  // now-playing area, the seek bar, the play button's tooltip and the tray
  // tip, the volume slider, then whatever else follows the player
  // (onPlayerChanged).
  void showPlayerChanges(PlayerChanges changes);
  std::function<void()> onPlayerChanged;
  // Called once when the run ends, before the worker threads are stopped.
  std::function<void()> onEnding;
  // Whether the desktop shows tray icons; minimising goes to the tray only
  // then (tests stand in for the desktop here).
  std::function<bool()> trayAvailable;
  void setPlaying(bool playing);
  // Every command: toolbar, menus, keys, and commands posted by the engine
  // (WindowCommand::PlayPause, WindowCommand::EndRun,
  // WindowCommand::SongDetailsOf...).
  void runCommand(WindowCommand command, uint32_t parameter);
  // Opens one of the program's windows.
  void openWindow(WindowKind window, uint32_t argument);
  // A key press as the keyboard map takes it; false when the key is not one
  // of the map's.
  bool takeKey(int key);
  // The popup menu for a click at `at` (client coordinates), built afresh;
  // the caller owns it. `listMenu` makes it the list's menu, whose row
  // commands act on the list's current row as it is now.
  std::unique_ptr<QMenu> makePopupMenu(QPoint at, bool listMenu);
  // Carries out the entry `command` of the menu made last.
  void chooseMenuEntry(WindowCommand command);
  // Builds the popup menu, runs it at the cursor and carries out the choice.
  void showPopupMenu(QPoint at, bool listMenu);
  // The tray icon's two buttons.
  void trayLeftClick();
  void trayRightClick();
  // A column's width as the settings keep it: as shown, except for the
  // last column, which shows as wide as the window leaves it and keeps the
  // width it was given.
  int columnWidthKept(int column) const;
  // Writes the column widths and the window's place into the settings.
  void storeColumnWidths();
  void storePlacement();
  // Puts the window at its stored place (on the primary screen when no
  // connected screen shows that place).
  void applyPlacement();
  // The end of the run (RunEnd::finishRun): hides the window, saves the
  // settings with the window's place and column widths, and stops the
  // engine's threads with the event loop running. Once per run; later calls
  // do nothing.
  void finishRun();

  // The list's current row (the one the user last clicked or moved to),
  // which follows its song when rows above it come or go: its row id, or
  // play::kNoRowId when no row is current.
  uint32_t currentRowId() const;
  void setCurrentRow(int row);
  QTreeView* listView() const { return list_; }
  // Full screen video: leaves full screen for the rest of the song.
  void leaveFullScreen();
  bool fullScreenVideo() const { return fullScreenVideo_; }

  // What the window shows, for checks.
  const MainLayout& layout() const { return layout_; }
  int rowCount() const;
  std::string cellText(int row, int column) const;
  std::string statusText(int part) const;
  int statusPartCount() const;
  QRect listGeometry() const;
  QRect seekBarGeometry() const;
  QRect volumeBarGeometry() const;
  QSlider* volumeBar() const { return volumeBar_; }
  NowPlayingView* nowPlayingView() const { return view_; }
  QToolBar* toolbar() const { return toolbar_; }
  std::string toolTipOf(WindowCommand command) const;
  bool inTray() const;

protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void applyLayout();
  void applyEffects(const WindowEffects& effects);
  // The now-playing area and the video, without telling onPlayerChanged.
  void showNowPlaying();
  // The play button's tooltip and the tray tip.
  void showPlayerControls();
  void fillMenu(QMenu* menu, const std::vector<MenuEntry>& entries);
  void refreshVideo();

  App& app_;
  MainLayout layout_;
  NowPlayingView* view_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  std::vector<QAction*> buttons_;  // toolbar actions by position, null for separators
  QAction* playAction_ = nullptr;
  QSlider* seekBar_ = nullptr;
  QSlider* volumeBar_ = nullptr;
  QTreeView* list_ = nullptr;
  UpcomingModel* model_ = nullptr;
  // The last column's own width, kept while it stretches to the edge.
  int lastColumnWidth_ = 0;
  // The row the list menu made last acts on (its id).
  uint32_t menuRowId_ = 0;
  QWidget* statusBar_ = nullptr;
  QLabel* status_[4] = {};
  QWidget* video_ = nullptr;
  std::unique_ptr<TrayIcon> tray_;
  std::vector<QPixmap> pictures_;
  bool fullScreenVideo_ = false;
  // Whether the window was maximised when the video took the full screen.
  bool maximisedBeforeFullScreen_ = false;
  // The user left full screen (Escape, menu) during the current song.
  bool fullScreenLeft_ = false;
  // The song last written to the run log (PLINKA_LOG).
  std::string loggedSong_;
  std::unique_ptr<RunEnd> runEnd_;
  // The Search window while it is open (it deletes itself when closed).
  QPointer<SearchWindow> searchWindow_;
};

}  // namespace plinka::gui
