// The Database window: importing a folder or a playlist, the whole-table
// maintenance functions, switching to another song table or a new one, and
// the way to the Internals window. The work itself runs on job threads; the
// window starts it and shows what the workers report (two status lines, a
// progress bar and counts). Modal: the main window behind it keeps painting
// and playing, since its event loop keeps running.
#pragma once

#include "gui/progress_view.h"
#include "shell/window_command_ids.h"

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui {
class DatabaseDialog;
}

namespace plinka {
struct App;
}

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
  void startImport();
  void runFunction();
  void changeDatabase();
  void newDatabase();
  void openInternals();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void resetProgress();

  App& app_;
  std::unique_ptr<::Ui::DatabaseDialog> form_;
  DatabaseWindowStart start_;
  bool started_ = false;
};

}  // namespace plinka::gui
