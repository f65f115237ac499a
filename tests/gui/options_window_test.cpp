// The Options window, driven through its controls' object names as a user
// would, over a main window whose engine runs the heartbeat (a change of
// State needs exclusive access).
#include "app/app.h"
#include "app/scheduler.h"
#include "core/current_state.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "desk/window_commands.h"
#include "gui/main_window.h"
#include "gui/now_playing_view.h"
#include "gui/options_window.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plinka::gui {
namespace {

// Records the desktop's help and folder openings instead of making them.
class RecordingUi : public QtUi {
public:
  using QtUi::QtUi;
  void openHelp() override { ++helpOpened; }
  void openFolder(const std::string& path) override { foldersOpened.push_back(path); }
  int helpOpened = 0;
  std::vector<std::string> foldersOpened;
};

// The eight single file-type boxes.
const char* const kTypeBoxes[] = {"id5362", "id5363", "id5364", "id5365", "id5366", "id5367", "id5368", "id5369"};

class OptionsWindowTest : public ::testing::Test {
protected:
  OptionsWindowTest() {
    app->folders.data = data.path();
    app->folders.program = data.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    app->clock.speed = 100;
    app->ui = ui.get();
    const std::vector<std::string> files = {"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"};
    std::remove(app->settings.databasePath);
    test::makeSongTable(app->songTable, app->settings.databasePath, 3, [&files](db::TableHandle& h, uint32_t k) {
      test::putText(h, k, db::FileName, files[k]);
      test::putText(h, k, db::Name, "Title " + files[k]);
    });
    test::writeFile(data.file("PL2.m3u"), "/music/b.mp3\r\n/music/c.mp3\r\n");
    play::ListRow row;
    row.column[play::FileName] = "/music/a.mp3";
    row.column[play::Title] = "Title /music/a.mp3";
    app->list.append(row);
    window = std::make_unique<MainWindow>(*app);
    ui->attachWindow(window.get());
    window->show();
    startHeartbeat(*app);
  }
  ~OptionsWindowTest() override {
    stopScheduler(*app);
    ui->attachWindow(nullptr);
    window.reset();
  }

