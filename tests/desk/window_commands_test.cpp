// The main window's commands: player requests, the end of the run, offline
// and building switches, picture choices, listener choices, the windows they
// open, the seek bar, the tray tip and clicks on the picture area.
#include "core/current_state.h"
#include "window_fixture.h"

#include "app/scheduler.h"
#include "app/settings_file.h"
#include "desk/window_commands.h"
#include "play/list_commands.h"
#include "play/player.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace plinka::test {
namespace {

using play::PlayerRequest;

class WindowCommandsTest : public WindowTest {};

TEST_F(WindowCommandsTest, PlayerButtonsDependOnWhetherThePlayerRuns) {
  struct Case {
    const char* name;
    WindowCommand command;
    uint32_t running;
    size_t rows;
    uint32_t buildBefore;
    uint32_t autoMini;
    PlayerRequest request;  // player request afterwards
    uint32_t buildAfter;    // buildState afterwards
    bool minimise;
    bool playing;  // the play button shows the pause picture
  };
  const Case cases[] = {
      {"skip while stopped does nothing", WindowCommand::Skip, 0, 3, 0, 0, PlayerRequest::None, 0, false, false},
      {"skip while playing", WindowCommand::Skip, 1, 3, 0, 0, PlayerRequest::Skip, 0, false, false},
      {"play while playing pauses", WindowCommand::PlayPause, 1, 3, 0, 1, PlayerRequest::Pause, 0, false, false},
      {"play on an empty list wants a list", WindowCommand::PlayPause, 0, 0, 0, 0, PlayerRequest::Start, kBuildWanted,
       false, true},
      {"play with songs listed starts", WindowCommand::PlayPause, 0, 3, 0, 1, PlayerRequest::Start, 0, true, true},
      {"play while building leaves the build", WindowCommand::PlayPause, 0, 0, 5, 0, PlayerRequest::Start, 5, false,
       true},
      {"play at the first offline tick stays offline", WindowCommand::PlayPause, 0, 0, 1000, 0, PlayerRequest::Start,
       1000, false, true},
      {"play later offline wants a list", WindowCommand::PlayPause, 0, 0, 1001, 0, PlayerRequest::Start, kBuildWanted,
       false, true},
      {"last song again resets the stall count", WindowCommand::LastSong, 1, 3, 0, 0, PlayerRequest::LastSong, 0, false,
       false},
      {"the F key's last song", WindowCommand::LastSongKey, 0, 3, 0, 0, PlayerRequest::LastSong, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUi front;
    App fresh;
    fresh.ui = &front;
    fresh.run.playerRunning = c.running;
    fresh.run.buildState = c.buildBefore;
    fresh.settings.autoMini = c.autoMini;
    fresh.player.stallCount = 7;
    for (size_t k = 0; k < c.rows; ++k)
      fresh.list.append(play::ListRow{});
    const WindowEffects effects = runWindowCommand(fresh, c.command, 0);
    EXPECT_EQ(fresh.run.playerRequest.load(), c.request);
    EXPECT_EQ(fresh.run.buildState.load(), c.buildAfter);
    EXPECT_EQ(effects.minimise, c.minimise);
    EXPECT_EQ(effects.playing, c.playing);
    if (c.command == WindowCommand::LastSong) {
      EXPECT_EQ(fresh.player.stallCount.load(), 0u);
    }
  }
}

// A playback that opens every file and stays at position 0.
class OpenAllPlayback : public platform::PlaybackService {
public:
  bool open(const char* path) override {
    std::lock_guard lock(mutex);
    opened.push_back(path);
    open_ = true;
    return true;
  }
  void play() override {}
  void playFrom(uint32_t) override {}
  uint32_t position() override { return 0; }
  uint32_t length() override { return 100000; }
  void close() override {
    std::lock_guard lock(mutex);
    open_ = false;
  }
  bool isOpen() const override {
    std::lock_guard lock(mutex);
    return open_;
  }
  void setVideoTarget(const platform::VideoTarget&) override {}
  void setFullScreen(bool) override {}

  std::vector<std::string> openedFiles() {
    std::lock_guard lock(mutex);
    return opened;
  }

  mutable std::mutex mutex;
  std::vector<std::string> opened;

private:
  bool open_ = false;
};

TEST_F(WindowCommandsTest, PlayStartsTheTopSongOnThePlayerThread) {
  makeSongs({"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"});
  auto owned = std::make_unique<OpenAllPlayback>();
  OpenAllPlayback* playback = owned.get();
  app->player.playback = std::move(owned);
  listFile("/music/a.mp3");
  listFile("/music/b.mp3");
  listFile("/music/c.mp3");
  startHeartbeat(*app);
  startPlayer(*app);

  runWindowCommand(*app, WindowCommand::PlayPause, 0);
  ASSERT_TRUE(eventually([&] { return !playback->openedFiles().empty(); }));
  EXPECT_EQ(playback->openedFiles().front(), "/music/a.mp3");
  ASSERT_TRUE(eventually([&] { return app->run.playerRunning.load() == 1; }));
  // The start takes the top row out once the song is open.
  EXPECT_TRUE(eventually([&] { return listedFiles() == std::vector<std::string>{"/music/b.mp3", "/music/c.mp3"}; }));

  // Play again pauses the song the thread started (the player stops running,
  // then keeps the position it paused at).
  runWindowCommand(*app, WindowCommand::PlayPause, 0);
  ASSERT_TRUE(eventually([&] { return app->run.playerRunning.load() == 0; }));
  EXPECT_TRUE(eventually([&] { return app->player.pausePosition.load() != 0; }));
}

TEST_F(WindowCommandsTest, TrayExitDependsOnWhereTheQuitIs) {
  struct Case {
    const char* name;
    uint32_t slot;
    uint32_t busy;
    uint32_t slotAfter;
    uint32_t busyAfter;
    uint32_t stopRequest;
  };
  const Case cases[] = {
      {"first exit asks to quit", 0, 0, kQuitCode, 0, 0},
      {"exit replaces a pending command", 14, 0, kQuitCode, 0, 0},
      {"exit while a job holds the list frees it", kQuitCode, 34, kQuitCode, 0, 1},
      {"exit while quitting with nothing busy", kQuitCode, 0, kQuitCode, 0, 0},
      {"exit while leaving ends the run", kLeavingCode, 0, kEndedCode, 0, 0},
      {"exit after the end changes nothing", kEndedCode, 0, kEndedCode, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUi front;
    App fresh;
    fresh.ui = &front;
    fresh.run.commandSlot = c.slot;
    fresh.run.busyCode = c.busy;
    runWindowCommand(fresh, WindowCommand::Exit, 0);
    EXPECT_EQ(fresh.run.commandSlot.load(), c.slotAfter);
    EXPECT_EQ(fresh.run.busyCode.load(), c.busyAfter);
    EXPECT_EQ(fresh.run.stopRequest.load(), c.stopRequest);
    EXPECT_FALSE(front.statuses.empty()) << "the status is refreshed";
    EXPECT_TRUE(front.commandsPosted().empty());
  }
}

TEST_F(WindowCommandsTest, QuitWithoutSavingKeepsTheListFileThoughTheListChangesAfterwards) {
  writeFile(dir.file("PL1.m3u"), "/music/kept.mp3\r\n");
  listFile("/music/a.mp3");
  runWindowCommand(*app, WindowCommand::QuitWithoutSaving, 0);
  ASSERT_TRUE(eventually([&] { return app->run.commandSlot.load() == kQuitCode; }));
  ASSERT_FALSE(ui.statuses.empty());
  EXPECT_EQ(ui.statuses.back().part[0], "Plinka Quiting");
  // The player takes the next song off the list before the run ends.
  app->list.remove(0);
  listFile("/music/b.mp3");
  ASSERT_TRUE(saveSettings(*app));
  EXPECT_EQ(readFile(dir.file("PL1.m3u")), "/music/kept.mp3\r\n");
}

TEST_F(WindowCommandsTest, AQuitNeverKeepsTheWindowWhileTheSlotLockIsHeld) {
  // Another thread holds the slot lock: the command returns at once and the
  // quit lands once the lock is free.
  for (const WindowCommand command : {WindowCommand::QuitWithoutSaving, WindowCommand::Exit}) {
    SCOPED_TRACE(codeValue(command));
    FakeUi front;
    App fresh;
    fresh.ui = &front;
    fresh.run.slotLock = 1;
    runWindowCommand(fresh, command, 0);
    EXPECT_EQ(fresh.run.commandSlot.load(), 0u);
    fresh.run.slotLock.exchange(0);
    EXPECT_TRUE(eventually([&] { return fresh.run.commandSlot.load() == kQuitCode; }));
  }
}

TEST_F(WindowCommandsTest, OfflineSwitchesToggle) {
  struct Case {
    WindowCommand command;
    uint32_t before;
    uint32_t after;
  };
  const Case cases[] = {
      {WindowCommand::LockOffline, 0, kOfflineLocked}, {WindowCommand::LockOffline, 1200, kOfflineLocked},
      {WindowCommand::LockOffline, kOfflineLocked, 0}, {WindowCommand::SetOffline, 0, kOfflineFirst},
      {WindowCommand::SetOffline, 999, kOfflineFirst}, {WindowCommand::SetOffline, kOfflineFirst, 0},
      {WindowCommand::SetOffline, kOfflineLast, 0},    {WindowCommand::SetOffline, kOfflineLocked, 0},
      {WindowCommand::BuildNow, 0, kBuildWanted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(codeValue(c.command)) + " from " + std::to_string(c.before));
    app->run.buildState = c.before;
    const size_t refreshes = ui.statuses.size();
    runWindowCommand(*app, c.command, 0);
    EXPECT_EQ(app->run.buildState.load(), c.after);
    if (c.command != WindowCommand::BuildNow) {
      ASSERT_EQ(ui.statuses.size(), refreshes + 1);
      EXPECT_EQ(ui.statuses.back().part[2] == "DB Offline", c.after >= kOfflineFirst);
    }
  }
}

TEST_F(WindowCommandsTest, FlagCommandsToggle) {
  runWindowCommand(*app, WindowCommand::TestFunctions, 0);
  EXPECT_EQ(app->run.diagnostics.load(), 1u);
  runWindowCommand(*app, WindowCommand::TestFunctions, 0);
  EXPECT_EQ(app->run.diagnostics.load(), 0u);

  app->settings.onTop = 0;
  EXPECT_TRUE(runWindowCommand(*app, WindowCommand::OnTop, 0).applyOnTop);
  EXPECT_EQ(app->settings.onTop, 1u);
  runWindowCommand(*app, WindowCommand::OnTop, 0);
  EXPECT_EQ(app->settings.onTop, 0u);

  runWindowCommand(*app, WindowCommand::StopBuilding, 0);
  EXPECT_EQ(app->run.stopRequest.load(), 1u);

  const WindowEffects end = runWindowCommand(*app, WindowCommand::EndRun, 0);
  EXPECT_TRUE(end.endRun);
  EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::Stop);
}

TEST_F(WindowCommandsTest, PictureChoicesGoToTheAreaTheMenuWasOpenedOn) {
  struct Case {
    const char* name;
    PictureArea area;
    uint32_t coverBefore, linksBefore;
    WindowCommand command;
    uint32_t coverAfter, linksAfter;
  };
  const Case cases[] = {
      {"disc above", PictureArea::Upper, 1, 0, WindowCommand::Disc, 2, 0},
      {"a list above", PictureArea::Upper, 1, 0, WindowCommand::QuickLinkFirst + 1, 11, 0},
      {"disc above while a list shows below", PictureArea::Upper, 1, 11, WindowCommand::Disc, 2, 11},
      {"cover above while a list shows below", PictureArea::Upper, 2, 13, WindowCommand::Cover, 1, 13},
      {"a list below", PictureArea::Lower, 2, 0, WindowCommand::QuickLinkFirst + 2, 2, 12},
      {"a list below sends the one above back to the cover", PictureArea::Lower, 11, 0, WindowCommand::QuickLinkFirst,
       1, 10},
      {"another list below", PictureArea::Lower, 1, 10, WindowCommand::QuickLinkFirst + 3, 1, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->mainWindow.pictureArea = c.area;
    app->settings.coverChoice = c.coverBefore;
    app->settings.quickLinkChoice = c.linksBefore;
    app->cover.ready = 1;
    app->quickLinks.ready = 1;
    EXPECT_TRUE(runWindowCommand(*app, c.command, 0).repaint);
    EXPECT_EQ(app->settings.coverChoice, c.coverAfter);
    EXPECT_EQ(+app->settings.quickLinkChoice, c.linksAfter);
    EXPECT_EQ(app->cover.ready.load(), 0u) << "the picture is loaded again";
    EXPECT_EQ(app->quickLinks.ready.load(), 0u) << "the lists are built again";
  }

  app->cover.ready = 1;
  app->quickLinks.ready = 1;
  EXPECT_TRUE(runWindowCommand(*app, WindowCommand::Nothing, 0).repaint);
  EXPECT_EQ(+app->settings.quickLinkChoice, 0u);
  EXPECT_EQ(app->cover.ready.load(), 0u);
  EXPECT_EQ(app->quickLinks.ready.load(), 0u);
}

TEST_F(WindowCommandsTest, UserAndModeChoicesChangeOnlyTheCurrentState) {
  app->settings.currentState = 4;
  runWindowCommand(*app, WindowCommand::UserBase + 3, 0);
  EXPECT_EQ(+app->settings.stateUser[4], 3u);
  EXPECT_EQ(ui.statuses.back().part[3], "User Four");
  runWindowCommand(*app, WindowCommand::ModeBase + 4, 0);
  EXPECT_EQ(+app->settings.stateAltMode[4], 4u);
  EXPECT_EQ(ui.statuses.back().part[3], "User Four, Triple Mode");
  for (int state = 0; state < kStateCount; ++state) {
    if (state != 4) {
      EXPECT_EQ(+app->settings.stateUser[state], 0u);
      EXPECT_EQ(+app->settings.stateAltMode[state], 0u);
    }
  }

  // Ids past the ten users and the modes the keys reach choose nothing.
  runWindowCommand(*app, WindowCommand::UserLast, 0);
  runWindowCommand(*app, WindowCommand::ModeLast, 0);
  EXPECT_EQ(+app->settings.stateUser[4], 3u);
  EXPECT_EQ(+app->settings.stateAltMode[4], 4u);
}

TEST_F(WindowCommandsTest, ListCommandsArePostedFromAJobThread) {
  // The row commands carry the chosen row's id (the parameter); "Clear List"
  // asks for the whole list.
  constexpr uint32_t kRowId = 77;
  struct Case {
    WindowCommand command;
    play::ListCommand code;
    uint32_t argument;
  };
  const Case cases[] = {{WindowCommand::ClearList, play::ListCommand::ClearList, play::kClearWholeList},
                        {WindowCommand::ListDetails, play::ListCommand::Details, kRowId},
                        {WindowCommand::PlayNext, play::ListCommand::PlayNext, kRowId},
                        {WindowCommand::Remove, play::ListCommand::Remove, kRowId},
                        {WindowCommand::SaveAsPlaylist, play::ListCommand::SaveAsPlaylist, 0},
                        {WindowCommand::PlayNow, play::ListCommand::PlayNow, kRowId}};
  for (const Case& c : cases) {
    SCOPED_TRACE(codeValue(c.command));
    app->run.commandSlot = 0;
    runWindowCommand(*app, c.command, kRowId);
    // The poster stores the argument after the code, under the slot lock
    // that every taker holds; read without that lock, both are awaited.
    EXPECT_TRUE(eventually([&] { return app->run.commandSlot.load() == codeValue(c.code); }));
    EXPECT_TRUE(eventually([&] { return app->run.commandArgument.load() == c.argument; }))
        << "argument " << app->run.commandArgument.load();
  }

  // The list's "Details" is not posted while the Song details window is open.
  app->run.commandSlot = 0;
  app->mainWindow.detailsPendingAction = 2;
  runWindowCommand(*app, WindowCommand::ListDetails, 0);
  finishJobs();
  EXPECT_EQ(app->run.commandSlot.load(), 0u);
}

TEST_F(WindowCommandsTest, RateButtonUsesTheKeypadOnlyWhenItCan) {
  app->details.currentSongRecord = 17;

  // A rating is posted with the keypad's answer.
  ui.keypadAnswers = {kKeypadRating + 7};
  runWindowCommand(*app, WindowCommand::Rate, 0);
  finishJobs();
  EXPECT_EQ(app->run.commandSlot.load(), codeValue(play::ListCommand::Rate));
  EXPECT_EQ(app->run.commandArgument.load(), kKeypadRating + 7);

  // Nothing while the slot holds a request.
  runWindowCommand(*app, WindowCommand::Rate, 0);
  finishJobs();
  EXPECT_EQ(ui.keypadsShown, 1);

  // Cancel posts nothing.
  app->run.commandSlot = 0;
  ui.keypadAnswers = {kPromptSecond};
  runWindowCommand(*app, WindowCommand::Rate, 0);
  finishJobs();
  EXPECT_EQ(ui.keypadsShown, 2);
  EXPECT_EQ(app->run.commandSlot.load(), 0u);
  EXPECT_EQ(app->prompts.dialogOpen.load(), 0u);

  // Offline: word of it, and the help on the second button.
  app->run.buildState = kOfflineFirst;
  ui.promptAnswers = {kPromptSecond};
  runWindowCommand(*app, WindowCommand::Rate, 0);
  finishJobs();
  ASSERT_EQ(ui.prompts.size(), 1u);
  EXPECT_EQ(ui.prompts[0].message, "Database is currently Offline.");
  EXPECT_EQ(ui.prompts[0].firstCaption, "OK");
  EXPECT_EQ(ui.prompts[0].secondCaption, "View ReadMe");
  EXPECT_EQ(ui.prompts[0].style, PromptStyle::SmallQuestion);
  EXPECT_EQ(ui.helpOpened, 1);
  EXPECT_EQ(ui.keypadsShown, 2);

  // A State that follows a pattern of users edits the song in its window.
  setStateAltMode(*app, app->settings.currentState, 2);
  runWindowCommand(*app, WindowCommand::Rate, 0);
  finishJobs();
  ASSERT_EQ(ui.windowsOpened.size(), 1u);
  EXPECT_EQ(ui.windowsOpened[0].window, WindowKind::SongDetails);
  EXPECT_EQ(ui.windowsOpened[0].argument, 17u);
  EXPECT_EQ(ui.keypadsShown, 2);
}

TEST_F(WindowCommandsTest, SearchWindowOpensInItsModeWithTheArtist) {
  std::snprintf(app->details.current.artist, sizeof app->details.current.artist, "%s", "Now Artist");
  listFile("/music/a.mp3", "Row Artist A");
  listFile("/music/b.mp3", "Row Artist B");
  const uint32_t rowB = app->list.row(1).id;
  struct Case {
    WindowCommand command;
    uint32_t mode;
    const char* artist;
  };
  const Case cases[] = {{WindowCommand::Search, kSearchNormal, ""},
                        {WindowCommand::TopSongs, kSearchTopSongs, ""},
                        {WindowCommand::SongsByArtist, kSearchByArtist, "Now Artist"},
                        {WindowCommand::ListSongsByArtist, kSearchByArtist, "Row Artist B"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(codeValue(c.command));
    ui.windowsOpened.clear();
    app->mainWindow.searchInput = "old";
    runWindowCommand(*app, c.command, rowB);
    ASSERT_EQ(ui.windowsOpened.size(), 1u);
    EXPECT_EQ(ui.windowsOpened[0].window, WindowKind::Search);
    EXPECT_EQ(ui.windowsOpened[0].argument, c.mode);
    EXPECT_EQ(app->prompts.result.load(), c.mode);
    EXPECT_EQ(app->mainWindow.searchInput, c.artist);
  }

  // Only one search window: a second open leaves the mode and the search
  // text of the open one alone (the front end brings it forward).
  ui.windowsOpened.clear();
  app->mainWindow.searchWindowRunning = 1;
  app->prompts.result = kSearchByArtist;
  runWindowCommand(*app, WindowCommand::TopSongs, 0);
  EXPECT_EQ(app->prompts.result.load(), kSearchByArtist);
  EXPECT_EQ(app->mainWindow.searchInput, "Row Artist B");
  ASSERT_EQ(ui.windowsOpened.size(), 1u);
  EXPECT_EQ(ui.windowsOpened[0].window, WindowKind::Search);
}

TEST_F(WindowCommandsTest, WindowsOpenOnceAndDetailsShowTheirSong) {
  app->details.currentSongRecord = 5;
  runWindowCommand(*app, WindowCommand::CurrentSongDetails, 0);
  runWindowCommand(*app, WindowCommand::SongDetailsOf, 9);
  runWindowCommand(*app, WindowCommand::Options, 0);
  runWindowCommand(*app, WindowCommand::About, 0);
  runWindowCommand(*app, WindowCommand::Database, 0);
  app->mainWindow.aboutOpen = 1;
  app->mainWindow.databaseOpen = 1;
  runWindowCommand(*app, WindowCommand::About, 0);
  runWindowCommand(*app, WindowCommand::Database, 0);
  runWindowCommand(*app, WindowCommand::Help, 0);

  std::vector<std::pair<WindowKind, uint32_t>> opened;
  for (const auto& w : ui.windowsOpened)
    opened.emplace_back(w.window, w.argument);
  EXPECT_EQ(opened, (std::vector<std::pair<WindowKind, uint32_t>>{{WindowKind::SongDetails, 5},
                                                                  {WindowKind::SongDetails, 9},
                                                                  {WindowKind::Options, 0},
                                                                  {WindowKind::About, 0},
                                                                  {WindowKind::Database, 0}}));
  EXPECT_EQ(ui.helpOpened, 1);
}

TEST_F(WindowCommandsTest, FillerStartsAsASecondProgramInTheProgramFolder) {
  // A stand-in program that notes its argument and its working folder.
  const std::string program = dir.file("plinka");
  writeFile(program, "#!/bin/sh\necho \"$1\" > started.tmp\npwd -P >> started.tmp\nmv started.tmp started.txt\n");
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  runWindowCommand(*app, WindowCommand::OpenFiller, 0);
  ASSERT_TRUE(eventually([&] { return readFile(dir.file("started.txt")).size() > 0; }));
  const std::string folder = std::filesystem::canonical(dir.path()).string();
  EXPECT_EQ(readFile(dir.file("started.txt")), "/f\n" + folder + "\n");
}

TEST_F(WindowCommandsTest, SeekBarAsksForAPositionOnlyWhenNothingIsPending) {
  struct Case {
    const char* name;
    uint32_t end;
    uint32_t bar;
    PlayerRequest pendingRequest;
    uint32_t pendingSeek;
    PlayerRequest request;
    uint32_t position;
  };
  const Case cases[] = {
      {"half way", 200000, 500, PlayerRequest::None, 0, PlayerRequest::Seek, 100000},
      {"a song over 71 minutes", 6000000, 900, PlayerRequest::None, 0, PlayerRequest::Seek, 5400000},
      {"a bar past its end counts as the end", 200000, 5000, PlayerRequest::None, 0, PlayerRequest::Seek, 200000},
      {"a request is pending", 200000, 500, PlayerRequest::Skip, 0, PlayerRequest::Skip, 0},
      {"a seek is pending", 200000, 500, PlayerRequest::None, 3000, PlayerRequest::None, 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    App fresh;
    fresh.player.endPosition = c.end;
    fresh.run.playerRequest = c.pendingRequest;
    fresh.player.seekPosition = c.pendingSeek;
    seekFromBar(fresh, c.bar);
    EXPECT_EQ(fresh.run.playerRequest.load(), c.request);
    EXPECT_EQ(fresh.player.seekPosition.load(), c.position);
  }
}

TEST_F(WindowCommandsTest, TrayTipShowsTheSongWhilePlaying) {
  EXPECT_EQ(trayTip(*app), "Plinka 1.4");
  std::snprintf(app->details.current.title, sizeof app->details.current.title, "%s", "A Song");
  EXPECT_EQ(trayTip(*app), "Plinka 1.4");
  app->run.playerRunning = 1;
  EXPECT_EQ(trayTip(*app), "A Song");

  const std::string longTitle(300, 'x');
  std::snprintf(app->details.current.title, sizeof app->details.current.title, "%s", longTitle.c_str());
  EXPECT_EQ(trayTip(*app), std::string(127, 'x'));
  // A two-byte letter across the cut is left out whole.
  const std::string across = std::string(126, 'x') + "\xC3\xA9" + "yz";
  std::snprintf(app->details.current.title, sizeof app->details.current.title, "%s", across.c_str());
  EXPECT_EQ(trayTip(*app), std::string(126, 'x'));
}

TEST_F(WindowCommandsTest, PictureClickSwitchesBetweenCoverAndDisc) {
  struct Case {
    const char* name;
    int x;
    uint32_t width;
    uint32_t choice;
    uint32_t coverFound, discFound;
    uint32_t choiceAfter;
  };
  const Case cases[] = {
      {"cover to disc", 600, 800, 1, 1, 1, 2},
      {"disc to cover", 600, 800, 2, 1, 1, 1},
      {"no disc to switch to", 600, 800, 1, 1, 0, 1},
      {"no cover to switch back to", 600, 800, 2, 0, 1, 2},
      {"left half", 300, 800, 1, 1, 1, 1},
      {"narrow window", 300, 400, 1, 1, 1, 1},
      {"a list is shown", 600, 800, 11, 1, 1, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app->settings.coverChoice = c.choice;
    app->cover.coverFound = c.coverFound;
    app->cover.discFound = c.discFound;
    app->cover.ready = 1;
    const bool switched = c.choiceAfter != c.choice;
    EXPECT_EQ(pictureClick(*app, c.x, 100, c.width, 800), switched);
    EXPECT_EQ(app->settings.coverChoice, c.choiceAfter);
    EXPECT_EQ(app->cover.ready.load(), switched ? 0u : 1u);
    EXPECT_EQ(app->run.playerRequest.load(), play::PlayerRequest::None) << "no quick-link rows to play yet";
  }
}

}  // namespace
}  // namespace plinka::test
