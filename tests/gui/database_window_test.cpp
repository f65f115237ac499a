#include "app/app.h"
#include "app/engine_jobs.h"
#include "app/scheduler.h"
#include "app/settings_file.h"
#include "core/busy_code.h"
#include "core/run_state.h"
#include "core/settings_defaults.h"
#include "db/records.h"
#include "db/table_file.h"
#include "desk/database_switch.h"
#include "gui/database_window.h"
#include "gui/internals_window.h"
#include "gui/main_window.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "library/maintenance.h"
#include "play/list_commands.h"
#include "support/song_table.h"
#include "support/temp_dir.h"
#include "support/tone_wav.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace plinka::gui {
namespace {

// Runs `step` every 20 ms, also inside the event loops of modal windows,
// until it returns true; a script still running after the limit fails the
// test and closes whatever modal window is open, so a fault cannot hang the
// suite.
class Script {
public:
  explicit Script(std::function<bool()> step, int limitMs = 30000) : step_(std::move(step)), limitMs_(limitMs) {
    since_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(20);
  }
  bool finished() const { return finished_; }

private:
  void poll() {
    if (finished_)
      return;
    if (step_()) {
      finished_ = true;
      timer_.stop();
    } else if (since_.elapsed() > limitMs_) {
      ADD_FAILURE() << "the script did not finish";
      finished_ = true;
      timer_.stop();
      if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    }
  }

  std::function<bool()> step_;
  int limitMs_;
  QTimer timer_;
  QElapsedTimer since_;
  bool finished_ = false;
};

template <typename T> T* child(QWidget* parent, const char* name) {
  T* found = parent->findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

void click(QWidget* parent, const char* name) {
  if (auto* button = child<QPushButton>(parent, name))
    button->click();
}

std::string labelText(QWidget* parent, const char* name) {
  const QLabel* label = child<QLabel>(parent, name);
  return label ? label->text().toStdString() : std::string();
}

void saveScreenshot(QWidget& widget, const QString& name) {
  ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
  EXPECT_TRUE(widget.grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/" + name)) << name.toStdString();
}

// A script step that answers the next file dialog with `path`; it holds
// once the dialog has gone. A question the dialog asks meanwhile (whether to
// replace the file) is counted in `questions` and answered "Yes". The dialog
// is accepted only once it shows `path` selected (a dialog still settling its
// first selection may put its own back), and from the event loop, so that a
// question it asks meanwhile can be answered by a later step. `title` gets
// the dialog's title.
std::function<bool()> answerFileDialog(const QString& path, std::shared_ptr<int> questions,
                                       std::shared_ptr<QString> title) {
  auto accepted = std::make_shared<bool>(false);
  return [path, accepted, questions, title] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      ++*questions;
      if (QAbstractButton* yes = box->button(QMessageBox::Yes))
        yes->click();
      return false;
    }
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog)
      return *accepted;
    *title = dialog->windowTitle();
    if (*accepted)
      return false;
    if (dialog->selectedFiles().value(0) != path) {
      // As a person does: the folder, then the name typed into the name field
      // (which a dialog leaves alone in selectFile while it has the focus).
      const QFileInfo file(path);
      dialog->setDirectory(file.absolutePath());
      if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
        name->setText(file.fileName());
      else
        dialog->selectFile(path);
      return false;
    }
    *accepted = true;
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    return false;
  };
}

// Enter pressed in `widget`, as the keyboard delivers it.
void pressEnter(QWidget* widget) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

// The window's default button, or null when it has none.
QPushButton* defaultButton(QWidget& window) {
  for (QPushButton* button : window.findChildren<QPushButton*>())
    if (button->isDefault() || (button->autoDefault() && button->hasFocus()))
      return button;
  return nullptr;
}

class DatabaseWindowTest : public ::testing::Test {
protected:
  DatabaseWindowTest() {
    app->folders.program = data.path();
    app->folders.data = data.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    ui = std::make_unique<QtUi>(*app);
    app->ui = ui.get();
  }
  ~DatabaseWindowTest() override {
    // The threads end before the front end they report to.
    if (window)
      window->finishRun();
    ui->attachWindow(nullptr);
    window.reset();
    stopScheduler(*app);
    app->ui = nullptr;
  }

