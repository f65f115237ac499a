#include "app/app.h"
#include "app/scheduler.h"
#include "app/settings_file.h"
#include "core/run_state.h"
#include "core/window_state.h"
#include "desk/window_commands.h"
#include "gui/main_window.h"
#include "gui/now_playing_view.h"
#include "gui/qt_test_env.h"
#include "gui/qt_ui.h"
#include "gui/song_columns.h"
#include "library/media_types.h"
#include "platform/picture.h"
#include "play/list_commands.h"
#include "play/player.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace plinka::gui {
namespace {

// The question a worker asks while the run ends.
PromptRequest deleteQuestion() {
  PromptRequest request;
  request.message = "Delete?";
  request.firstCaption = "Yes";
  request.secondCaption = "No";
  return request;
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
    // A hidden window is laid out only once it shows.
    window->show();
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

// The width the texts of a column of `list` need (the view's own measure).
int contentWidth(const QTreeView* list, int column) {
  return static_cast<const QAbstractItemView*>(list)->sizeHintForColumn(column);
}

// Stored widths load and go back; the last column reaches the list's right
// edge whatever its stored width, and shows its "Audio" and "Video" in full
// even when the other columns leave it no room.
TEST_F(MainWindowTest, ColumnWidthsComeFromAndGoBackToTheSettings) {
  const uint32_t widths[5] = {210, 120, 0, 300, 60};
  std::memcpy(app->settings.columnWidth, widths, sizeof widths);
  play::ListRow video = row("Film");
  video.column[play::Type] = "Video";
  app->list.append(video);
  play::ListRow audio = row("Song");
  audio.column[play::Type] = "Audio";
  app->list.append(audio);
  makeWindow();
  QTreeView* list = window->listView();
  QHeaderView* header = list->header();
  for (const int width : {1000, 400}) {
    SCOPED_TRACE(width);
    window->resize(width, 600);
    ASSERT_TRUE(processUntil([&] { return list->width() == width; }));
    QApplication::processEvents();
    // With room it ends at the edge; without, it lies beyond (the list then
    // scrolls sideways).
    const int end = header->sectionViewportPosition(play::Type) + header->sectionSize(play::Type);
    if (width == 1000)
      EXPECT_EQ(end, list->viewport()->width());
    else
      EXPECT_GE(end, list->viewport()->width());
    EXPECT_GE(list->columnWidth(play::Type), contentWidth(list, play::Type));
  }
  window->storeColumnWidths();
  uint32_t stored[5];
  std::memcpy(stored, app->settings.columnWidth, sizeof stored);
  EXPECT_EQ(stored[0], 210u);
  EXPECT_EQ(stored[1], 120u);
  EXPECT_GT(stored[2], 0u);  // unset: a usable default
  EXPECT_EQ(stored[3], 300u);
  EXPECT_EQ(stored[4], 60u);

  // Another column widened until the last has a few pixels left: the last
  // still shows its texts (the list then scrolls sideways).
  window->resize(1000, 600);
  ASSERT_TRUE(processUntil([&] { return list->width() == 1000; }));
  QApplication::processEvents();
  const int others = header->sectionViewportPosition(play::FileName);
  list->setColumnWidth(play::FileName, list->viewport()->width() - others - 10);
  EXPECT_GE(list->columnWidth(play::Type), contentWidth(list, play::Type));

  // A stored width too narrow for "Video" is widened; the first-run widths
  // of a new settings file show the texts in full.
  const uint32_t firstRun[5] = {150, 150, 250, 60, 30};
  std::memcpy(app->settings.columnWidth, firstRun, sizeof firstRun);
  ui->attachWindow(nullptr);
  window.reset();
  makeWindow();
  list = window->listView();
  window->resize(400, 600);
  ASSERT_TRUE(processUntil([&] { return list->width() == 400; }));
  QApplication::processEvents();
  EXPECT_GE(list->columnWidth(play::Type), contentWidth(list, play::Type));
}

// A double click on the divider after a column fits the column to its
// texts, and that width is kept. Paths are cut in the middle.
TEST_F(MainWindowTest, ADoubleClickOnADividerFitsTheColumn) {
  const uint32_t widths[5] = {60, 150, 150, 60, 60};
  std::memcpy(app->settings.columnWidth, widths, sizeof widths);
  app->list.append(row("A title long enough to be cut at sixty pixels"));
  makeWindow();
  window->resize(1000, 800);
  QTreeView* list = window->listView();
  QHeaderView* header = list->header();
  ASSERT_TRUE(processUntil([&] { return list->width() == 1000; }));
  QApplication::processEvents();
  const int needed = std::max(contentWidth(list, play::Title), header->sectionSizeHint(play::Title));
  ASSERT_GT(needed, 60);
  const QPoint divider(header->sectionViewportPosition(play::Title) + header->sectionSize(play::Title),
                       header->height() / 2);
  QMouseEvent press(QEvent::MouseButtonPress, divider, header->viewport()->mapToGlobal(divider), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(header->viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, divider, header->viewport()->mapToGlobal(divider), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(header->viewport(), &release);
  QMouseEvent twice(QEvent::MouseButtonDblClick, divider, header->viewport()->mapToGlobal(divider), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(header->viewport(), &twice);
  EXPECT_EQ(list->columnWidth(play::Title), needed);
  window->storeColumnWidths();
  EXPECT_EQ(app->settings.columnWidth[play::Title], static_cast<uint32_t>(needed));

  auto* paths = dynamic_cast<PathDelegate*>(list->itemDelegateForColumn(play::FileName));
  ASSERT_NE(paths, nullptr);
  QStyleOptionViewItem option;
  paths->initStyleOption(&option, list->model()->index(0, play::FileName));
  EXPECT_EQ(option.textElideMode, Qt::ElideMiddle);
  EXPECT_EQ(list->itemDelegateForColumn(play::Title), nullptr) << "titles are cut at their end";
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

// The program's own pictures, as the build puts them beside the program.
const std::string kResources = std::string(PLINKA_TEST_FIXTURES) + "/../../resources/";

bool hasSubmenu(const QMenu& menu, const QString& title) {
  for (const QAction* action : menu.actions())
    if (action->menu() && action->text() == title)
      return true;
  return false;
}

std::vector<std::string> paintedTexts(const NowPlayingView& view) {
  std::vector<std::string> out;
  for (const PaintStep& step : view.lastSteps())
    if (step.kind == PaintStep::Text)
      out.push_back(step.text);
  return out;
}

void saveScreenshot(QWidget& widget, const char* name) {
  ASSERT_TRUE(QDir().mkpath(PLINKA_SCREENSHOT_DIR));
  EXPECT_TRUE(widget.grab().save(QString(PLINKA_SCREENSHOT_DIR) + "/" + name)) << name;
}

TEST_F(MainWindowTest, LaysOutItsPartsByTheClientSize) {
  makeWindow();
  struct Case {
    int width, height;
    bool list;
    int statusParts;
    int seekWidth;
  };
  for (const Case& c : {Case{300, 200, false, 2, 192}, Case{400, 600, true, 2, 292}, Case{1000, 800, true, 4, 392}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    window->resize(c.width, c.height);
    ASSERT_EQ(window->width(), c.width);
    EXPECT_EQ(!window->listGeometry().isNull(), c.list);
    EXPECT_EQ(window->statusPartCount(), c.statusParts);
    EXPECT_EQ(window->seekBarGeometry().width(), c.seekWidth);
    EXPECT_EQ(app->player.windowWidth.load(), static_cast<uint32_t>(c.width));
  }
  EXPECT_EQ(window->listGeometry(), QRect(0, 436, 1000, 342));
  EXPECT_EQ(window->seekBarGeometry(), QRect(0, 414, 392, 20));
  EXPECT_EQ(window->volumeBarGeometry(), QRect(400, 414, 100, 20));
}

// The slider, the keys and the wheel set the current State's volume; the
// slider follows a change made anywhere else (a State switch, the desktop's
// controls).
TEST_F(MainWindowTest, VolumeFromTheSliderTheKeysAndTheWheel) {
  app->settings.currentState = 2;
  app->shared.stateVolumeCut[2].store(400);
  makeWindow();
  QSlider* slider = window->volumeBar();
  EXPECT_EQ(slider->value(), 600);
  EXPECT_EQ(slider->toolTip(), "Volume");
  EXPECT_EQ(slider->focusPolicy(), Qt::NoFocus);

  slider->setValue(300);
  EXPECT_EQ(app->shared.stateVolumeCut[2].load(), 700u);
  EXPECT_TRUE(processUntil([this] { return window->statusText(0).ends_with(", Volume 30%"); }))
      << window->statusText(0);

  auto press = [this](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(window->nowPlayingView(), &down);
  };
  auto turn = [this](int delta) {
    const QPointF at(100, 100);
    QWheelEvent wheel(at, window->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(window->nowPlayingView(), &wheel);
  };
  struct Step {
    const char* what;
    std::function<void()> act;
    int value;
  };
  const Step steps[] = {
      {"+", [&] { press(Qt::Key_Plus, Qt::ShiftModifier); }, 350},
      {"=", [&] { press(Qt::Key_Equal); }, 400},
      {"-", [&] { press(Qt::Key_Minus); }, 350},
      {"Ctrl and - is not the key", [&] { press(Qt::Key_Minus, Qt::ControlModifier); }, 350},
      {"a notch up", [&] { turn(120); }, 400},
      {"two notches down", [&] { turn(-240); }, 300},
      {"half a notch", [&] { turn(60); }, 300},
      {"the other half", [&] { turn(60); }, 350},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(app->shared.stateVolumeCut[2].load(), static_cast<uint32_t>(1000 - step.value));
    EXPECT_TRUE(processUntil([&] { return slider->value() == step.value; })) << slider->value();
  }

  // Another State's volume after a switch, told from the player's thread.
  app->shared.stateVolumeCut[0].store(100);
  app->settings.currentState = 0;
  std::thread player([this] { ui->playerChanged(PlayerChange::Volume); });
  player.join();
  EXPECT_TRUE(processUntil([&] { return slider->value() == 900; }));
  EXPECT_EQ(app->shared.stateVolumeCut[0].load(), 100u) << "showing the volume does not set it";
}

TEST_F(MainWindowTest, LongTextsAreCutToTheWindow) {
  std::strcpy(app->details.current.title, "A Song");
  std::memset(app->details.current.artist, 'q', 200);
  std::string path = "/home/someone/Music/" + std::string(120, 'd') + "/last part.mp3";
  std::strcpy(app->details.currentSongFile, path.c_str());
  makeWindow();
  window->resize(400, 600);
  window->grab();  // paints
  const std::vector<std::string> shown = paintedTexts(*window->nowPlayingView());
  EXPECT_NE(std::find(shown.begin(), shown.end(), std::string(50, 'q') + "..."), shown.end());
  EXPECT_NE(std::find(shown.begin(), shown.end(), "..." + path.substr(path.size() - 22)), shown.end());
}

// The cover picture is scaled once for each picture and size it is shown
// at, not on every paint.
TEST_F(MainWindowTest, TheCoverIsScaledOncePerPictureAndSize) {
  app->settings.coverChoice = 1;
  ASSERT_TRUE(platform::loadPicture(kResources + "Cover.jpg", app->cover.picture));
  app->cover.ready.store(1);
  makeWindow();
  const NowPlayingView& view = *window->nowPlayingView();
  window->resize(1000, 800);
  window->grab();
  window->grab();
  EXPECT_EQ(view.pictureScalings(), 1u);
  window->resize(900, 700);
  window->grab();
  EXPECT_EQ(view.pictureScalings(), 2u);
  {
    std::lock_guard lock(app->cover.pictureMutex);
    ++app->cover.pictureGeneration;  // another picture
  }
  window->grab();
  window->grab();
  EXPECT_EQ(view.pictureScalings(), 3u);
}

TEST_F(MainWindowTest, PlayerCommandsFollowThePlayersState) {
  makeWindow();
  window->runCommand(WindowCommand::Skip, 0);  // skip while stopped
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None);
  app->run.playerRunning.store(1);
  window->runCommand(WindowCommand::PlayPause, 0);  // play while playing
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Pause);
}

// Play shows the Pause button at once, on the GUI thread, with no event in
// between; the player's notice from its own thread turns it back.
TEST_F(MainWindowTest, PlayButtonFollowsPlayAndThePlayersStop) {
  makeWindow();
  QAction* play = nullptr;
  for (QAction* action : window->toolbar()->actions())
    if (action->data().toUInt() == codeValue(WindowCommand::PlayPause))
      play = action;
  ASSERT_NE(play, nullptr);
  ASSERT_EQ(play->text(), "Play");  // no pictures loaded: the button shows its name

  window->runCommand(WindowCommand::PlayPause, 0);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);
  EXPECT_EQ(play->text(), "Pause");

  std::thread player([this] { ui->playerChanged(PlayerChange::Stopped | PlayerChange::Controls); });
  player.join();
  EXPECT_TRUE(processUntil([play] { return play->text() == "Play"; }));
}

TEST_F(MainWindowTest, KeyWindowsChooseUserAndAltMode) {
  makeWindow();
  window->show();
  app->settings.currentState = 2;
  auto press = [this](int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(window->nowPlayingView(), &down);
  };
  press(Qt::Key_U);
  press(Qt::Key_0);
  EXPECT_EQ(+app->settings.stateUser[2], 9u);
  EXPECT_EQ(+app->settings.stateAltMode[2], 0u);
  press(Qt::Key_A);
  press(Qt::Key_3);
  EXPECT_EQ(+app->settings.stateAltMode[2], 3u);
  EXPECT_EQ(+app->settings.stateUser[2], 0u);
}

TEST_F(MainWindowTest, PictureMenuOnTheLeftOnlyInTallWindows) {
  makeWindow();
  window->resize(800, 500);
  std::unique_ptr<QMenu> left = window->makePopupMenu(QPoint(100, 100), false);
  EXPECT_FALSE(hasSubmenu(*left, "View"));
  std::unique_ptr<QMenu> right = window->makePopupMenu(QPoint(700, 100), false);
  EXPECT_TRUE(hasSubmenu(*right, "View"));
  window->resize(800, 501);
  std::unique_ptr<QMenu> tall = window->makePopupMenu(QPoint(100, 100), false);
  EXPECT_TRUE(hasSubmenu(*tall, "View"));
}

TEST_F(MainWindowTest, TrayExitFreesAJobThatHoldsUpTheQuit) {
  makeWindow();
  app->player.inTray.store(1);
  std::unique_ptr<QMenu> menu = window->makePopupMenu(QPoint(0, 0), false);
  QAction* exit = nullptr;
  for (QAction* action : menu->actions())
    if (action->text() == "Exit")
      exit = action;
  ASSERT_NE(exit, nullptr);
  app->run.commandSlot.store(kQuitCode);
  app->run.busyCode.store(codeValue(BusyCode::Import));
  window->runCommand(windowCommand(exit->data().toUInt()), 0);
  EXPECT_EQ(app->run.busyCode.load(), 0u);
  EXPECT_EQ(app->run.commandSlot.load(), kQuitCode);
}

TEST_F(MainWindowTest, ToolbarPicturesAndTooltips) {
  app->folders.program = kResources;
  makeWindow();
  ASSERT_TRUE(window->loadToolbarPictures());
  EXPECT_EQ(window->toolTipOf(WindowCommand::PlayPause), "Start Plinka");
  EXPECT_EQ(window->toolTipOf(WindowCommand::Skip), "Skip to the next song on the list");
  app->run.playerRunning.store(1);
  window->setPlaying(true);
  EXPECT_EQ(window->toolTipOf(WindowCommand::PlayPause), "Pause song");

  app->folders.program = "/nonexistent/";
  EXPECT_FALSE(window->loadToolbarPictures());
}

TEST_F(MainWindowTest, EndOfRunAnswersAQuestionStillOnScreen) {
  test::TempDir data;
  app->folders.program = data.path();
  app->folders.data = data.path();
  makeWindow();
  const PromptRequest request = deleteQuestion();
  std::atomic<uint32_t> answer{kPromptNone};
  // The run ends while the question is on screen.
  QTimer poll;
  bool ended = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!ended && QApplication::activeModalWidget() != nullptr) {
      ended = true;
      window->runCommand(WindowCommand::EndRun, 0);
    }
  });
  poll.start(20);
  std::thread worker([&] { answer.store(ui->prompt(request, nullptr)); });
  const bool answered = processUntil([&] { return answer.load() != kPromptNone; });
  worker.join();
  ASSERT_TRUE(answered);
  EXPECT_TRUE(ended);
  EXPECT_EQ(answer.load(), kPromptSecond);
  EXPECT_TRUE(processUntil([&] { return std::ifstream(data.file(kSettingsFileName)).good(); }));

  // Once closed, the front end answers at once instead of queueing.
  ui->close();
  std::thread late([&] { answer.store(ui->prompt(request, nullptr)); });
  late.join();
  EXPECT_EQ(answer.load(), kPromptSecond);
}

// A question handed over while the GUI thread is busy elsewhere is still
// waiting to be shown when the front end closes: closing wakes the worker
// with the second answer, and the question, once the GUI thread gets to it,
// shows nothing (the worker's request is gone by then).
TEST_F(MainWindowTest, ClosingAnswersAQuestionNotYetShown) {
  makeWindow();
  const PromptRequest request = deleteQuestion();
  std::atomic<uint32_t> answer{kPromptNone};
  std::thread worker([&] { answer.store(ui->prompt(request, nullptr)); });
  // No events are processed until the worker has its answer.
  ui->close();
  worker.join();
  EXPECT_EQ(answer.load(), kPromptSecond);

  // The hand-over was posted before the worker got its answer: delivering
  // the posted events reaches it. A dialog it opened would be closed again.
  bool shown = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      shown = true;
      modal->close();
    }
  });
  watch.start(5);
  QCoreApplication::processEvents();
  EXPECT_FALSE(shown);
}

