#include "gui/main_window.h"
#include "gui/qt_ui.h"
#include "shell/app.h"
#include "shell/scheduler.h"
#include "shell/settings_file.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace plinka::gui {
namespace {

// The one QApplication of the suite: made before the first test and ended
// after the last, while Qt's own statics still exist.
class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

private:
  int argc_ = 1;
  char name_[10] = "gui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Runs the event loop until `done` holds or five seconds have passed.
bool processUntil(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 5000)
      return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

play::ListRow row(const std::string& title) {
  play::ListRow r;
  r.column[play::Title] = title;
  r.column[play::Artist] = title + " artist";
  r.column[play::Album] = title + " album";
  r.column[play::FileName] = "/music/" + title + ".mp3";
  r.column[play::Type] = "mp3";
  return r;
}

class MainWindowTest : public ::testing::Test {
protected:
  MainWindowTest() {
    app = std::make_unique<App>();
    ui = std::make_unique<QtUi>(*app);
    app->ui = ui.get();
  }
  ~MainWindowTest() override {
    if (ui)
      ui->attachWindow(nullptr);
    window.reset();
  }

  void makeWindow() {
    window = std::make_unique<MainWindow>(*app);
    ui->attachWindow(window.get());
  }

  std::vector<std::string> titles() const {
    std::vector<std::string> out;
    for (int r = 0; r < window->rowCount(); ++r)
      out.push_back(window->cellText(r, play::Title));
    return out;
  }

  std::unique_ptr<App> app;
  std::unique_ptr<QtUi> ui;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, ListFollowsChangesMadeOnWorkerThreads) {
  app->list.append(row("before"));
  makeWindow();
  ASSERT_EQ(window->rowCount(), 1);

  // Many quick changes from a worker must arrive whole and in order.
  std::thread worker([this] {
    for (int i = 0; i < 50; ++i)
      app->list.append(row("song" + std::to_string(i)));
    app->list.insert(0, row("first"));
    app->list.remove(1);  // "before"
    app->list.insert(3, row("third"));
  });
  worker.join();
  ASSERT_TRUE(processUntil([this] { return window->rowCount() == 52; }));
  std::vector<std::string> expected{"first", "song0", "song1", "third"};
  for (int i = 2; i < 50; ++i)
    expected.push_back("song" + std::to_string(i));
  EXPECT_EQ(titles(), expected);
  const play::ListRow song0 = row("song0");
  for (int c = 0; c < play::ColumnCount; ++c)
    EXPECT_EQ(window->cellText(1, c), song0.column[c]) << "column " << c;

  std::thread clearer([this] {
    app->list.clear();
    app->list.append(row("after"));
  });
  clearer.join();
  ASSERT_TRUE(processUntil([this] { return window->rowCount() == 1 && window->cellText(0, 0) == "after"; }));
}

TEST_F(MainWindowTest, StatusTextsFromAnyThreadReachTheStatusBar) {
  StatusTexts early;
  early.part[0] = "early";
  ui->showStatus(early);  // before the window exists: kept for it
  makeWindow();
  EXPECT_EQ(window->statusText(0), "early");

  StatusTexts texts;
  texts.part[0] = "Building the list";
  texts.part[1] = "12 songs in the list";
  texts.part[2] = "345 songs";
  texts.part[3] = "Listener 1";
  std::thread worker([&] { ui->showStatus(texts); });
  worker.join();
  ASSERT_TRUE(processUntil([&] { return window->statusText(3) == texts.part[3]; }));
  for (int part = 0; part < 4; ++part)
    EXPECT_EQ(window->statusText(part), texts.part[part]) << "part " << part;
}

TEST_F(MainWindowTest, NowPlayingShowsTheCurrentSong) {
  makeWindow();
  std::strcpy(app->details.current.title, "Tune");
  std::strcpy(app->details.current.artist, "Band");
  std::strcpy(app->details.current.album, "Record");
  std::thread worker([this] { ui->repaint(RepaintArea::NowPlaying); });
  worker.join();
  ASSERT_TRUE(processUntil([this] { return window->nowPlayingText() == "Tune\nBand\nRecord"; }));
}

TEST_F(MainWindowTest, ColumnWidthsComeFromAndGoBackToTheSettings) {
  const uint32_t widths[5] = {210, 120, 0, 300, 60};
  std::memcpy(app->settings.columnWidth, widths, sizeof widths);
  makeWindow();
  window->storeColumnWidths();
  uint32_t stored[5];
  std::memcpy(stored, app->settings.columnWidth, sizeof stored);
  EXPECT_EQ(stored[0], 210u);
  EXPECT_EQ(stored[1], 120u);
  EXPECT_GT(stored[2], 0u);  // unset: a usable default
  EXPECT_EQ(stored[3], 300u);
  EXPECT_EQ(stored[4], 60u);
}

TEST_F(MainWindowTest, CloseAsksTheEngineToQuitAndKeepsTheWindow) {
  makeWindow();
  window->show();
  EXPECT_FALSE(window->close());
  EXPECT_EQ(app->run.commandSlot.load(), kQuitCode);
  EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ClosingEndsTheRunSavesTheSettingsAndLeavesTheEventLoop) {
  test::TempDir data;
  app->folders.program = data.path();
  app->folders.data = data.path();
  app->clock.speed = 10;
  makeWindow();
  window->show();
  startScheduler(*app);

  bool timedOut = false;
  QTimer::singleShot(0, window.get(), [this] { window->close(); });
  QTimer::singleShot(20000, window.get(), [&timedOut] {
    timedOut = true;
    QApplication::exit(1);
  });
  EXPECT_EQ(QApplication::exec(), 0);
  ASSERT_FALSE(timedOut);
  EXPECT_EQ(app->run.commandSlot.load(), kEndedCode);
  const std::string saved = test::readFile(data.file(kSettingsFileName));
  ASSERT_EQ(saved.size(), kSettingsFileSize);
  uint32_t firstWidth = 0;
  std::memcpy(&firstWidth, saved.data() + kSettingsMagicSize + offsetof(SettingsRecord, columnWidth),
              sizeof firstWidth);
  EXPECT_GT(firstWidth, 0u);
}

TEST_F(MainWindowTest, SavesAScreenshot) {
  for (const char* title : {"Morning Light", "Blue Hour", "Long Road"})
    app->list.append(row(title));
  std::strcpy(app->details.current.title, "Morning Light");
  std::strcpy(app->details.current.artist, "Morning Light artist");
  makeWindow();
  StatusTexts texts;
  texts.part[0] = "Ready";
  texts.part[1] = "3 songs in the list";
  ui->showStatus(texts);
  window->show();
  ASSERT_TRUE(processUntil([this] { return window->statusText(0) == "Ready"; }));
  ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
  EXPECT_TRUE(window->grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/main_window.png"));
}

// Clicks the named button of the modal dialog once it is open; the flag
// tells that it was clicked.
std::shared_ptr<std::atomic<bool>> clickWhenShown(const char* button) {
  auto clicked = std::make_shared<std::atomic<bool>>(false);
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, button, clicked] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
      return;
    if (auto* found = modal->findChild<QPushButton*>(button)) {
      timer->stop();
      timer->deleteLater();
      clicked->store(true);
      found->click();
    }
  });
  timer->start(20);
  return clicked;
}