  test::TempDir data;
  std::unique_ptr<App> app = std::make_unique<App>();
  std::unique_ptr<QtUi> ui;
  std::unique_ptr<MainWindow> window;
};

// "Alternate" then OK stores the other scale (a score of 2 is then rating 1);
// a number field holding something else is refused with its name and the
// window stays open; the read-outs follow the run state while it is open.
TEST_F(DatabaseWindowTest, InternalsStoresChecksAndKeepsItsReadoutsCurrent) {
  {
    InternalsWindow internals(*app);
    internals.show();
    EXPECT_EQ(db::ratingOfScore(app->settings, 2), 2u);
    click(&internals, "alternateButton");
    EXPECT_EQ(child<QLineEdit>(&internals, "rating10")->text(), "1024");
    click(&internals, "okButton");
    EXPECT_EQ(internals.result(), QDialog::Accepted);
  }
  const uint32_t alternate[10] = {1, 4, 8, 16, 32, 64, 128, 256, 512, 1024};
  for (int k = 0; k < 10; ++k)
    EXPECT_EQ(+app->settings.ratingValue[k], alternate[k]) << k;
  EXPECT_EQ(+app->settings.targetValue, 2000u);
  EXPECT_EQ(+app->settings.defaultImportValue, 32u);
  EXPECT_EQ(db::ratingOfScore(app->settings, 2), 1u);

  InternalsWindow internals(*app);
  internals.show();
  child<QLineEdit>(&internals, "targetValue")->setText("two thousand");
  child<QLineEdit>(&internals, "rating1")->setText("5");
  std::string message;
  Script closeMessage([&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box)
      return false;
    message = box->text().toStdString();
    box->accept();
    return true;
  });
  click(&internals, "okButton");
  EXPECT_TRUE(closeMessage.finished());
  EXPECT_NE(message.find("Target Value"), std::string::npos) << message;
  EXPECT_TRUE(internals.isVisible());
  EXPECT_EQ(+app->settings.targetValue, 2000u);
  EXPECT_EQ(+app->settings.ratingValue[0], 1u);

  app->run.buildState.store(1999);
  EXPECT_TRUE(processUntil([&] { return labelText(&internals, "listState") == "1999"; }, 3000));
  app->loudness.songs.store(20000);
  app->loudness.known.store(1234);
  EXPECT_TRUE(
      processUntil([&] { return labelText(&internals, "loudness") == "Loudness: 1,234 of 20,000 measured"; }, 3000))
      << labelText(&internals, "loudness");
  click(&internals, "cancelButton");
  EXPECT_EQ(internals.result(), QDialog::Rejected);
}

// Closing the window in any way asks a running import or maintenance
// function to stop; other work (a database switch) is left alone.
TEST_F(DatabaseWindowTest, ClosingAsksARunningWorkerToStop) {
  struct Case {
    uint32_t busy;
    bool stops;
  };
  const Case cases[] = {{codeValue(BusyCode::Maintenance), true},
                        {codeValue(BusyCode::Import), true},
                        {codeValue(BusyCode::DatabaseWindow), false},
                        {0, false}};
  for (const Case& c : cases) {
    for (const char* how : {"okButton", "cancelButton", "escape"}) {
      SCOPED_TRACE(std::to_string(c.busy) + " " + how);
      DatabaseWindow database(*app, DatabaseWindowStart::Plain);
      database.show();
      app->run.busyCode.store(c.busy);
      app->run.stopRequest.store(0);
      if (std::string(how) == "escape")
        database.reject();
      else
        click(&database, how);
      EXPECT_FALSE(database.isVisible());
      EXPECT_EQ(app->run.stopRequest.load(), c.stops ? 1u : 0u);
    }
  }
  app->run.busyCode.store(0);
}

