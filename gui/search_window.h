// The Search window: every song of the song table that matches a search
// text, or the Top Songs, in a list of the upcoming list's columns with the
// song's rating and its index in the table. An ordinary window beside the
// main window (one at a time); the search itself runs on a job thread and
// its songs appear as they are found. From the list a song can be put on top
// of the upcoming list (double click or Enter: and played at once) or opened
// in the Song details window.
#pragma once

#include "core/window_command_ids.h"
#include "gui/gui_hand_off.h"
#include "play/song_search.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QMenu;
class QTreeView;

namespace Ui {
class SearchWindow;
}

namespace plinka {
struct App;
}

namespace plinka::gui {

class FoundSongsModel;
class MainWindow;

class SearchWindow : public QWidget {
  Q_OBJECT

public:
  // A window of the main window's; it deletes itself when closed. Marks the
  // search window open (app.mainWindow.searchWindowRunning) for its whole life.
  SearchWindow(App& app, MainWindow* owner);
  ~SearchWindow() override;

  // Shows the window and starts it in `mode` (the search window modes of
  // shell/window_commands.h): asks for a search text first (kSearchNormal),
  // lists the Top Songs (kSearchTopSongs), or searches the search input
  // (kSearchByArtist, and any other mode).
  void begin(uint32_t mode);
  // A second open: brings the window forward as it is.
  void bringForward();

  // The list's row commands, on row `row` (the list's current row when
  // negative; nothing without one): Play Next puts the song on top of the
  // upcoming list, and with `startPlaying` (a double click, Enter) the player
  // moves on to it at once; Details opens the song in the Song details
  // window.
  void playNext(int row, bool startPlaying);
  void showDetails(int row);
  // The list's context menu, built for the current row; its entries carry their
  // command ids (WindowCommand::ListDetails, WindowCommand::PlayNext,
  // WindowCommand::Help).
  std::unique_ptr<QMenu> makeContextMenu();
  void chooseMenuEntry(WindowCommand command);

  // What the window shows, for checks.
  QTreeView* results() const;
  int rowCount() const;
  std::string cellText(int row, int column) const;
  std::string progressText() const;
  // True while a search runs.
  bool searching() const { return running_ != 0; }

protected:
  void closeEvent(QCloseEvent* event) override;
  // Enter on a row of the list plays it, as a double click does.
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // Asks for the search text (the prompt edits the shared search input) and
  // searches it; closes the window when the prompt is cancelled.
  void askAndSearch();
  void search(const play::SearchOrder& order);
  // A report of the search, on the GUI thread.
  void take(play::SearchReport&& report);
  // "No matches found": search again or close the window.
  void offerSearchAgain();

  App& app_;
  MainWindow* owner_;
  std::unique_ptr<::Ui::SearchWindow> form_;
  FoundSongsModel* model_ = nullptr;
  // The kind of the running or last search. GUI thread only.
  play::SearchKind kind_ = play::SearchKind::Text;
  // The number of the running search (0: none); reports of any other are
  // stale. GUI thread only.
  uint64_t running_ = 0;
  // Set once the window has been closed (it is deleted soon after).
  bool closed_ = false;
  // Carries the search's reports to the GUI thread.
  GuiHandOff handOff_;
  // Declared after the hand-off, so it is gone (and its reports with it)
  // before the hand-off goes.
  play::SongSearch search_;
};

}  // namespace plinka::gui
