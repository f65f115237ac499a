// The Database window: importing a folder or a playlist, the whole-table
// maintenance functions, switching to another song table or a new one, and
// the way to the Internals window. The work itself runs on job threads; the
// window starts it and shows what the workers report (two status lines, a
// progress bar and counts). Modal: the main window behind it keeps painting
// and playing, since its event loop keeps running.
#pragma once

#include "core/window_command_ids.h"
#include "gui/progress_view.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <mutex>

namespace Ui {
class DatabaseDialog;
}

namespace plinka {
struct App;
struct LibraryContext;
}  // namespace plinka

namespace plinka::gui {

// What the Database window does as soon as it shows.
enum class DatabaseWindowStart : uint32_t {
  Plain = 0,
  // The first import from the Welcome window: the folder chooser opens at
  // once, and a folder chosen there is imported straight away.
  FirstImport = kDatabaseFirstImport,
};

class DatabaseWindow : public QDialog, public ProgressView {
  Q_OBJECT

public:
  // Shows "Idle" and the database path, the import source, and the function
  // list at the settings' dbWindowOption. Attaches itself to app.ui (when
  // that is the Qt front end) for the workers' reports while it exists.
  DatabaseWindow(App& app, DatabaseWindowStart start, QWidget* parent = nullptr);
  ~DatabaseWindow() override;

  void showProgressLine(uint32_t line, const QString& text) override;
  void showWorkProgress(const WorkProgress& progress) override;
  void showTitle(const QString& title) override;

  // OK, Cancel, Escape and closing the window all end here: a running
  // import or maintenance function is asked to stop first.
  void done(int result) override;

  // The buttons' work, also for checks. selectSource is true when a source
  // was chosen.
  bool selectSource();
  // Also Enter in the source box. Does nothing while an import or a
  // function started here runs.
  void startImport();
  void runFunction();
  void changeDatabase();
  void newDatabase();
  void openInternals();

  // True while an import or a function started from this window runs.
  bool jobRunning() const { return jobsRunning_ > 0; }

protected:
  void showEvent(QShowEvent* event) override;
  // Enter in the source box starts the import (it never reaches a button).
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // A job of this window, shared with its thread. The thread posts a wake-up
  // that carries nothing to `receiver` when the job has ended, under `mutex`;
  // the window clears `receiver` under the same mutex as it goes, so the
  // thread never posts to a window that has gone.
  struct JobWatch {
    std::mutex mutex;
    QObject* receiver = nullptr;
  };

  void resetProgress();
  // Runs `work` on a job thread, counted as running until it returns.
  void startJob(void (*work)(LibraryContext&));
  // A job of this window has ended (posted by its thread, by name).
  Q_INVOKABLE void jobEnded();
  // While a job runs no button is the default, so Enter cannot close the
  // window (and stop the job); OK is the default again once none runs.
  void applyDefaultButton();

  App& app_;
  std::unique_ptr<::Ui::DatabaseDialog> form_;
  DatabaseWindowStart start_;
  bool started_ = false;
  // Jobs started here that have not ended. GUI thread only.
  int jobsRunning_ = 0;
  std::shared_ptr<JobWatch> watch_ = std::make_shared<JobWatch>();
};

}  // namespace plinka::gui
