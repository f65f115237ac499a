// The Song details window: shows and edits one song record, steps through
// the song table, searches it, deletes a song, reloads the file's tag and
// puts the song at the top of the upcoming list.
//
// A button only sets the pending action (app.mainWindow.detailsPendingAction). A 100
// ms timer then hands the action to a job thread, which asks for exclusive use
// of the song table under BusyCode::SongEdit, does the work and hands the
// outcome back; when the use was not granted the next tick asks again. The GUI
// thread never waits for the busy code. While an action is pending the buttons
// that start another are disabled, so a quick second click cannot replace a
// save that has not been done yet.
#pragma once

#include "desk/details_actions.h"

#include <QDialog>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace Ui {
class SongDetailsDialog;
}

namespace plinka {
struct App;
}

namespace plinka::gui {

class SongDetailsWindow : public QDialog {
  Q_OBJECT

public:
  // Opens on record `record` (a slot; -1, as a u32, when there is none).
  // GUI thread only.
  SongDetailsWindow(App& app, uint32_t record, QWidget* parent = nullptr);
  ~SongDetailsWindow() override;

  // "DB Idx" as shown: the record's slot + 1.
  uint32_t shownIndex() const { return dbIdx_; }
  // True while an action waits for, or is in, its job.
  bool actionPending() const;

  void done(int result) override;

private:
  // An action the job thread is working on, shared with it. `action` is
  // set before the job starts and not changed after. The job writes
  // `outcome` and `finished` and posts a wake-up that carries nothing to
  // `receiver`, all under `mutex`; the window reads them under the same
  // mutex, and clears `receiver` under it as it goes, so the job never posts
  // to a window that has gone.
  struct Attempt {
    DetailsAction action = DetailsAction::Idle;
    std::mutex mutex;
    QObject* receiver = nullptr;
    bool finished = false;
    std::optional<DetailsOutcome> outcome;
  };

  void setPending(DetailsAction action);
  DetailsAction pending() const;
  // Sets an action and asks for it at once (and then every tick).
  void startAction(DetailsAction action);
  // Timer tick: starts a job for the pending action unless one is running.
  void tick();
  // The job's outcome, on the GUI thread (posted by the job, by name).
  Q_INVOKABLE void takeOutcome();
  void showForm(const DetailsForm& form);
  DetailsForm formShown() const;
  void enableActions(bool enabled);

  void askGoto();
  void askFind();
  void askDelete();
  // "Play" (and start playing) or "Next": the song of the Filename box to the
  // top of the list, on a job thread.
  void playFileNext(bool startPlaying);
  void notify(DetailsNotice notice, DetailsAction action);

  App& app_;
  std::unique_ptr<::Ui::SongDetailsDialog> form_;
  QTimer timer_;
  uint32_t dbIdx_ = 0;
  uint32_t slotCount_ = 0;
  // The FileName of the record as loaded; a save goes ahead only while the
  // slot still holds it.
  std::string loadedFileName_;
  // The ratings of the record as loaded: a box that still shows its rating
  // leaves that user's Score as it is.
  std::array<uint32_t, kUserCount> loadedRatings_{};
  // A record has been loaded into the form.
  bool recordShown_ = false;
  // The job of the action in hand, if any. GUI thread only.
  std::shared_ptr<Attempt> attempt_;
};

}  // namespace plinka::gui
