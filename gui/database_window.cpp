#include "gui/database_window.h"

#include "app/app.h"
#include "core/busy_code.h"
#include "desk/database_switch.h"
#include "gui/internals_window.h"
#include "gui/qt_text.h"
#include "gui/qt_ui.h"
#include "gui/toolbar_images.h"
#include "library/import.h"
#include "library/maintenance.h"
#include "library/media_types.h"
#include "text/text.h"

#include "ui_database_window.h"

#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <string>

namespace plinka::gui {

namespace {

constexpr char kIdle[] = "Idle";

// The Qt front end behind app.ui, when that is what the program runs.
QtUi* qtUiOf(App& app) { return dynamic_cast<QtUi*>(app.ui); }

}  // namespace

DatabaseWindow::DatabaseWindow(App& app, DatabaseWindowStart start, QWidget* parent)
    : QDialog(parent), app_(app), form_(std::make_unique<::Ui::DatabaseDialog>()), start_(start) {
  form_->setupUi(this);
  setWindowIcon(programIcon());
  for (uint32_t k = 0; k < library::kMaintenanceFunctionCount; ++k)
    form_->functionList->addItem(library::maintenanceEntryText(static_cast<library::MaintenanceFunction>(k)));
  const uint32_t option = app_.settings.dbWindowOption;
  form_->functionList->setCurrentIndex(static_cast<int>(std::min(option, library::kMaintenanceFunctionCount - 1)));
  form_->importSource->setText(toQ(app_.settings.importSource));
  showProgressLine(0, kIdle);
  showProgressLine(1, toQ(app_.settings.databasePath));
  resetProgress();

  connect(form_->selectButton, &QPushButton::clicked, this, [this] { selectSource(); });
  connect(form_->importButton, &QPushButton::clicked, this, [this] { startImport(); });
  connect(form_->goButton, &QPushButton::clicked, this, [this] { runFunction(); });
  connect(form_->changeDbButton, &QPushButton::clicked, this, [this] { changeDatabase(); });
  connect(form_->newDbButton, &QPushButton::clicked, this, [this] { newDatabase(); });
  connect(form_->advancedButton, &QPushButton::clicked, this, [this] { openInternals(); });
  connect(form_->helpButton, &QPushButton::clicked, this, [this] {
    if (app_.ui)
      app_.ui->openHelp();
  });
  connect(form_->okButton, &QPushButton::clicked, this, [this] {
    // The source as typed is kept for the next time the window opens.
    const std::string source = fromQ(form_->importSource->text());
    if (source.size() < sizeof app_.settings.importSource)
      text::copy(app_.settings.importSource, source.c_str());
    accept();
  });
  connect(form_->cancelButton, &QPushButton::clicked, this, [this] { reject(); });
  form_->importSource->installEventFilter(this);
  applyDefaultButton();
  watch_->receiver = this;

  if (QtUi* ui = qtUiOf(app_))
    ui->attachView(WindowKind::Database, this);
}

DatabaseWindow::~DatabaseWindow() {
  {
    std::lock_guard lock(watch_->mutex);
    watch_->receiver = nullptr;
  }
  if (QtUi* ui = qtUiOf(app_))
    ui->attachView(WindowKind::Database, nullptr);
}

bool DatabaseWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_->importSource && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Taken here either way: a running job is left alone.
      if (!jobRunning())
        startImport();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void DatabaseWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (start_ != DatabaseWindowStart::FirstImport || started_)
    return;
  started_ = true;
  // Once the window is on screen: the chooser then opens over it.
  QTimer::singleShot(0, this, [this] {
    form_->folderRadio->setChecked(true);
    if (selectSource())
      startImport();
  });
}

bool DatabaseWindow::selectSource() {
  if (!app_.ui)
    return false;
  std::string path = fromQ(form_->importSource->text());
  if (form_->playlistRadio->isChecked()) {
    if (!app_.ui->chooseOpenFile(library::fileDialogFilters(), library::kFilterPlaylists, path))
      return false;
    form_->importSource->setText(toQ(path));
    return true;
  }
  // The chooser opens at the folder typed, else at the home folder.
  if (!path.empty() && path.back() != '/') {
    const size_t slash = path.rfind('/');
    path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  }
  if (!app_.ui->chooseFolder(path))
    return false;
  if (path.empty() || path.back() != '/')
    path += '/';
  // A folder whose path the settings cannot hold is refused rather than cut.
  if (path.size() >= sizeof app_.settings.importSource) {
    showProgressLine(0, "The folder's path is too long to import");
    return false;
  }
  text::copy(app_.settings.importSource, path.c_str());
  form_->importSource->setText(toQ(path));
  return true;
}