  // Opens the window with the O key and runs `script` on it once it shows;
  // returns when it has closed. A script that leaves it open fails the test.
  void withOptions(const std::function<void(QDialog&)>& script) {
    bool ran = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [&] {
      auto* options = qobject_cast<OptionsWindow*>(QApplication::activeModalWidget());
      if (!options || ran)
        return;
      ran = true;
      poll->stop();
      poll->deleteLater();
      EXPECT_EQ(options->parentWidget(), window.get());
      EXPECT_EQ(app->prompts.dialogOpen.load(), 1u);
      script(*options);
      if (options->isVisible()) {
        ADD_FAILURE() << "the script left the window open";
        options->reject();
      }
    });
    poll->start(10);
    QKeyEvent o(QEvent::KeyPress, Qt::Key_O, Qt::NoModifier);
    QApplication::sendEvent(window->nowPlayingView(), &o);
    ASSERT_TRUE(processUntil([&] { return ran && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(app->prompts.dialogOpen.load(), 0u);
  }

  template <class T> static T* child(QDialog& d, const char* name) {
    T* found = d.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static void click(QDialog& d, const char* name) { child<QPushButton>(d, name)->click(); }

  // Chooses a State in the window's list and waits for the change to be
  // carried out.
  void chooseState(QDialog& d, int state) {
    child<QComboBox>(d, "id5396")->setCurrentIndex(state);
    EXPECT_EQ(currentStateIndex(*app), static_cast<uint32_t>(state));
    ASSERT_TRUE(d.isEnabled());
  }

  std::vector<std::string> listedTitles() const {
    std::vector<std::string> titles;
    for (int r = 0; r < window->rowCount(); ++r)
      titles.push_back(window->cellText(r, play::Title));
    return titles;
  }

  test::TempDir data;
  std::unique_ptr<App> app = std::make_unique<App>();
  std::unique_ptr<RecordingUi> ui = std::make_unique<RecordingUi>(*app);
  std::unique_ptr<MainWindow> window;
};

TEST_F(OptionsWindowTest, ShowsTheSettingsAndStoresThemOnOk) {
  withOptions([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Plinka Options");
    EXPECT_TRUE(d.isModal());
    EXPECT_EQ(child<QLineEdit>(d, "id1061")->text(), "Three");
    EXPECT_EQ(child<QLineEdit>(d, "id1085")->text(), "Two") << "alt mode 1";
    EXPECT_EQ(child<QLineEdit>(d, "id1076")->text(), "12");
    EXPECT_EQ(child<QLineEdit>(d, "id1011")->text(), "100");
    EXPECT_EQ(child<QComboBox>(d, "id5396")->currentText(), "Normal");
    EXPECT_EQ(child<QComboBox>(d, "id5373")->count(), 4);
    EXPECT_EQ(child<QComboBox>(d, "id5376")->count(), 11);
    EXPECT_TRUE(child<QCheckBox>(d, "id5388")->isChecked()) << "History of the first State";
    EXPECT_EQ(child<QCheckBox>(d, "id5391")->toolTip().toStdString(),
              "In Network mode Plinka assumes that all files are not stored locally and will cache some to speed "
              "access");

    // "All" greys the eight type boxes, and takes effect at once.
    QCheckBox* all = child<QCheckBox>(d, "id5361");
    for (const char* box : kTypeBoxes)
      EXPECT_TRUE(child<QCheckBox>(d, box)->isEnabled()) << box;
    all->click();
    for (const char* box : kTypeBoxes)
      EXPECT_FALSE(child<QCheckBox>(d, box)->isEnabled()) << box;
    EXPECT_EQ(+app->settings.typeAll, 1u);
    all->click();
    EXPECT_TRUE(child<QCheckBox>(d, "id5362")->isEnabled());

    // The User list is for the single-user mode only.
    QComboBox* userList = child<QComboBox>(d, "userList");
    QComboBox* modes = child<QComboBox>(d, "userModeList");
    EXPECT_TRUE(userList->isEnabled());
    modes->setCurrentIndex(3);
    EXPECT_FALSE(userList->isEnabled());
    modes->setCurrentIndex(0);
    EXPECT_TRUE(userList->isEnabled());

    child<QLineEdit>(d, "id1011")->setText("abc");
    child<QCheckBox>(d, "id5387")->setChecked(true);   // Buffer, without Network
    child<QCheckBox>(d, "id5367")->setChecked(false);  // WMA
    child<QCheckBox>(d, "id1023")->setChecked(true);   // Auto Rate
    child<QComboBox>(d, "id5376")->setCurrentIndex(6);
    QComboBox* levelling = child<QComboBox>(d, "levelling");
    EXPECT_EQ(levelling->currentText(), "Off");
    ASSERT_EQ(levelling->count(), 3);
    EXPECT_EQ(levelling->itemText(2), "By album");
    levelling->setCurrentIndex(2);

    click(d, "id5307");
    click(d, "id9");
    d.resize(d.sizeHint());
    ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
    EXPECT_TRUE(d.grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/options_window.png"));
    click(d, "id1");
  });
  const SettingsRecord& s = app->settings;
  EXPECT_EQ(+s.prepareCount, 0u) << "\"abc\" in Prepare stores 0";
  EXPECT_EQ(+s.bufferMode, 0u) << "Buffer without Network";
  EXPECT_EQ(+s.typeWma, 0u);
  EXPECT_EQ(+s.autoRate, 1u);
  EXPECT_EQ(+s.stateMinRating[0], 6u);
  EXPECT_EQ(app->shared.levelling.load(), static_cast<uint32_t>(Levelling::ByAlbum));
  EXPECT_EQ(app->prompts.result.load(), kPromptFirst);
  EXPECT_EQ(ui->foldersOpened, std::vector<std::string>{data.path()});
  EXPECT_EQ(ui->helpOpened, 1);
}

TEST_F(OptionsWindowTest, RefusesANameTooLongToKeepAndSaysWhich) {
  withOptions([&](QDialog& d) {
    // 25 letters of two bytes each: one byte more than a name slot keeps.
    QString accented;
    for (int i = 0; i < 25; ++i)
      accented += QChar(0x00E9);
    QLineEdit* name = child<QLineEdit>(d, "id1061");
    name->setText(accented);
    std::string said;
    QTimer::singleShot(0, &d, [&said] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      said = box->text().toStdString();
      box->accept();
    });
    click(d, "id1");
    EXPECT_NE(said.find("user 3"), std::string::npos) << said;
    EXPECT_TRUE(d.isVisible()) << "the window stays open";
    name->setText("Trina");
    click(d, "id1");
  });
  EXPECT_STREQ(app->settings.userName[2], "Trina");
}

TEST_F(OptionsWindowTest, AStateChosenInTheWindowStaysChosenAfterCancel) {
  ASSERT_EQ(listedTitles(), std::vector<std::string>{"Title /music/a.mp3"});
  withOptions([&](QDialog& d) {
    child<QComboBox>(d, "id5373")->setCurrentIndex(2);  // "Dirty" for State 1
    chooseState(d, 1);
    EXPECT_EQ(child<QComboBox>(d, "id5373")->currentIndex(), 0) << "the new State's choice";
    EXPECT_FALSE(child<QCheckBox>(d, "id5388")->isChecked());
    EXPECT_TRUE(processUntil([&] { return window->rowCount() == 2; }));
    click(d, "id2");
  });
  EXPECT_EQ(currentStateIndex(*app), 1u);
  EXPECT_EQ(listedTitles(), (std::vector<std::string>{"Title /music/b.mp3", "Title /music/c.mp3"}));
  EXPECT_EQ(test::readFile(data.file("PL1.m3u")), "/music/a.mp3\r\n");
  EXPECT_EQ(+app->settings.statePlayUpTo[0], 2u) << "the old State's choice was kept";
  EXPECT_EQ(app->prompts.result.load(), kPromptSecond);
}

TEST_F(OptionsWindowTest, ARenamedUserChosenForAStateShowsEverywhere) {
  withOptions([&](QDialog& d) {
    child<QLineEdit>(d, "id1061")->setText("Dora");
    chooseState(d, 1);
    QComboBox* users = child<QComboBox>(d, "userList");
    EXPECT_EQ(users->itemText(2), "Dora") << "the list follows the typed name";
    users->setCurrentIndex(2);
    click(d, "id1");
  });
  EXPECT_TRUE(processUntil([&] { return window->statusText(3) == "User Dora"; })) << window->statusText(3);
  std::unique_ptr<QMenu> menu = window->makePopupMenu(QPoint(0, 0), false);
  const QAction* dora = nullptr;
  for (const QAction* action : menu->actions())
    if (action->menu() && action->text() == "User")
      for (const QAction* user : action->menu()->actions())
        if (user->text() == "Dora")
          dora = user;
  ASSERT_NE(dora, nullptr);
  EXPECT_TRUE(dora->isChecked());
  EXPECT_EQ(app->shared.stateUser[0].load(), 0u) << "the first State keeps its user";
}

TEST_F(OptionsWindowTest, ResetAndAllStayInEffectAfterCancel) {
  withOptions([&](QDialog& d) {
    child<QLineEdit>(d, "id1059")->setText("Ann");
    child<QLineEdit>(d, "id1011")->setText("12");
    child<QComboBox>(d, "levelling")->setCurrentIndex(1);
    chooseState(d, 1);
    click(d, "id1");
  });
  ASSERT_TRUE(processUntil([&] { return window->rowCount() == 2; }));
  ASSERT_EQ(+app->settings.prepareCount, 12u);
  ASSERT_EQ(app->shared.levelling.load(), static_cast<uint32_t>(Levelling::BySong));

  withOptions([&](QDialog& d) {
    // "No, cancel this" first: nothing changes.
    auto no = clickWhenShown("second");
    click(d, "id10");
    EXPECT_TRUE(no->load());
    EXPECT_EQ(child<QLineEdit>(d, "id1059")->text(), "Ann");

    auto yes = clickWhenShown("first");
    click(d, "id10");
    EXPECT_TRUE(yes->load());
    EXPECT_EQ(child<QLineEdit>(d, "id1059")->text(), "One");
    EXPECT_EQ(child<QLineEdit>(d, "id1011")->text(), "100");
    EXPECT_EQ(child<QComboBox>(d, "id5396")->currentText(), "Normal");
    EXPECT_TRUE(child<QCheckBox>(d, "id5388")->isChecked()) << "the first State's choices";
    EXPECT_EQ(child<QComboBox>(d, "levelling")->currentText(), "Off");
    click(d, "id2");
  });
  EXPECT_STREQ(app->settings.userName[0], "One");
  EXPECT_EQ(app->shared.levelling.load(), static_cast<uint32_t>(Levelling::Off));
  EXPECT_EQ(+app->settings.prepareCount, 100u);
  // The reset State's list took the place of the one left, which was saved.
  EXPECT_EQ(currentStateIndex(*app), 0u);
  EXPECT_EQ(test::readFile(data.file("PL2.m3u")), "/music/b.mp3\r\n/music/c.mp3\r\n");
  EXPECT_TRUE(processUntil([&] { return listedTitles() == std::vector<std::string>{"Title /music/a.mp3"}; }));

  withOptions([&](QDialog& d) {
    child<QCheckBox>(d, "id5361")->click();
    click(d, "id2");
  });
  EXPECT_EQ(+app->settings.typeAll, 1u);
}

}  // namespace
}  // namespace plinka::gui
