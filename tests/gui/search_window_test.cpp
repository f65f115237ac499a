#include "gui/search_window.h"

#include "app/app.h"
#include "app/scheduler.h"
#include "core/settings_defaults.h"
#include "core/settings_shared.h"
#include "db/copies.h"
#include "db/table.h"
#include "desk/window_commands.h"
#include "gui/found_songs_model.h"
#include "gui/main_window.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "play/player.h"
#include "support/song_table.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace plinka::gui {
namespace {

// What a prompt showed, once it has been answered.
struct SeenPrompt {
  std::atomic<bool> answered{false};
  QString message, first, second;
};

// How to answer one prompt: type `typed` into its entry when it has one and
// click the button named `button` ("first" or "second").
struct Answer {
  const char* button;
  QString typed;
};

// Answers the next prompts in order, as each comes on screen (a prompt may
// come up inside the event loop of the one before it).
std::vector<std::shared_ptr<SeenPrompt>> answerPrompts(const std::vector<Answer>& answers) {
  std::vector<std::shared_ptr<SeenPrompt>> seen;
  for (size_t k = 0; k < answers.size(); ++k)
    seen.push_back(std::make_shared<SeenPrompt>());
  auto next = std::make_shared<size_t>(0);
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answers, seen, next] {
    QWidget* modal = QApplication::activeModalWidget();
    QPushButton* chosen = modal ? modal->findChild<QPushButton*>(answers[*next].button) : nullptr;
    if (!chosen || !chosen->isVisible())
      return;
    SeenPrompt& shown = *seen[*next];
    if (auto* message = modal->findChild<QPlainTextEdit*>("message"))
      shown.message = message->toPlainText();
    shown.first = modal->findChild<QPushButton*>("first")->text();
    shown.second = modal->findChild<QPushButton*>("second")->text();
    if (auto* entry = modal->findChild<QLineEdit*>("entry"))
      entry->setText(answers[*next].typed);
    if (++*next == answers.size()) {
      timer->stop();
      timer->deleteLater();
    }
    shown.answered = true;
    chosen->click();
  });
  timer->start(20);
  return seen;
}

std::shared_ptr<SeenPrompt> answerPrompt(const char* button, const QString& typed = QString()) {
  return answerPrompts({{button, typed}}).front();
}

class SearchWindowTest : public ::testing::Test {
protected:
  SearchWindowTest() {
    app = std::make_unique<App>();
    ui = std::make_unique<QtUi>(*app);
    app->ui = ui.get();
    app->folders.data = data.path();
    app->folders.program = data.path();
    firstRunDefaults(app->settings, app->folders);
    shareSettings(*app);
    // Songs 0-39: "Title k" by "Artist k % 4"; song 0 is the record the
    // table was made with. Songs 5, 9 and 12 were played.
    test::makeSongTable(app->songTable, app->settings.databasePath, 40, [](db::TableHandle& h, uint32_t k) {
      test::putText(h, k, db::FileName, "/music/song" + std::to_string(k) + ".mp3");
      test::putText(h, k, db::Name, "Title " + std::to_string(k));
      test::putText(h, k, db::Artist, "Artist " + std::to_string(k % 4));
      test::putText(h, k, db::Album, "Album " + std::to_string(k / 10));
      test::putNumber(h, k, db::scoreField(0), 16u << (k % 3));
      test::putNumber(h, k, db::PlayCount, k == 5 ? 3 : k == 9 ? 7 : k == 12 ? 3 : 0);
    });
    window = std::make_unique<MainWindow>(*app);
    ui->attachWindow(window.get());
    window->show();
    // Grants exclusive use to the search and to Play Next.
    startHeartbeat(*app);
  }
  ~SearchWindowTest() override {
    stopScheduler(*app);
    ui->attachWindow(nullptr);
    window.reset();
  }