void DatabaseWindow::startImport() {
  const std::string source = fromQ(form_->importSource->text());
  if (source.size() >= sizeof app_.settings.importSource) {
    showProgressLine(0, "The import source is too long");
    return;
  }
  text::copy(app_.settings.importSource, source.c_str());
  resetProgress();
  startJob(library::importWorker);
}

void DatabaseWindow::runFunction() {
  app_.settings.dbWindowOption = static_cast<uint32_t>(std::max(form_->functionList->currentIndex(), 0));
  resetProgress();
  startJob(library::maintenanceWorker);
}

void DatabaseWindow::startJob(void (*work)(LibraryContext&)) {
  App* app = &app_;
  std::shared_ptr<JobWatch> watch = watch_;
  const bool started = app_.jobThreads.start([app, work, watch] {
    work(*app);
    std::lock_guard lock(watch->mutex);
    // Only a wake-up goes through Qt's queue.
    if (watch->receiver)
      QMetaObject::invokeMethod(watch->receiver, "jobEnded", Qt::QueuedConnection);
  });
  if (!started)
    return;
  ++jobsRunning_;
  applyDefaultButton();
}

void DatabaseWindow::jobEnded() {
  if (jobsRunning_ > 0)
    --jobsRunning_;
  applyDefaultButton();
}

void DatabaseWindow::applyDefaultButton() {
  const bool idle = jobsRunning_ == 0;
  // A button that is not auto-default does not become the default while it
  // has the focus either.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    button->setAutoDefault(idle);
    button->setDefault(false);
  }
  if (idle)
    form_->okButton->setDefault(true);
}

// The switch waits for exclusive use and asks for the file through app.ui:
// it runs on a job thread, and the file dialog comes back to this thread.
void DatabaseWindow::changeDatabase() {
  App* app = &app_;
  app_.jobThreads.start([app] { db::changeDatabase(*app); });
}

void DatabaseWindow::newDatabase() {
  App* app = &app_;
  app_.jobThreads.start([app] { db::newDatabase(*app); });
}

void DatabaseWindow::openInternals() {
  InternalsWindow internals(app_, this);
  internals.exec();
}

void DatabaseWindow::done(int result) {
  // A running import or maintenance function stops after the record or file
  // in hand; what it did so far stays.
  const uint32_t busy = app_.run.busyCode.load();
  if (busy == codeValue(BusyCode::Maintenance) || busy == codeValue(BusyCode::Import))
    app_.run.stopRequest.store(1);
  QDialog::done(result);
}

void DatabaseWindow::showProgressLine(uint32_t line, const QString& text) {
  QLabel* label = line == 0 ? form_->statusLine1 : form_->statusLine2;
  label->setText(text);
  // The line may be cut at the window's edge: the whole text is a hover away.
  label->setToolTip(text);
}

void DatabaseWindow::showWorkProgress(const WorkProgress& progress) {
  QProgressBar* bar = form_->progressBar;
  if (progress.total == 0) {
    // No end known in advance: a busy bar until the work has ended.
    bar->setRange(0, progress.finished ? 1 : 0);
    bar->setValue(progress.finished ? 1 : 0);
  } else {
    const int total = static_cast<int>(std::min<uint32_t>(progress.total, INT32_MAX));
    bar->setRange(0, total);
    bar->setValue(static_cast<int>(std::min<uint32_t>(progress.finished ? progress.total : progress.done, INT32_MAX)));
  }
  // The counts name what the work did: an import adds, a function removes,
  // changes or restores.
  QString counts = QString("Looked at %1").arg(progress.looked);
  if (progress.doneWord && *progress.doneWord)
    counts += QString(", %1 %2").arg(QString::fromUtf8(progress.doneWord)).arg(progress.added);
  if (progress.skipped != 0)
    counts += QString(", skipped %1").arg(progress.skipped);
  form_->countsLabel->setText(counts);
}

void DatabaseWindow::showTitle(const QString& title) { setWindowTitle(title); }

void DatabaseWindow::resetProgress() {
  form_->progressBar->setRange(0, 1);
  form_->progressBar->setValue(0);
  form_->countsLabel->setText(QString());
}

}  // namespace plinka::gui