struct PromptCase {
  const char* name;
  uint32_t style;
  uint32_t autoCloseSeconds;
  const char* button;  // the button clicked, or nullptr to let it close itself
  uint32_t answer;
};

class PromptTest : public MainWindowTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(PromptTest, WorkerReceivesTheAnswerGivenOnTheGuiThread) {
  const PromptCase& c = GetParam();
  PromptRequest request;
  request.message = "Go on?";
  request.firstCaption = "Yes";
  request.secondCaption = "No";
  request.entryText = "typed";
  request.style = c.style;
  request.autoCloseSeconds = c.autoCloseSeconds;
  std::shared_ptr<std::atomic<bool>> clicked;
  if (c.button)
    clicked = clickWhenShown(c.button);

  QElapsedTimer elapsed;
  elapsed.start();
  std::atomic<uint32_t> answer{kPromptNone};
  std::string entered;
  std::thread worker([&] { answer.store(ui->prompt(request, &entered)); });
  const bool answered = processUntil([&] { return answer.load() != kPromptNone; });
  worker.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer.load(), c.answer);
  if (clicked) {
    EXPECT_TRUE(clicked->load()) << "answered without showing the dialog";
  } else {
    EXPECT_GE(elapsed.elapsed(), 900) << "closed before its time";
  }
  if (c.style % 10 == 4) {
    EXPECT_EQ(entered, "typed");
  }
}

INSTANTIATE_TEST_SUITE_P(Prompts, PromptTest,
                         ::testing::Values(PromptCase{"firstClicked", 1, 0, "first", kPromptFirst},
                                           PromptCase{"secondClicked", 1, 30, "second", kPromptSecond},
                                           PromptCase{"autoClosed", 1, 1, nullptr, kPromptFirst},
                                           PromptCase{"textEntryClicked", 14, 0, "first", kPromptFirst}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, PromptOnTheGuiThreadAnswersDirectly) {
  PromptRequest request;
  request.message = "Now?";
  request.firstCaption = "OK";
  request.secondCaption = "Cancel";
  request.autoCloseSeconds = 1;
  EXPECT_EQ(ui->prompt(request, nullptr), kPromptFirst);
}

}  // namespace
}  // namespace plinka::gui