TEST_F(MainWindowTest, PlaceIsKeptInTheSettings) {
  makeWindow();
  window->setGeometry(100, 120, 700, 500);
  ASSERT_TRUE(processUntil([this] { return window->width() == 700; }));
  window->storePlacement();
  ui->attachWindow(nullptr);
  window.reset();
  makeWindow();
  window->applyPlacement();
  ASSERT_TRUE(processUntil([this] { return window->width() == 700; }));
  EXPECT_EQ(window->geometry().size(), QSize(700, 500));

  // A place never stored leaves a usable first size, not a tiny window.
  std::memset(&app->settings.windowPlacement, 0, sizeof app->settings.windowPlacement);
  ui->attachWindow(nullptr);
  window.reset();
  makeWindow();
  window->applyPlacement();
  EXPECT_GE(window->width(), 600);
}

TEST_F(MainWindowTest, MinimisingGoesToTheTrayAndAClickBringsItBack) {
  app->settings.trayMinimise = 1;
  makeWindow();
  window->trayAvailable = [] { return true; };
  window->showMinimized();
  ASSERT_TRUE(processUntil([this] { return window->inTray(); }));
  EXPECT_FALSE(window->isVisible());
  std::unique_ptr<QMenu> menu = window->makePopupMenu(QPoint(0, 0), false);
  std::vector<std::string> items;
  for (const QAction* action : menu->actions())
    if (!action->isSeparator() && !action->menu())
      items.push_back(action->text().toStdString());
  EXPECT_EQ(std::vector<std::string>(items.end() - 3, items.end()), (std::vector<std::string>{"Play", "Skip", "Exit"}));
  window->trayLeftClick();
  EXPECT_FALSE(window->inTray());
  EXPECT_TRUE(window->isVisible());
}