  SearchWindow* searchWindow() const {
    SearchWindow* found = window->findChild<SearchWindow*>();
    return found && found->isVisible() ? found : nullptr;
  }
  // Waits for the open search window's search to end.
  SearchWindow* searched() const {
    SearchWindow* w = nullptr;
    const bool done = processUntil([&] {
      w = searchWindow();
      return w && !w->searching() && !w->progressText().empty() && w->progressText().find("...") == std::string::npos;
    });
    EXPECT_TRUE(done);
    return done ? w : nullptr;
  }
  std::vector<std::string> column(SearchWindow* w, int c) const {
    std::vector<std::string> out;
    for (int r = 0; r < w->rowCount(); ++r)
      out.push_back(w->cellText(r, c));
    return out;
  }
  void saveScreenshot(QWidget& widget, const char* name) {
    ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
    EXPECT_TRUE(widget.grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/" + name)) << name;
  }

  test::TempDir data;
  std::unique_ptr<App> app;
  std::unique_ptr<QtUi> ui;
  std::unique_ptr<MainWindow> window;
};

// The toolbar's Search asks for a text and lists every match with its
// rating and index; the table opened, so offline mode ends.
TEST_F(SearchWindowTest, SearchingListsTheMatchesAndEndsOfflineMode) {
  app->run.buildState = kOfflineFirst;
  const auto prompt = answerPrompt("first", "artist 2");
  window->runCommand(WindowCommand::Search, 0);
  SearchWindow* w = searched();
  ASSERT_TRUE(w);
  EXPECT_EQ(prompt->message.toStdString(),
            "Enter word or phrase to search for in a song. (Must be at least two characters.)");
  EXPECT_EQ(prompt->first, "Search");
  EXPECT_EQ(w->windowTitle(), "Search");
  EXPECT_EQ(app->mainWindow.searchWindowRunning.load(), 1u);
  EXPECT_EQ(column(w, kIndexColumn),
            (std::vector<std::string>{"2", "6", "10", "14", "18", "22", "26", "30", "34", "38"}));
  EXPECT_EQ(w->cellText(0, play::Title), "Title 2");
  EXPECT_EQ(w->cellText(0, play::FileName), "/music/song2.mp3");
  EXPECT_EQ(w->cellText(0, play::Type), "Audio");
  // Scores 16, 32, 64 by slot: ratings 5, 6, 7 (slot 2: 7, slot 6: 5).
  EXPECT_EQ(w->cellText(0, kRatingColumn), "7");
  EXPECT_EQ(w->cellText(1, kRatingColumn), "5");
  EXPECT_EQ(app->run.buildState.load(), kBuildWanted);
  EXPECT_EQ(app->mainWindow.searchInput, "artist 2") << "the search text is kept for the next search";
  EXPECT_EQ(w->findChild<QTreeView*>("results")->model()->headerData(kIndexColumn, Qt::Horizontal).toString(), "Index");
  EXPECT_EQ(w->findChild<QLabel*>("progress")->text(), "10 songs found");
  saveScreenshot(*w, "search_window.png");

  // A second Search brings this window forward and asks nothing.
  window->runCommand(WindowCommand::Search, 0);
  QApplication::processEvents();
  EXPECT_EQ(searchWindow(), w);
  EXPECT_EQ(w->rowCount(), 10);
}

TEST_F(SearchWindowTest, NoMatchesOffersSearchAgain) {
  // "zebra" matches nothing; "Search again" asks for a new text, which is
  // searched.
  const auto prompts = answerPrompts({{"first", "zebra"}, {"first", ""}, {"first", "Title 3"}});
  window->runCommand(WindowCommand::Search, 0);
  ASSERT_TRUE(processUntil([&] { return prompts[2]->answered.load(); }));
  EXPECT_EQ(prompts[1]->message, "No matches found");
  EXPECT_EQ(prompts[1]->first, "Search again");
  EXPECT_EQ(prompts[1]->second, "Close Search window");
  SearchWindow* w = searchWindow();
  ASSERT_TRUE(w);
  ASSERT_TRUE(processUntil([&] { return !w->searching() && w->rowCount() == 11; }));
  EXPECT_EQ(column(w, play::Title),
            (std::vector<std::string>{"Title 3", "Title 30", "Title 31", "Title 32", "Title 33", "Title 34", "Title 35",
                                      "Title 36", "Title 37", "Title 38", "Title 39"}));

  // Closing it gives the flag and the table back.
  w->close();
  EXPECT_TRUE(processUntil([&] { return window->findChild<SearchWindow*>() == nullptr; }));
  EXPECT_EQ(app->mainWindow.searchWindowRunning.load(), 0u);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
}

TEST_F(SearchWindowTest, CancellingTheFirstQuestionClosesTheWindow) {
  const auto prompt = answerPrompt("second", "Title");
  window->runCommand(WindowCommand::Search, 0);
  ASSERT_TRUE(processUntil([&] { return prompt->answered.load(); }));
  EXPECT_TRUE(processUntil([&] { return window->findChild<SearchWindow*>() == nullptr; }));
  EXPECT_EQ(app->mainWindow.searchWindowRunning.load(), 0u);
}

// A double click, or Enter, puts the song on top of the upcoming list and
// asks the player to move on to it; "Play Next" from the menu only puts it
// there.
TEST_F(SearchWindowTest, DoubleClickPlaysTheSongNextAndStartsPlaying) {
  play::ListRow row;
  row.column[play::FileName] = "/music/song1.mp3";
  app->list.append(row);
  app->mainWindow.searchInput = "Artist 3";
  window->openWindow(WindowKind::Search, kSearchByArtist);
  SearchWindow* w = searched();
  ASSERT_TRUE(w);
  ASSERT_EQ(w->rowCount(), 10);
  ASSERT_EQ(w->cellText(2, play::FileName), "/music/song11.mp3");

  // The menu's row commands need a row.
  const auto menuEntries = [w] {
    std::vector<std::string> entries;
    const std::unique_ptr<QMenu> menu = w->makeContextMenu();
    for (const QAction* action : menu->actions())
      entries.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
    return entries;
  };
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{"Details (off)", "Play Next (off)", "Help"}));
  QTreeView* results = w->findChild<QTreeView*>("results");
  results->setCurrentIndex(results->model()->index(1, 0));
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{"Details", "Play Next", "Help"}));
  w->chooseMenuEntry(WindowCommand::PlayNext);
  ASSERT_TRUE(processUntil([&] { return app->list.size() == 2; }));
  EXPECT_EQ(app->list.text(0, play::FileName), "/music/song7.mp3");
  EXPECT_EQ(app->list.text(0, play::Title), "Title 7");
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None) << "Play Next does not start it";

  emit results->doubleClicked(results->model()->index(2, 0));
  ASSERT_TRUE(processUntil([&] { return app->list.size() == 3; }));
  EXPECT_EQ(app->list.text(0, play::FileName), "/music/song11.mp3");
  EXPECT_TRUE(processUntil([&] { return app->run.playerRequest.load() == play::PlayerRequest::Start; }));
  EXPECT_TRUE(processUntil([&] { return window->rowCount() == 3; })) << "the main list shows it";

  // Enter on a row does what a double click does.
  app->run.playerRequest.store(play::PlayerRequest::None);
  results->setCurrentIndex(results->model()->index(3, 0));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(results, &enter);
  ASSERT_TRUE(processUntil([&] { return app->list.size() == 4; }));
  EXPECT_EQ(app->list.text(0, play::FileName), "/music/song15.mp3");
  EXPECT_TRUE(processUntil([&] { return app->run.playerRequest.load() == play::PlayerRequest::Start; }));
}

TEST_F(SearchWindowTest, TopSongsListsThePlayedSongsBestRatedFirst) {
  window->runCommand(WindowCommand::TopSongs, 0);
  SearchWindow* w = searched();
  ASSERT_TRUE(w);
  // Song 9 rating 5 played 7 times; 5 and 12 (rating 7 and 5, 3 times).
  EXPECT_EQ(column(w, kIndexColumn), (std::vector<std::string>{"5", "9", "12"}));
  EXPECT_EQ(column(w, kRatingColumn), (std::vector<std::string>{"7", "5", "5"}));
  EXPECT_EQ(w->progressText(), "3 songs played");
  saveScreenshot(*w, "top_songs.png");
}

}  // namespace
}  // namespace plinka::gui
