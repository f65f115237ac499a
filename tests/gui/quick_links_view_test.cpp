// The quick-link lists in the main window: built by the engine from a song
// table, painted in the upper and the lower area, and a click on a painted
// row asks the player for that row's song.
#include "app/app.h"
#include "core/busy_code.h"
#include "core/run_state.h"
#include "core/settings_defaults.h"
#include "db/table.h"
#include "gui/main_window.h"
#include "gui/now_playing_view.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "play/player.h"
#include "play/quick_links.h"
#include "play/song_details.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace plinka::gui {
namespace {

struct Song {
  const char* name;
  const char* artist;
  const char* album;
  uint32_t rating;
  const char* ending;
};

// Song 0 plays; the others share its artist, its title or neither.
const Song kSongs[] = {
    {"Harbour Lights", "Mira Sol", "Northern Lights", 8, "mp3"},
    {"Cold Water", "Mira Sol", "Northern Lights", 10, "mp3"},
    {"Harbour Lights", "The Quay Players", "Live at the Pier", 6, "mp3"},
    {"Paper Moon", "Mira Sol", "Paper Moon", 9, "avi"},
    {"Harbour Lights", "Mira Sol", "Sessions", 7, "mpg"},
    {"Driftwood", "Oskar Lind", "Tidal", 10, "mp3"},
    {"Lanterns", "Mira Sol", "Northern Lights", 4, "mp3"},
    {"Harbour Lights", "Anna Berg", "Covers", 3, "mp3"},
};

class QuickLinksViewTest : public ::testing::Test {
protected:
  QuickLinksViewTest() {
    app = std::make_unique<App>();
    ui = std::make_unique<QtUi>(*app);
    app->ui = ui.get();
    app->folders.data = data.path();
    app->folders.program = data.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    test::makeSongTable(app->songTable, app->settings.databasePath, std::size(kSongs),
                        [this](db::TableHandle& h, uint32_t k) {
                          const Song& s = kSongs[k];
                          test::putText(h, k, db::FileName, std::string("/music/") + s.name + "." + s.ending);
                          test::putText(h, k, db::Name, s.name);
                          test::putText(h, k, db::Artist, s.artist);
                          test::putText(h, k, db::Album, s.album);
                          test::putNumber(h, k, db::scoreField(0), db::scoreOfRating(app->settings, s.rating));
                        });
    play::SongDetails current;
    std::snprintf(current.title, sizeof current.title, "%s", kSongs[0].name);
    std::snprintf(current.artist, sizeof current.artist, "%s", kSongs[0].artist);
    std::snprintf(current.album, sizeof current.album, "%s", kSongs[0].album);
    play::setCurrentSongFile(*app, "/music/Harbour Lights.mp3");
    play::setCurrentDetails(*app, current);
    app->details.currentSongScore.store(db::scoreOfRating(app->settings, kSongs[0].rating));
  }
  ~QuickLinksViewTest() override {
    ui->attachWindow(nullptr);
    window.reset();
  }

  // Both areas show a list: the title's in the upper area, the artist's in
  // the lower one. The menus offer this only one area at a time; a settings
  // file may hold both.
  void buildBothLists() {
    app->settings.coverChoice = play::kQuickLinksTitle;
    app->settings.quickLinkChoice = play::kQuickLinksArtist;
    play::markQuickLinksOutOfDate(*app);
    grantExclusiveNow(*app, BusyCode::QuickLinks);
    ASSERT_EQ(play::buildQuickLinks(*app), play::QuickLinkResult::Built);
  }

  void showWindow(int width, int height) {
    window = std::make_unique<MainWindow>(*app);
    ui->attachWindow(window.get());
    window->show();
    window->resize(width, height);
    window->grab();  // paints
  }

  std::vector<std::string> painted() const {
    std::vector<std::string> out;
    for (const PaintStep& step : window->nowPlayingView()->lastSteps())
      if (step.kind == PaintStep::Text)
        out.push_back(step.text);
    return out;
  }

  void clickAt(int x, int y) {
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, y), QPointF(x, y), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(window->nowPlayingView(), &release);
  }

  test::TempDir data;
  std::unique_ptr<App> app;
  std::unique_ptr<QtUi> ui;
  std::unique_ptr<MainWindow> window;
};

TEST_F(QuickLinksViewTest, BothAreasPaintTheirListsAndAClickedRowIsPlayed) {
  buildBothLists();
  showWindow(1000, 800);
  const std::vector<std::string> shown = painted();
  const std::vector<std::string> expected{
      "Other songs with same name",
      "Harbour Lights - 8",
      "Harbour Lights - 7 (V)",
      "Harbour Lights - 6",
      "Harbour Lights - 3",
      "Other songs from the same artist",
      "Cold Water - 10",
      "Paper Moon - 9 (V)",
      "Harbour Lights - 8",
      "Harbour Lights - 7 (V)",
      "Lanterns - 4",
  };
  for (const std::string& text : expected)
    EXPECT_NE(std::find(shown.begin(), shown.end(), text), shown.end()) << text;

  ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
  EXPECT_TRUE(window->grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/main_window_quick_links.png"));

  // Upper area: the second row ("Harbour Lights - 7 (V)", record 4).
  const QuickLinkPlace upper = quickLinkPlace(QuickLinkArea::Upper, 1000, 800);
  clickAt(700, quickLinkRowTop(upper, 1) + 8);
  EXPECT_EQ(app->details.playNowRecord.load(), 4);
  EXPECT_EQ(app->playNowFlag.load(), 1u);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);

  // Lower area: the first row ("Cold Water", record 1).
  app->run.playerRequest.store(play::PlayerRequest::None);
  const QuickLinkPlace lower = quickLinkPlace(QuickLinkArea::Lower, 1000, 800);
  clickAt(100, quickLinkRowTop(lower, 0));
  EXPECT_EQ(app->details.playNowRecord.load(), 1);

  // Below the last drawn row: nothing.
  app->run.playerRequest.store(play::PlayerRequest::None);
  clickAt(100, quickLinkRowTop(lower, 5) + 2);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None);
}

}  // namespace
}  // namespace plinka::gui
