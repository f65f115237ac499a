// The Song details window on screen: found through its widgets' names, with
// the real heartbeat granting its exclusive use of the song table.

#include "app/app.h"
#include "app/scheduler.h"
#include "core/busy_code.h"
#include "core/run_state.h"
#include "core/settings_defaults.h"
#include "core/settings_shared.h"
#include "core/window_command_ids.h"
#include "db/table.h"
#include "gui/main_window.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "gui/song_details_window.h"
#include "library/loudness.h"
#include "play/player.h"
#include "support/song_table.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace plinka::gui {
namespace {

// Answers the next modal prompt: types `text` into its entry (when it has
// one) and presses its first button. The prompt's message is kept.
std::shared_ptr<std::string> answerPrompt(const QString& text = QString()) {
  auto message = std::make_shared<std::string>();
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, text, message] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* first = modal ? modal->findChild<QPushButton*>("first") : nullptr;
    if (!first)
      return;
    timer->stop();
    timer->deleteLater();
    if (auto* shown = modal->findChild<QPlainTextEdit*>("message"))
      *message = shown->toPlainText().toStdString();
    if (auto* entry = modal->findChild<QLineEdit*>("entry"))
      entry->setText(text);
    first->click();
  });
  timer->start(20);
  return message;
}

// The Loudness of records 0-3: none yet, from tags, no level, measured.
const uint32_t kLoudness[4] = {0, library::encodeLoudness(true, -7.5, 200), library::encodeLoudness(false, {}, 0),
                               library::encodeLoudness(false, -9.2, 240)};

class SongDetailsWindowTest : public ::testing::Test {
protected:
  SongDetailsWindowTest() {
    app->folders.data = dir.path();
    app->folders.program = dir.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    app->clock.speed = 10;
    ui = std::make_unique<QtUi>(*app);
    app->ui = ui.get();
    test::makeSongTable(app->songTable, app->settings.databasePath, 6, [](db::TableHandle& h, uint32_t k) {
      test::putText(h, k, db::FileName, "/music/song" + std::to_string(k) + ".mp3");
      test::putText(h, k, db::Name, "Title " + std::to_string(k));
      test::putText(h, k, db::Artist, k == 4 ? "The Searchers" : "Artist " + std::to_string(k));
      test::putNumber(h, k, db::ID, 7);
      test::putNumber(h, k, db::StartPoint, 1500);
      if (k >= 1 && k <= 3)
        test::putNumber(h, k, db::Loudness, kLoudness[k]);
      // A Score Auto Rate moved: rating 5, whose own Score is 16.
      for (uint32_t u = 0; u < kUserCount; ++u)
        test::putNumber(h, k, db::scoreField(u), 20);
    });
    // The heartbeat grants the window's requests for exclusive use.
    startHeartbeat(*app);
  }
  ~SongDetailsWindowTest() override {
    window.reset();
    stopScheduler(*app);
  }