// A desktop without a tray (the window would be hidden for good): the window
// only minimises, and comes back as any minimised window does.
TEST_F(MainWindowTest, MinimisingWithoutATrayLeavesTheWindowReachable) {
  app->settings.trayMinimise = 1;
  makeWindow();
  window->trayAvailable = [] { return false; };
  window->showMinimized();
  ASSERT_TRUE(processUntil([this] { return window->isMinimized(); }));
  processUntil([] { return false; }, 100);  // a tray move would be queued
  EXPECT_FALSE(window->inTray());
  EXPECT_TRUE(window->isVisible());
  window->showNormal();
  EXPECT_TRUE(processUntil([this] { return !window->isMinimized() && window->isVisible(); }));
}

// The list's commands act on the row the user chose, even when a song starts
// (its row goes from the top) between the choice and the command.
TEST_F(MainWindowTest, ListCommandsActOnTheChosenRowAfterASongStarts) {
  for (int k = 0; k < 6; ++k)
    app->list.append(row("song" + std::to_string(k)));
  app->commandHandlers[codeValue(play::ListCommand::Remove)] = [a = app.get()](uint32_t argument) {
    play::commandRemove(*a, argument);
  };
  app->commandHandlers[codeValue(play::ListCommand::ClearList)] = [a = app.get()](uint32_t argument) {
    play::commandClearList(*a, argument);
  };
  makeWindow();
  window->resize(900, 640);
  // The command the list menu gives its entry, the menu made as a right
  // click makes it.
  auto listMenuEntry = [this](const char* entry) {
    std::unique_ptr<QMenu> menu = window->makePopupMenu(QPoint(10, 500), true);
    for (const QAction* action : menu->actions())
      if (action->text() == entry)
        return windowCommand(action->data().toUInt());
    return WindowCommand::None;
  };
  auto runPosted = [this](play::ListCommand code) {
    ASSERT_TRUE(processUntil([&] { return app->run.commandSlot.load() == codeValue(code); }));
    runProcessor(*app);
  };

  // Row 3 (song3) has the focus; then a song starts.
  window->setCurrentRow(3);
  std::thread player([this] { app->list.remove(0); });
  player.join();
  ASSERT_TRUE(processUntil([this] { return window->rowCount() == 5; }));
  EXPECT_EQ(window->cellText(window->listView()->currentIndex().row(), play::Title), "song3");
  const WindowCommand remove = listMenuEntry("Remove");
  ASSERT_EQ(remove, WindowCommand::Remove);
  window->chooseMenuEntry(remove);
  runPosted(play::ListCommand::Remove);
  ASSERT_TRUE(processUntil([this] { return window->rowCount() == 4; }));
  EXPECT_EQ(titles(), (std::vector<std::string>{"song1", "song2", "song4", "song5"}));

  // The menu is open on song4 when the next song starts: still song4.
  window->setCurrentRow(2);
  std::unique_ptr<QMenu> menu = window->makePopupMenu(QPoint(10, 500), true);
  app->list.remove(0);
  window->chooseMenuEntry(WindowCommand::Remove);
  runPosted(play::ListCommand::Remove);
  ASSERT_TRUE(processUntil([this] { return window->rowCount() == 2; }));
  EXPECT_EQ(titles(), (std::vector<std::string>{"song2", "song5"}));

  // A double click names its row the same way.
  const QModelIndex last = window->listView()->model()->index(1, 0);
  emit window->listView()->doubleClicked(last);
  // The post places the code and then its argument, both under the slot
  // lock; read without it, the argument is only settled once it has changed.
  const uint32_t chosen = app->list.row(1).id;
  EXPECT_TRUE(processUntil([this, chosen] {
    return app->run.commandSlot.load() == codeValue(play::ListCommand::PlayFromRow) &&
           app->run.commandArgument.load() == chosen;
  }));
  app->run.commandSlot.store(0);

  // "Clear List" clears the whole list.
  ASSERT_EQ(listMenuEntry("Clear List"), WindowCommand::ClearList);
  window->chooseMenuEntry(WindowCommand::ClearList);
  runPosted(play::ListCommand::ClearList);
  EXPECT_TRUE(processUntil([this] { return window->rowCount() == 0; }));
  EXPECT_TRUE(app->list.empty());
}