TEST_F(DatabaseWindowTest, OpensWithTheSettingsAndRemembersTheChosenFunction) {
  std::strcpy(app->settings.importSource, "/music/");
  app->settings.dbWindowOption = 7;
  DatabaseWindow database(*app, DatabaseWindowStart::Plain);
  database.show();
  EXPECT_EQ(labelText(&database, "statusLine1"), "Idle");
  EXPECT_EQ(labelText(&database, "statusLine2"), std::string(app->settings.databasePath));
  EXPECT_EQ(child<QLineEdit>(&database, "importSource")->text(), "/music/");
  auto* functions = child<QComboBox>(&database, "functionList");
  ASSERT_EQ(functions->count(), 11);
  EXPECT_EQ(functions->currentText(), "Undelete All");
  EXPECT_EQ(functions->itemText(0), "Save DB as Playlist");
  EXPECT_EQ(functions->itemText(10), "Sort by Artist");
  // Offline: the worker that Go! starts ends at once.
  app->run.buildState.store(kOfflineFirst);
  functions->setCurrentIndex(4);
  click(&database, "goButton");
  EXPECT_EQ(+app->settings.dbWindowOption, 4u);
  // Every control says what it does.
  for (const char* name :
       {"folderRadio", "playlistRadio", "importSource", "selectButton", "importButton", "functionList", "goButton",
        "changeDbButton", "newDbButton", "advancedButton", "helpButton", "okButton", "cancelButton"})
    EXPECT_FALSE(child<QWidget>(&database, name)->toolTip().isEmpty()) << name;
}

// "NewDB" on a table that exists switches to it and leaves it as it was,
// without asking whether to replace it, and the window says so.
TEST_F(DatabaseWindowTest, NewDbOnAnExistingTableSwitchesToItUnchanged) {
  const std::string other = data.file("Other.cvf");
  db::TableHandle h;
  test::makeSongTable(h, other, 3, [](db::TableHandle& t, uint32_t k) {
    test::putText(t, k, db::FileName, "/music/song" + std::to_string(k) + ".mp3");
  });
  const std::string before = test::readFile(other);
  DatabaseWindow database(*app, DatabaseWindowStart::Plain);
  database.show();
  // Granted at once: no processor thread runs here.
  app->run.busyCode.store(codeValue(BusyCode::DatabaseWindow));
  auto questions = std::make_shared<int>(0);
  auto title = std::make_shared<QString>();
  Script answer(answerFileDialog(QString::fromStdString(other), questions, title));
  click(&database, "newDbButton");
  ASSERT_TRUE(processUntil([&] { return labelText(&database, "statusLine2") == other; }, 15000));
  EXPECT_TRUE(processUntil([&] { return app->run.busyCode.load() == 0; }));
  EXPECT_EQ(std::string(app->settings.databasePath), other);
  EXPECT_EQ(app->songsInUse.load(), 3u);
  EXPECT_EQ(test::readFile(other), before);
  EXPECT_EQ(*questions, 0) << "no question whether to replace the file";
  EXPECT_TRUE(title->contains("used as it is")) << title->toStdString();
  EXPECT_EQ(labelText(&database, "statusLine1"), db::kNewDatabaseKept);
}