  void open(uint32_t record) {
    window = std::make_unique<SongDetailsWindow>(*app, record);
    window->show();
    ASSERT_TRUE(settled());
  }
  // Waits until the pending action has been carried out.
  bool settled() {
    return processUntil([this] { return !window->actionPending(); }, 20000);
  }
  template <typename W> W* child(const char* name) {
    W* found = window->findChild<W*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  std::string textOf(const char* name) {
    if (auto* edit = window->findChild<QLineEdit*>(name))
      return edit->text().toStdString();
    return child<QLabel>(name)->text().toStdString();
  }
  void click(const char* name) { child<QPushButton>(name)->click(); }

  // A field as stored, read through a handle of the test's own.
  std::string storedText(uint32_t slot, uint32_t field) {
    db::TableHandle h;
    text::copy(h.path, app->settings.databasePath);
    EXPECT_TRUE(db::openMapped(h));
    db::readField(h, slot, field);
    std::string text = h.text;
    db::closeTable(h);
    return text;
  }
  uint32_t storedNumber(uint32_t slot, uint32_t field) {
    db::TableHandle h;
    text::copy(h.path, app->settings.databasePath);
    EXPECT_TRUE(db::openMapped(h));
    db::readField(h, slot, field);
    const uint32_t value = h.value;
    db::closeTable(h);
    return value;
  }

  test::TempDir dir;
  std::unique_ptr<App> app = std::make_unique<App>();
  std::unique_ptr<QtUi> ui;
  std::unique_ptr<SongDetailsWindow> window;
};

TEST_F(SongDetailsWindowTest, ShowsTheRecordAndStepsAroundBothEnds) {
  open(5);
  EXPECT_EQ(textOf("name"), "Title 5");
  EXPECT_EQ(textOf("fileName"), "/music/song5.mp3");
  EXPECT_EQ(textOf("dbIdx"), "6");
  EXPECT_TRUE(child<QCheckBox>("startSet")->isChecked());
  EXPECT_TRUE(child<QSpinBox>("startPoint")->isEnabled());
  EXPECT_EQ(child<QSpinBox>("startPoint")->value(), 1500);
  EXPECT_EQ(textOf("fileSize"), "0") << "no such file";
  EXPECT_EQ(app->mainWindow.detailsPendingAction.load(), 3u);

  click("next");  // the last record: on to the first
  ASSERT_TRUE(settled());
  EXPECT_EQ(textOf("dbIdx"), "1");
  EXPECT_EQ(textOf("name"), "Title 0");
  click("previous");  // the first: back to the last
  ASSERT_TRUE(settled());
  EXPECT_EQ(textOf("dbIdx"), "6");
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

// The song's loudness and the gain it is played at, as the record holds them;
// the line takes no typing.
TEST_F(SongDetailsWindowTest, ShowsTheLoudnessOfEachRecord) {
  const char* const shown[4] = {"Not measured yet",
                                "\xE2\x88\x92"
                                "7.5 LUFS, \xE2\x88\x92"
                                "10.5 dB (from tags)",
                                "No level (silent, or not decodable)",
                                "\xE2\x88\x92"
                                "9.2 LUFS, \xE2\x88\x92"
                                "8.8 dB (measured)"};
  open(0);
  EXPECT_TRUE(child<QLineEdit>("loudness")->isReadOnly());
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(textOf("dbIdx"), std::to_string(k + 1));
    EXPECT_EQ(textOf("loudness"), shown[k]);
    click("next");
    ASSERT_TRUE(settled());
  }
}

TEST_F(SongDetailsWindowTest, SaveWritesTheFormAndCancelWritesNothing) {
  open(2);
  child<QLineEdit>("name")->setText("Renamed");
  child<QCheckBox>("startSet")->setChecked(false);
  EXPECT_FALSE(child<QSpinBox>("startPoint")->isEnabled());
  child<QSpinBox>("rating10")->setValue(10);
  click("save");
  ASSERT_TRUE(settled());
  EXPECT_EQ(textOf("notice"), "Saved.");
  EXPECT_EQ(storedText(2, db::Name), "Renamed");
  EXPECT_EQ(storedNumber(2, db::StartPoint), 0u) << "unchecked: 0 whatever the box holds";
  EXPECT_EQ(storedNumber(2, db::scoreField(9)), +app->settings.ratingValue[9]);
  for (uint32_t u = 0; u < 9; ++u)
    EXPECT_EQ(storedNumber(2, db::scoreField(u)), 20u) << "user " << u + 1 << "'s rating was not changed";

  child<QLineEdit>("name")->setText("Not kept");
  click("cancel");
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(app->mainWindow.detailsPendingAction.load(), 0u);
  EXPECT_EQ(storedText(2, db::Name), "Renamed");
}

TEST_F(SongDetailsWindowTest, OfflineTheEditStaysInTheWindowAndIsNotSaved) {
  open(1);
  app->run.buildState.store(kOfflineLocked);
  const std::string before = test::readFile(app->settings.databasePath);
  child<QLineEdit>("name")->setText("Edited offline");
  const auto message = answerPrompt();
  click("close");
  ASSERT_TRUE(settled());
  EXPECT_EQ(*message, "Database is currently Offline.");
  EXPECT_TRUE(window->isVisible()) << "Close did not close: nothing was saved";
  EXPECT_EQ(textOf("name"), "Edited offline");
  EXPECT_NE(textOf("notice").find("not saved"), std::string::npos) << textOf("notice");
  EXPECT_EQ(test::readFile(app->settings.databasePath), before);
}

TEST_F(SongDetailsWindowTest, GotoIsClampedAndFindSkipsSlotZero) {
  open(1);
  const std::string lastIndex = textOf("slotCount");
  ASSERT_NE(lastIndex, "0");
  answerPrompt("99999");
  click("gotoEntry");
  ASSERT_TRUE(settled());
  EXPECT_EQ(textOf("dbIdx"), lastIndex) << "the last slot";

  answerPrompt("searchers");
  click("find");
  ASSERT_TRUE(settled());
  EXPECT_EQ(textOf("dbIdx"), "5");
  EXPECT_EQ(app->mainWindow.searchInput, "searchers");
  const auto message = answerPrompt();
  click("findMore");
  ASSERT_TRUE(settled());
  EXPECT_EQ(*message, "No matches found");
  EXPECT_EQ(textOf("dbIdx"), "5");
}

TEST_F(SongDetailsWindowTest, PlayPutsTheSongFirstAndDeleteAsksFirst) {
  open(2);
  click("play");
  // The song goes first, and then it is started at once.
  ASSERT_TRUE(processUntil(
      [this] { return app->list.size() == 1 && app->run.playerRequest.load() == play::PlayerRequest::Start; }, 20000));
  EXPECT_EQ(app->list.text(0, play::FileName), "/music/song2.mp3");

  // "Next" does nothing while another job holds the list, and says so.
  ASSERT_EQ(grantExclusiveNow(*app, BusyCode::ListBuild), AccessOutcome::Granted);
  click("playNext");
  releaseExclusive(*app);
  EXPECT_NE(textOf("notice").find("busy"), std::string::npos) << textOf("notice");

  const auto question = answerPrompt();
  click("deleteSong");
  ASSERT_TRUE(settled());
  EXPECT_EQ(*question, "This will delete the song and it cannot be undone.");
  EXPECT_EQ(textOf("dbIdx"), "1") << "slot 2 deleted: the first record in use";
  db::TableHandle h;
  text::copy(h.path, app->settings.databasePath);
  ASSERT_TRUE(db::openMapped(h));
  EXPECT_EQ(db::getStatus(h, 2), static_cast<int32_t>(db::kStatusFree));
  db::closeTable(h);
  EXPECT_EQ(app->list.size(), 1u);
}

// The Style box is never saved, so it takes no typing; a save after "Goto"
// to a free slot says the slot holds no song.
TEST_F(SongDetailsWindowTest, StyleIsReadOnlyAndAFreeSlotIsNamedAsSuch) {
  db::TableHandle h;
  text::copy(h.path, app->settings.databasePath);
  h.writable = 1;
  ASSERT_TRUE(db::openMapped(h));
  ASSERT_TRUE(db::setStatus(h, 3, db::kStatusFree));
  db::closeTable(h);
  open(1);
  EXPECT_TRUE(child<QLineEdit>("style")->isReadOnly());

  answerPrompt("4");
  click("gotoEntry");
  ASSERT_TRUE(settled());
  ASSERT_EQ(textOf("dbIdx"), "4");
  const std::string before = test::readFile(app->settings.databasePath);
  const auto message = answerPrompt();
  click("save");
  ASSERT_TRUE(settled());
  EXPECT_EQ(*message, "This place in the database holds no song, so nothing was changed.");
  EXPECT_EQ(textOf("notice"), *message);
  EXPECT_EQ(test::readFile(app->settings.databasePath), before);
}

// The current song's record is not known (-1): nothing to show or save.
TEST_F(SongDetailsWindowTest, WithoutARecordCloseJustCloses) {
  open(static_cast<uint32_t>(-1));
  EXPECT_EQ(textOf("dbIdx"), "0");
  EXPECT_EQ(textOf("name"), "");
  const std::string before = test::readFile(app->settings.databasePath);
  click("close");
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(test::readFile(app->settings.databasePath), before);
}

TEST_F(SongDetailsWindowTest, Screenshot) {
  open(3);
  window->resize(window->sizeHint());
  ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
  EXPECT_TRUE(window->grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/song_details.png"));
}

// The main window's commands open it, on the record they name, as a modal
// window of its own; one at a time.
TEST_F(SongDetailsWindowTest, TheMainWindowOpensItOnTheRecordGiven) {
  MainWindow main(*app);
  ui->attachWindow(&main);
  main.show();
  std::string shown;
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, &shown] {
    auto* details = qobject_cast<SongDetailsWindow*>(QApplication::activeModalWidget());
    if (!details || details->actionPending())
      return;
    timer->stop();
    timer->deleteLater();
    shown = details->findChild<QLineEdit*>("name")->text().toStdString();
    details->findChild<QPushButton*>("cancel")->click();
  });
  timer->start(20);
  // Posted, as the list command that finds the record posts it.
  main.runCommand(WindowCommand::SongDetailsOf, 3);
  ASSERT_TRUE(processUntil([&] { return !shown.empty() && app->mainWindow.detailsPendingAction.load() == 0; }, 20000));
  EXPECT_EQ(shown, "Title 3");
  ui->attachWindow(nullptr);
}

}  // namespace
}  // namespace plinka::gui