// A double click far down the list plays that row next: the rows above it
// go, and the list shows its top, where the chosen song now is.
TEST_F(MainWindowTest, ADoubleClickedRowIsShownAtTheTop) {
  for (int k = 0; k < 200; ++k)
    app->list.append(row("song" + std::to_string(k)));
  app->commandHandlers[codeValue(play::ListCommand::PlayFromRow)] = [a = app.get()](uint32_t argument) {
    play::commandPlayFromRow(*a, argument);
  };
  app->run.playerRunning = 1;
  makeWindow();
  window->resize(900, 640);
  QTreeView* view = window->listView();
  view->scrollToBottom();
  ASSERT_TRUE(processUntil([view] { return view->verticalScrollBar()->value() > 150; }));

  emit view->doubleClicked(view->model()->index(100, 0));
  ASSERT_TRUE(
      processUntil([this] { return app->run.commandSlot.load() == codeValue(play::ListCommand::PlayFromRow); }));
  runProcessor(*app);
  ASSERT_TRUE(processUntil([this] { return window->rowCount() == 100; }));
  EXPECT_TRUE(processUntil([view] { return view->verticalScrollBar()->value() == 0; }));
  EXPECT_EQ(window->cellText(0, play::Title), "song100");
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Start);
}

// Every window's command is there: its buttons and menu entries are enabled,
// and the media filler's entry starts the program again in filler mode in
// the program folder, as a second process beside this one.
TEST_F(MainWindowTest, EveryWindowsCommandIsThereAndTheFillerStartsAsASecondProgram) {
  test::TempDir program;
  app->folders.program = program.path();
  app->folders.data = program.path();
  // A stand-in program that notes its argument and its working folder.
  test::writeFile(program.file("plinka"),
                  "#!/bin/sh\necho \"$1\" > started.tmp\npwd -P >> started.tmp\nmv started.tmp started.txt\n");
  ASSERT_EQ(chmod(program.file("plinka").c_str(), 0755), 0);
  makeWindow();
  auto buttonEnabled = [this](WindowCommand command) {
    for (const QAction* action : window->toolbar()->actions())
      if (windowCommand(action->data().toUInt()) == command)
        return action->isEnabled();
    return true;
  };
  for (const WindowCommand command : {WindowCommand::Skip, WindowCommand::CurrentSongDetails, WindowCommand::Search,
                                      WindowCommand::Options, WindowCommand::Database})
    EXPECT_TRUE(buttonEnabled(command)) << codeValue(command);
  std::unique_ptr<QMenu> menu = window->makePopupMenu(QPoint(0, 0), false);
  bool fillerListed = false;
  for (const QAction* action : menu->actions()) {
    const std::string text = action->text().toStdString();
    fillerListed = fillerListed || text == "Open Plinka media filler";
    if (text == "Open Plinka media filler" || text == "About" || text == "Top Songs") {
      EXPECT_TRUE(action->isEnabled()) << text;
    }
  }
  EXPECT_TRUE(fillerListed);

  window->chooseMenuEntry(WindowCommand::OpenFiller);
  ASSERT_TRUE(processUntil([&] { return !test::readFile(program.file("started.txt")).empty(); }));
  const std::string folder = std::filesystem::canonical(program.path()).string();
  EXPECT_EQ(test::readFile(program.file("started.txt")), "/f\n" + folder + "\n");
  EXPECT_EQ(window->statusText(0).find("not available"), std::string::npos);
}