// Enter in the source box imports what it names and leaves the window open.
// While a job started here runs no button is the default, and Enter in the
// box neither closes the window (which would stop the job) nor starts
// another; once it has ended OK is the default again.
TEST_F(DatabaseWindowTest, EnterInTheSourceBoxImportsAndNeverStopsARunningJob) {
  const std::string music = data.path() + "music/";
  std::filesystem::create_directories(music);
  for (int k = 0; k < 3; ++k)
    test::writeToneWav(music + "song" + std::to_string(k) + ".wav", 50, 440 + k);
  std::strcpy(app->settings.importSource, "/elsewhere/");
  ASSERT_TRUE(db::createSongTable(app->settings.databasePath));
  DatabaseWindow database(*app, DatabaseWindowStart::Plain);
  database.show();
  auto* source = child<QLineEdit>(&database, "importSource");
  EXPECT_EQ(defaultButton(database), child<QPushButton>(&database, "okButton"));

  // A function waits for its confirmation: a job that runs until answered.
  app->settings.dbWindowOption = static_cast<uint32_t>(library::MaintenanceFunction::ResetStartPoints);
  child<QComboBox>(&database, "functionList")->setCurrentIndex(8);
  app->run.busyCode.store(codeValue(BusyCode::Maintenance));  // granted at once
  click(&database, "goButton");
  EXPECT_TRUE(database.jobRunning());
  EXPECT_EQ(defaultButton(database), nullptr);
  source->setText(QString::fromStdString(music));
  bool confirmationSeen = false;
  Script whileAsked([&] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* no = modal ? modal->findChild<QPushButton*>("second") : nullptr;
    if (!no || !no->isVisible())
      return false;
    confirmationSeen = true;
    pressEnter(source);
    EXPECT_TRUE(database.isVisible());
    EXPECT_EQ(app->run.stopRequest.load(), 0u);
    EXPECT_EQ(std::string(app->settings.importSource), "/elsewhere/") << "no import while the job runs";
    EXPECT_EQ(defaultButton(database), nullptr);
    no->click();
    return true;
  });
  ASSERT_TRUE(processUntil([&] { return whileAsked.finished() && !database.jobRunning(); }, 15000));
  EXPECT_TRUE(confirmationSeen);
  EXPECT_EQ(defaultButton(database), child<QPushButton>(&database, "okButton"));

  app->run.busyCode.store(codeValue(BusyCode::Import));  // granted at once
  pressEnter(source);
  EXPECT_EQ(std::string(app->settings.importSource), music);
  ASSERT_TRUE(processUntil([&] { return labelText(&database, "statusLine1") == "Import Complete"; }, 15000));
  EXPECT_TRUE(database.isVisible());
  EXPECT_TRUE(processUntil([&] { return !database.jobRunning(); }));
  EXPECT_EQ(app->songsInUse.load(), 4u);  // the three songs and the new table's empty record
}

// What the workers report reaches the window from their own threads, and
// nothing breaks once the window has gone. Screenshots of both windows as
// an import runs.
TEST_F(DatabaseWindowTest, WorkersReportsReachTheWindow) {
  {
    DatabaseWindow database(*app, DatabaseWindowStart::Plain);
    database.resize(560, database.sizeHint().height());
    database.show();
    std::thread worker([this] {
      ui->progressLine(WindowKind::Database, 0, "/home/listener/Music/Amber Coast/Tidelines/");
      ui->progressLine(WindowKind::Database, 1, "/home/listener/Music/Amber Coast/Tidelines/03 Kite String.wav");
      WorkProgress progress;
      progress.looked = 14;
      progress.added = 12;
      progress.skipped = 2;
      progress.done = 14;
      progress.total = 36;
      ui->workProgress(WindowKind::Database, progress);
    });
    worker.join();
    ASSERT_TRUE(
        processUntil([&] { return labelText(&database, "countsLabel") == "Looked at 14, added 12, skipped 2"; }));
    EXPECT_EQ(labelText(&database, "statusLine1"), "/home/listener/Music/Amber Coast/Tidelines/");
    EXPECT_EQ(labelText(&database, "statusLine2"), "/home/listener/Music/Amber Coast/Tidelines/03 Kite String.wav");
    auto* bar = child<QProgressBar>(&database, "progressBar");
    EXPECT_EQ(bar->maximum(), 36);
    EXPECT_EQ(bar->value(), 14);
    saveScreenshot(database, "database_window.png");

    app->run.buildState.store(10);
    app->run.busyCode.store(codeValue(BusyCode::Import));
    app->run.workPosition.store(10);
    app->settings.buildTime = 500;
    InternalsWindow internals(*app, &database);
    internals.show();
    saveScreenshot(internals, "internals_window.png");
    app->run.busyCode.store(0);

    // A finished import of unknown length fills the bar.
    WorkProgress done;
    done.looked = 36;
    done.added = 30;
    done.skipped = 6;
    done.finished = true;
    std::thread([&] { ui->workProgress(WindowKind::Database, done); }).join();
    ASSERT_TRUE(
        processUntil([&] { return labelText(&database, "countsLabel") == "Looked at 36, added 30, skipped 6"; }));
    EXPECT_EQ(bar->value(), bar->maximum());

    // A function's counts say what it did; a sort counts nothing of its own.
    struct Counted {
      library::MaintenanceFunction function;
      uint32_t looked, added, skipped;
      const char* line;
    };
    using F = library::MaintenanceFunction;
    for (const Counted& c : {Counted{F::RemoveMissing, 500, 3, 0, "Looked at 500, removed 3"},
                             Counted{F::UndeleteAll, 520, 20, 0, "Looked at 520, restored 20"},
                             Counted{F::ReloadSongData, 500, 496, 4, "Looked at 500, reloaded 496, skipped 4"},
                             Counted{F::SortByName, 500, 0, 0, "Looked at 500"}}) {
      WorkProgress function;
      function.looked = c.looked;
      function.added = c.added;
      function.skipped = c.skipped;
      function.finished = true;
      function.doneWord = library::maintenanceDoneWord(c.function);
      std::thread([&] { ui->workProgress(WindowKind::Database, function); }).join();
      EXPECT_TRUE(processUntil([&] { return labelText(&database, "countsLabel") == c.line; })) << c.line;
    }
  }
  std::thread([this] { ui->progressLine(WindowKind::Database, 0, "after"); }).join();
  QApplication::processEvents();
}

