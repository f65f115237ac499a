#include "desk/database_switch.h"

#include "app/app.h"
#include "app/scheduler.h"
#include "app/settings_file.h"
#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "db/copies.h"
#include "db/table_file.h"
#include "play/list_commands.h"
#include "support/fake_ui.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

namespace plinka::db {
namespace {

using test::FakeUi;

struct SwitchFixture : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<App> app = std::make_unique<App>();
  FakeUi ui;

  SwitchFixture() {
    app->folders.program = dir.path();
    app->folders.data = dir.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    app->ui = &ui;
    EXPECT_TRUE(createSongTable(app->settings.databasePath));
    // The access is granted at once, so no processor thread is needed.
    app->run.busyCode.store(codeValue(BusyCode::DatabaseWindow));
    app->run.buildState.store(kBuildWanted);
    app->copies.localCopyRefreshCounter.store(0);
  }

  std::string databasePath() const { return app->settings.databasePath; }
  // A table of `songs` songs at `name` in the data folder.
  std::string otherTable(const std::string& name, uint32_t songs) {
    TableHandle h;
    test::makeSongTable(h, dir.file(name), songs, [](TableHandle& t, uint32_t k) {
      test::putText(t, k, FileName, "/music/" + std::to_string(k));
    });
    return dir.file(name);
  }
  std::string savedDatabasePath() const {
    const std::string saved = test::readFile(dir.file(kSettingsFileName));
    if (saved.size() != kSettingsFileSize)
      return "(no settings file)";
    return std::string(saved.c_str() + kSettingsMagicSize + offsetof(SettingsRecord, databasePath));
  }
  // What every switch that went through leaves behind.
  void expectSwitchedTo(const std::string& path, uint32_t songs) {
    EXPECT_EQ(databasePath(), path);
    EXPECT_EQ(app->run.buildState.load(), kBuildIdle);
    EXPECT_EQ(app->copies.localCopyRefreshCounter.load(), play::kRefreshLocalCopySoon);
    EXPECT_EQ(app->songsInUse.load(), songs);
    EXPECT_EQ(savedDatabasePath(), path);
    ASSERT_FALSE(ui.progressLines.empty());
    EXPECT_EQ(ui.progressLines.back().window, WindowKind::Database);
    EXPECT_EQ(ui.progressLines.back().line, 1u);
    EXPECT_EQ(ui.progressLines.back().text, path);
    EXPECT_EQ(app->run.busyCode.load(), 0u);
    ASSERT_FALSE(ui.repaints.empty());
    EXPECT_FALSE(ui.statuses.empty());
    ASSERT_EQ(ui.fileChoosers.size(), 1u);
    EXPECT_EQ(ui.fileChoosers[0].selected, 3u);  // the database filter
  }
};

TEST_F(SwitchFixture, ChangeDbSwitchesToTheChosenTable) {
  const std::string other = otherTable("Other.cvf", 4);
  ui.openFileAnswers.push_back(other);
  EXPECT_EQ(changeDatabase(*app), SwitchOutcome::Switched);
  expectSwitchedTo(other, 4);
  EXPECT_FALSE(ui.fileChoosers[0].save);
}

// A database chosen by mistake in "NewDB" is taken as it is, never emptied.
TEST_F(SwitchFixture, NewDbOnAnExistingTableSwitchesToItUnchanged) {
  const std::string other = otherTable("Kept.cvf", 7);
  const std::string before = test::readFile(other);
  ui.saveFileAnswers.push_back(other);
  EXPECT_EQ(newDatabase(*app), SwitchOutcome::Switched);
  expectSwitchedTo(other, 7);
  // The chooser never asked to replace it, and the window says it is kept.
  EXPECT_EQ(ui.fileChoosers[0].newOrExistingTitle, kNewDatabaseTitle);
  EXPECT_EQ(ui.progressLines.front().line, 0u);
  EXPECT_EQ(ui.progressLines.front().text, kNewDatabaseKept);
  EXPECT_EQ(test::readFile(other), before);
}

TEST_F(SwitchFixture, NewDbMakesAnEmptyTableWhereThereIsNone) {
  const std::string fresh = dir.file("Fresh.cvf");
  ui.saveFileAnswers.push_back(fresh);
  EXPECT_EQ(newDatabase(*app), SwitchOutcome::Created);
  // A new table holds its one empty record.
  expectSwitchedTo(fresh, 1);
  EXPECT_EQ(ui.progressLines.front().text, kNewDatabaseCreated);
}

TEST_F(SwitchFixture, ACancelledDialogOrARefusedAccessChangesNothing) {
  const std::string before = databasePath();
  // Cancelled: the access is given back and the status refreshed all the same.
  EXPECT_EQ(changeDatabase(*app), SwitchOutcome::Cancelled);
  app->run.busyCode.store(codeValue(BusyCode::DatabaseWindow));
  EXPECT_EQ(newDatabase(*app), SwitchOutcome::Cancelled);
  EXPECT_EQ(databasePath(), before);
  EXPECT_EQ(app->run.buildState.load(), kBuildWanted);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
  EXPECT_EQ(ui.repaints.size(), 2u);

  // A path longer than the settings keep counts as cancelled, not cut.
  app->run.busyCode.store(codeValue(BusyCode::DatabaseWindow));
  ui.openFileAnswers.push_back(dir.path() + std::string(700, 'x'));
  EXPECT_EQ(changeDatabase(*app), SwitchOutcome::Cancelled);
  EXPECT_EQ(databasePath(), before);

  // Another job keeps the table (here: the run is ending): no dialog at all.
  app->run.busyCode.store(0);
  app->run.commandSlot.store(kQuitCode);
  const size_t dialogs = ui.fileChoosers.size();
  ui.openFileAnswers.push_back(otherTable("Never.cvf", 1));
  EXPECT_EQ(changeDatabase(*app), SwitchOutcome::NotGranted);
  EXPECT_EQ(ui.fileChoosers.size(), dialogs);
  EXPECT_EQ(databasePath(), before);
}

// The chooser is open with nothing held; the switch itself is done under
// the Database window's busy code, granted as the program grants it.
TEST_F(SwitchFixture, TheFileIsAskedForWithNothingHeld) {
  app->run.busyCode.store(0);
  std::atomic<int> asked{0}, askedWhileHeld{0};
  ui.whileAsked = [&] {
    ++asked;
    if (app->run.busyCode.load() != 0 || app->run.commandSlot.load() != 0)
      ++askedWhileHeld;
  };
  app->clock.speed = 10;
  startHeartbeat(*app);
  ui.openFileAnswers.push_back(otherTable("Other.cvf", 4));
  EXPECT_EQ(changeDatabase(*app), SwitchOutcome::Switched);
  ui.saveFileAnswers.push_back(dir.file("Fresh.cvf"));
  EXPECT_EQ(newDatabase(*app), SwitchOutcome::Created);
  stopScheduler(*app);
  EXPECT_EQ(asked.load(), 2);
  EXPECT_EQ(askedWhileHeld.load(), 0);
  EXPECT_EQ(databasePath(), dir.file("Fresh.cvf"));
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

}  // namespace
}  // namespace plinka::db