// A place stored on a screen since disconnected opens on the primary one.
TEST_F(MainWindowTest, APlaceNoScreenShowsOpensOnThePrimaryScreen) {
  WindowPlacement p{};
  p.length = sizeof p;
  p.showCommand = kShowNormal;
  p.left = 40000;
  p.top = 300;
  p.right = p.left + 500;
  p.bottom = p.top + 400;
  std::memcpy(&app->settings.windowPlacement, &p, sizeof p);
  makeWindow();
  window->applyPlacement();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_TRUE(processUntil([&] { return screen.intersects(window->geometry()); }));
  EXPECT_TRUE(screen.contains(window->geometry().center()));
}

// Full screen video: Escape leaves it for the state the window had before.
TEST_F(MainWindowTest, LeavingFullScreenVideoRestoresAMaximisedWindow) {
  makeWindow();
  window->showMaximized();
  ASSERT_TRUE(processUntil([this] { return window->isMaximized(); }));
  app->settings.fullMovie = 1;
  app->run.playerRunning.store(1);
  app->player.videoShowing.store(1);
  app->currentMediaType.store(library::kFirstVideoType);
  std::strcpy(app->details.currentSongFile, "/music/clip.avi");
  window->refreshNowPlaying();
  ASSERT_TRUE(processUntil([this] { return window->isFullScreen(); }));
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(window->nowPlayingView(), &escape);
  EXPECT_TRUE(processUntil([this] { return !window->isFullScreen() && window->isMaximized(); }));
  // It stays left for the rest of this song.
  window->refreshNowPlaying();
  EXPECT_FALSE(window->isFullScreen());
}

