// The main window: the upcoming list, the now-playing texts, the toolbar's
// player buttons and the four status texts. It only shows what the engine
// holds and hands the user's requests to it.
#pragma once

#include "play/upcoming_list.h"
#include "shell/ui.h"

#include <QMainWindow>

#include <string>

class QLabel;
class QTreeWidget;
class QAction;

namespace plinka {
struct App;
}

namespace plinka::gui {

class MainWindow : public QMainWindow {
  Q_OBJECT

public:
  // Shows the list's rows now and follows its changes from here on. Made on
  // the GUI thread before the worker threads start.
  explicit MainWindow(App& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Everything below runs on the GUI thread.
  void applyListChange(const play::ListChange& change);
  void applyStatus(const StatusTexts& texts);
  void refreshNowPlaying();
  void setPlaying(bool playing);
  // A command posted to the window: 1 starts playing, 2031 ends the run.
  void runCommand(uint32_t command, uint32_t parameter);
  // Writes the column widths into the settings.
  void storeColumnWidths();

  // What the window shows, for checks.
  int rowCount() const;
  std::string cellText(int row, int column) const;
  std::string statusText(int part) const;
  std::string nowPlayingText() const;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void playOrPause();
  void endRun();

  App& app_;
  QTreeWidget* list_ = nullptr;
  QLabel* nowPlaying_ = nullptr;
  QLabel* status_[4] = {};
  QAction* playAction_ = nullptr;
  bool ended_ = false;
};

}  // namespace plinka::gui