// A first run: the Welcome window's "Import music now" leads, once the main
// window is up, to the Database window with its folder chooser open; the
// folder chosen there is imported from the window, and the main window's
// list fills once the list is built, all while the Database window is open.
TEST_F(DatabaseWindowTest, FirstImportFromTheWelcomeWindow) {
  const std::string music = data.path() + "music/";
  std::filesystem::create_directories(music + "Amber Coast");
  for (int k = 0; k < 30; ++k)
    test::writeToneWav(music + (k < 10 ? "" : "Amber Coast/") + "song" + std::to_string(k) + ".wav", 50, 440 + k);

  // No settings file: the Welcome window shows, and is answered.
  auto welcome = clickWhenShown("first");
  const LoadOutcome outcome = loadSettings(*app);
  EXPECT_TRUE(welcome->load());
  ASSERT_TRUE(outcome.importRequested);

  app->clock.speed = 10;
  installEngineJobs(*app);
  window = std::make_unique<MainWindow>(*app);
  ui->attachWindow(window.get());
  window->show();
  startScheduler(*app);
  // As the program does once its window is up.
  App* running = app.get();
  app->jobThreads.start([running] { post(*running, play::ListCommand::ImportNow, 0, 2); });

  std::set<std::string> statusSeen;
  bool chooserAnswered = false;
  bool listFilled = false;
  std::string detailAtEnd;
  Script user(
      [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!chooserAnswered) {
          auto* chooser = qobject_cast<QFileDialog*>(modal);
          if (!chooser)
            return false;
          EXPECT_EQ(chooser->windowTitle(), "Choose Folder");
          EXPECT_NE(qobject_cast<DatabaseWindow*>(chooser->parentWidget()), nullptr)
              << "the chooser opens over the Database window";
          chooser->setDirectory(QString::fromStdString(music));
          static_cast<QDialog*>(chooser)->accept();
          chooserAnswered = true;
          return false;
        }
        auto* database = qobject_cast<DatabaseWindow*>(modal);
        if (!database)
          return false;
        statusSeen.insert(labelText(database, "statusLine1"));
        if (statusSeen.count("Import Complete") == 0)
          return false;
        detailAtEnd = labelText(database, "statusLine2");
        // Imported: the list is built while the window is still open.
        if (app->run.buildState.load() == kBuildIdle)
          app->run.buildState.store(kBuildWanted);
        if (window->rowCount() == 0)
          return false;
        listFilled = true;
        click(database, "okButton");
        return true;
      },
      60000);
  ASSERT_TRUE(processUntil([&] { return user.finished() && app->mainWindow.databaseOpen == 0; }, 65000));
  EXPECT_TRUE(listFilled);
  EXPECT_EQ(std::string(app->settings.importSource), music);
  EXPECT_EQ(detailAtEnd, std::string(app->settings.databasePath));
  // The import's outcome reached the window from its thread; the table holds
  // the 30 songs besides the empty record every new table has.
  EXPECT_EQ(app->songsInUse.load(), 31u);
}

}  // namespace
}  // namespace plinka::gui