// Prompts and the keypad belong to the main window once it exists, so they
// stay above it and open over it.
TEST_F(MainWindowTest, DialogsBelongToTheMainWindow) {
  makeWindow();
  QWidget* parentSeen = nullptr;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      parentSeen = dialog->parentWidget();
      dialog->reject();
    }
  });
  poll.start(20);
  for (int kind = 0; kind < 2; ++kind) {
    SCOPED_TRACE(kind);
    parentSeen = nullptr;
    std::atomic<bool> answered{false};
    std::thread worker([&] {
      PromptRequest request;
      request.message = "Question";
      if (kind == 0)
        ui->prompt(request, nullptr);
      else
        ui->ratingKeypad();
      answered = true;
    });
    const bool done = processUntil([&] { return answered.load(); });
    worker.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(parentSeen, window.get());
  }
}

// The end of the run waits for the threads with the event loop running: a
// job that can only end once the GUI thread has done something still ends,
// and the window has gone and the settings are saved before it.
TEST_F(MainWindowTest, EndOfRunHidesSavesAndWaitsWithoutFreezing) {
  test::TempDir data;
  app->folders.program = data.path();
  app->folders.data = data.path();
  makeWindow();
  std::atomic<bool> guiRan{false};
  std::atomic<bool> savedFirst{false};
  std::atomic<bool> hiddenFirst{false};
  const std::string settingsFile = data.file(kSettingsFileName);
  ASSERT_TRUE(app->jobThreads.start([&] {
    while (!guiRan.load())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    savedFirst = std::ifstream(settingsFile).good();
  }));
  QMetaObject::invokeMethod(
      window.get(),
      [&] {
        hiddenFirst = !window->isVisible();
        guiRan = true;
      },
      Qt::QueuedConnection);
  window->runCommand(WindowCommand::EndRun, 0);
  EXPECT_TRUE(guiRan.load());
  EXPECT_TRUE(hiddenFirst.load());
  EXPECT_TRUE(savedFirst.load());
}

// The window as a person sees it while a song of the demo library plays.
TEST_F(MainWindowTest, ScreenshotsWhilePlaying) {
  app->folders.program = kResources;
  // The column widths of a new settings file; songs and a video as the
  // list builder writes their rows.
  const uint32_t firstRun[5] = {150, 150, 250, 60, 30};
  std::memcpy(app->settings.columnWidth, firstRun, sizeof firstRun);
  int track = 0;
  for (const char* title : {"Gull Song", "The Breakwater", "Paper Moon", "Kite String", "Attic Waltz"}) {
    play::ListRow r = row(title);
    r.column[play::Artist] = "Amber Coast";
    r.column[play::Album] = "Tidelines";
    r.column[play::FileName] =
        "/home/listener/Music/Amber Coast/Tidelines/0" + std::to_string(++track) + " " + title + ".wav";
    r.column[play::Type] = "Audio";
    app->list.append(r);
  }
  play::ListRow film = row("Live at the Pier");
  film.column[play::Artist] = "Amber Coast";
  film.column[play::Album] = "Live";
  film.column[play::FileName] = "/home/listener/Videos/Amber Coast/Live at the Pier.mkv";
  film.column[play::Type] = "Video";
  app->list.insert(2, film);
  std::strcpy(app->details.current.title, "Salt on the Sill");
  std::strcpy(app->details.current.artist, "Amber Coast");
  std::strcpy(app->details.current.album, "Tidelines");
  std::strcpy(app->details.current.comment, "Synthesised for the demo library");
  std::strcpy(app->details.currentSongFile, "/home/listener/Music/Amber Coast/Tidelines/02 Salt on the Sill.wav");
  for (uint32_t k = 0; k < 10; ++k)
    app->settings.ratingValue[k] = 100 * (k + 1);
  app->details.currentSongScore = 750;  // seven icons
  app->settings.coverChoice = 1;
  ASSERT_TRUE(platform::loadPicture(kResources + "Cover.jpg", app->cover.picture));
  app->cover.ready.store(1);
  app->run.playerRunning.store(1);
  app->player.seekBar.store(350);
  makeWindow();
  ASSERT_TRUE(window->loadToolbarPictures());
  window->setPlaying(true);
  window->refreshSeekBar();
  StatusTexts texts;
  texts.part[0] = "Plinka Playing";
  texts.part[1] = "5 songs prepared";
  texts.part[2] = "36 entries";
  texts.part[3] = "User One";
  window->applyStatus(texts);
  window->show();

  window->resize(1000, 800);
  ASSERT_TRUE(processUntil([this] { return window->width() == 1000; }));
  saveScreenshot(*window, "main_window_1000x800.png");
  // The paths fitted, as a double click on the divider after them does.
  window->listView()->resizeColumnToContents(play::FileName);
  saveScreenshot(*window, "main_window_1000x800_paths_fitted.png");
  window->listView()->setColumnWidth(play::FileName, static_cast<int>(firstRun[play::FileName]));
  window->resize(400, 300);
  ASSERT_TRUE(processUntil([this] { return window->width() == 400; }));
  saveScreenshot(*window, "main_window_400x300.png");

  window->resize(1000, 800);
  std::unique_ptr<QMenu> menu = window->makePopupMenu(QPoint(700, 200), false);
  menu->popup(window->mapToGlobal(QPoint(700, 200)));
  ASSERT_TRUE(processUntil([&menu] { return menu->isVisible(); }));
  saveScreenshot(*menu, "popup_menu.png");
  menu->close();
}

}  // namespace
}  // namespace plinka::gui
