#include "desk/window_commands.h"

#include "app/app.h"
#include "core/current_state.h"
#include "core/job_post.h"
#include "core/prompt.h"
#include "desk/quick_link_rows.h"
#include "desk/quit_requests.h"
#include "desk/state_switch.h"
#include "desk/status_texts.h"
#include "library/cover_art.h"
#include "library/edit_queue.h"
#include "platform/process.h"
#include "play/list_commands.h"
#include "play/player.h"
#include "play/quick_links.h"
#include "text/text.h"

#include <cstring>
#include <mutex>

namespace plinka {

namespace {

// The filler is this program started again with this argument.
constexpr char kProgramFile[] = "plinka";
constexpr char kFillerArgument[] = "/f";
// Rating keypad answers that rate or delete the song.
constexpr uint32_t kKeypadLast = 1249;
// Longest artist text handed to the search window, in bytes.
constexpr size_t kSearchInputMax = 599;

// Cuts a text to at most max bytes without leaving a broken UTF-8 sequence
// at the end.
std::string cutText(std::string text, size_t max) {
  text.resize(text::utf8Fit(text.data(), text.size(), max));
  return text;
}

// Posts a code to the command slot with the window's patience, from a job
// thread, so the GUI thread never waits for the slot.
void postFromJob(App& app, play::ListCommand code, uint32_t argument) {
  postFromJobThread(app, code, argument, kWindowPostPatience);
}

void openWindow(App& app, WindowKind window, uint32_t argument) {
  if (app.ui)
    app.ui->openWindow(window, argument);
}

// The search window. The mode travels in the prompt result, the artist in
// the search input. When it is open already, both stay as they are and the
// front end brings the open window forward.
void openSearch(App& app, uint32_t mode, const std::string& artist) {
  if (app.mainWindow.searchWindowRunning.load() != 0) {
    openWindow(app, WindowKind::Search, mode);
    return;
  }
  app.prompts.result.store(mode);
  app.mainWindow.searchInput = cutText(artist, kSearchInputMax);
  openWindow(app, WindowKind::Search, mode);
}

// Command 6: the details of the current song in a State that follows a
// pattern of users, else the keypad (whose answer the list command rates
// with), else word that the database is offline.
void rateCurrentSong(App& app) {
  if (app.run.commandSlot.load() != 0)
    return;
  if (currentAltMode(app) != 0) {
    openWindow(app, WindowKind::SongDetails, static_cast<uint32_t>(app.details.currentSongRecord));
    return;
  }
  App* running = &app;
  if (app.run.buildState.load() < kOfflineFirst) {
    app.jobThreads.start([running] {
      const uint32_t answer = askRatingKeypad(*running);
      if (answer >= kKeypadRating && answer <= kKeypadLast)
        post(*running, play::ListCommand::Rate, answer, kWindowPostPatience);
    });
    return;
  }
  app.jobThreads.start([running] {
    PromptRequest request;
    request.message = kOfflineText;
    request.firstCaption = kOfflineOk;
    request.secondCaption = kOfflineHelp;
    request.style = PromptStyle::SmallQuestion;
    if (askPrompt(*running, request) == kPromptSecond && running->ui)
      running->ui->openHelp();
  });
}

void playOrPause(App& app, WindowEffects& effects) {
  RunState& run = app.run;
  if (run.playerRunning.load() != 0) {
    run.playerRequest.store(play::PlayerRequest::Pause);
    return;
  }
  const uint32_t build = run.buildState.load();
  if (app.list.empty() && (build == kBuildIdle || build > kOfflineFirst))
    run.buildState.store(kBuildWanted);
  // The player thread takes the request, starts the top song and sets the
  // running flag itself.
  run.playerRequest.store(play::PlayerRequest::Start);
  effects.minimise = app.settings.autoMini != 0;
  effects.playing = true;
}

// Picture menu choices: a picture or a quick-link list for the area the menu
// was opened on.
void choosePicture(App& app, uint32_t value, WindowEffects& effects) {
  const SettingsRecord& s = app.settings;
  if (app.mainWindow.pictureArea == PictureArea::Lower)
    setPictureSetting(app, PictureSetting::QuickLinkChoice, value);
  else
    setPictureSetting(app, PictureSetting::CoverChoice, value);
  // One quick-link list at a time: while the lower area shows one, the upper
  // area goes back to the cover. A picture chosen for it (cover or disc)
  // stays.
  if (s.quickLinkChoice != 0 && s.coverChoice >= library::kCoverChoiceQuickLinks)
    setPictureSetting(app, PictureSetting::CoverChoice, library::kCoverChoiceCover);
  play::markQuickLinksOutOfDate(app);
  app.cover.ready.store(0);
  effects.repaint = true;
  // A newly chosen list is built at once, off the GUI thread.
  play::askForQuickLinks(app);
}

void chooseUser(App& app, uint32_t user) {
  if (user >= static_cast<uint32_t>(kUserCount))
    return;
  setStateUser(app, currentStateIndex(app), user);
  refreshStatus(app);
}

void chooseAltMode(App& app, uint32_t mode) {
  if (mode > static_cast<uint32_t>(kAltModeCount))
    return;
  setStateAltMode(app, currentStateIndex(app), mode);
  refreshStatus(app);
}

void chooseState(App& app, uint32_t state) {
  if (state >= static_cast<uint32_t>(kStateCount))
    return;
  requestStateSwitch(app, state);
}

// Plays the song of the quick-link row drawn at height y in `area`, when a
// row of list `list` is drawn there.
void playQuickLinkRow(App& app, QuickLinkArea area, uint32_t list, int y, uint32_t width, uint32_t height) {
  play::QuickLinkList shown;
  if (!play::copyQuickLinks(app, list, shown))
    return;
  const int row = quickLinkRowAt(quickLinkPlace(area, width, height), height, shown.records.size(), y);
  if (row < 0)
    return;
  const auto at = static_cast<size_t>(row);
  if (at >= shown.files.size() || shown.files[at].empty())
    return;
  {
    std::lock_guard lock(app.details.playNowMutex);
    app.details.playNowFile = shown.files[at];
  }
  app.details.playNowRecord.store(shown.records[at]);
  app.playNowFlag.store(1);
  app.run.playerRequest.store(play::PlayerRequest::Start);
}

}  // namespace

WindowEffects runWindowCommand(App& app, WindowCommand id, uint32_t parameter) {
  WindowEffects effects;
  RunState& run = app.run;
  SettingsRecord& s = app.settings;
  MainWindowState& window = app.mainWindow;

  if (id >= WindowCommand::PictureFirst && id <= WindowCommand::PictureLast) {
    choosePicture(app, id - WindowCommand::PictureBase, effects);
    return effects;
  }
  if (id >= WindowCommand::UserBase && id <= WindowCommand::UserLast) {
    chooseUser(app, id - WindowCommand::UserBase);
    return effects;
  }
  if (id >= WindowCommand::ModeBase && id <= WindowCommand::ModeLast) {
    chooseAltMode(app, id - WindowCommand::ModeBase);
    return effects;
  }
  if (id >= WindowCommand::StateBase && id <= WindowCommand::StateLast) {
    chooseState(app, id - WindowCommand::StateBase);
    return effects;
  }

  switch (id) {
  case WindowCommand::PlayPause:
    playOrPause(app, effects);
    break;
  case WindowCommand::Stop:
    run.playerRequest.store(play::PlayerRequest::Stop);
    break;
  case WindowCommand::Restart:
    run.playerRequest.store(play::PlayerRequest::Restart);
    break;
  case WindowCommand::LastSong:
    app.player.stallCount.store(0);
    run.playerRequest.store(play::PlayerRequest::LastSong);
    break;
  case WindowCommand::Skip:
    if (run.playerRunning.load() != 0)
      run.playerRequest.store(play::PlayerRequest::Skip);
    break;
  case WindowCommand::Rate:
    rateCurrentSong(app);
    break;
  case WindowCommand::Search:
    openSearch(app, kSearchNormal, std::string());
    break;
  case WindowCommand::Database:
    if (window.databaseOpen == 0)
      openWindow(app, WindowKind::Database, parameter);
    break;
  case WindowCommand::Options:
    openWindow(app, WindowKind::Options, 0);
    break;
  case WindowCommand::Help:
    if (app.ui)
      app.ui->openHelp();
    break;
  case WindowCommand::WriteCachedEdits:
    if (app.editQueue.writerRunning.load() == 0 && run.buildState.load() < kOfflineFirst)
      library::startCacheWriter(app);
    break;
  case WindowCommand::Maximise:
    effects.maximise = true;
    break;
  case WindowCommand::About:
    if (window.aboutOpen == 0)
      openWindow(app, WindowKind::About, 0);
    break;
  case WindowCommand::OnTop:
    s.onTop = s.onTop != 0 ? 0 : 1;
    effects.applyOnTop = true;
    break;
  case WindowCommand::Exit:
    requestExit(app);
    break;
  case WindowCommand::ClearList:
    postFromJob(app, play::ListCommand::ClearList, play::kClearWholeList);
    break;
  // The list's row commands: the parameter is the id of the row the user
  // chose, which the list command looks up when it runs.
  case WindowCommand::ListDetails:
    // Only while the Song details window is not open.
    if (app.mainWindow.detailsPendingAction.load() < 2)
      postFromJob(app, play::ListCommand::Details, parameter);
    break;
  case WindowCommand::PlayNext:
    postFromJob(app, play::ListCommand::PlayNext, parameter);
    break;
  case WindowCommand::Remove:
    postFromJob(app, play::ListCommand::Remove, parameter);
    break;
  case WindowCommand::SaveAsPlaylist:
    postFromJob(app, play::ListCommand::SaveAsPlaylist, 0);
    break;
  case WindowCommand::PlayNow:
    postFromJob(app, play::ListCommand::PlayNow, parameter);
    break;
  case WindowCommand::BuildNow:
    run.buildState.store(kBuildWanted);
    break;
  case WindowCommand::StopBuilding:
    run.stopRequest.store(1);
    break;
  case WindowCommand::QuitWithoutSaving:
    app.listFileKept.store(1);
    postQuit(app);
    refreshStatus(app);
    break;
  case WindowCommand::RefreshNetworkCache:
    // The next read-open of the song table refreshes the local copy.
    app.copies.localCopyRefreshCounter.store(play::kRefreshLocalCopySoon);
    break;
  case WindowCommand::SongsByArtist:
    openSearch(app, kSearchByArtist, play::copyCurrentSong(app).artist);
    break;
  case WindowCommand::OpenFiller:
    platform::startDetached(app.folders.program + kProgramFile, {kFillerArgument}, app.folders.program);
    break;
  case WindowCommand::LockOffline:
    run.buildState.store(run.buildState.load() == kOfflineLocked ? kBuildIdle : kOfflineLocked);
    refreshStatus(app);
    break;
  case WindowCommand::SetOffline:
    run.buildState.store(run.buildState.load() >= kOfflineFirst ? kBuildIdle : kOfflineFirst);
    refreshStatus(app);
    break;
  case WindowCommand::Nothing:
    setPictureSetting(app, PictureSetting::QuickLinkChoice, 0);
    play::markQuickLinksOutOfDate(app);
    app.cover.ready.store(0);
    effects.repaint = true;
    // The upper area may still show a list.
    play::askForQuickLinks(app);
    break;
  case WindowCommand::TopSongs:
    openSearch(app, kSearchTopSongs, std::string());
    break;
  case WindowCommand::EndRun:
    run.playerRequest.store(play::PlayerRequest::Stop);
    effects.endRun = true;
    break;
  case WindowCommand::SongDetailsOf:
    openWindow(app, WindowKind::SongDetails, parameter);
    break;
  case WindowCommand::ListSongsByArtist: {
    play::ListRow row;
    const std::string artist = app.list.find(parameter, row) ? row.column[play::Artist] : std::string();
    openSearch(app, kSearchByArtist, artist);
    break;
  }
  case WindowCommand::LastSongKey:
    run.playerRequest.store(play::PlayerRequest::LastSong);
    break;
  case WindowCommand::CurrentSongDetails:
    openWindow(app, WindowKind::SongDetails, static_cast<uint32_t>(app.details.currentSongRecord));
    break;
  case WindowCommand::TestFunctions:
    run.diagnostics.store(run.diagnostics.load() != 0 ? 0 : 1);
    break;
  default:
    break;
  }
  return effects;
}

void seekFromBar(App& app, uint32_t barValue) {
  play::PlayerState& ps = app.player;
  const uint32_t bar = barValue < play::kSeekBarRange ? barValue : play::kSeekBarRange;
  ps.seekBar.store(bar);
  if (app.run.playerRequest.load() != play::PlayerRequest::None || ps.seekPosition.load() != 0)
    return;
  // In 64 bits: a song longer than about 71 minutes would overflow 32.
  const uint64_t position = static_cast<uint64_t>(bar) * ps.endPosition.load() / play::kSeekBarRange;
  ps.seekPosition.store(static_cast<uint32_t>(position));
  play::PlayerRequest none = play::PlayerRequest::None;
  app.run.playerRequest.compare_exchange_strong(none, play::PlayerRequest::Seek);
}

std::string trayTip(const App& app) {
  std::string tip;
  if (app.run.playerRunning.load() != 0)
    tip = play::copyCurrentSong(app).title;
  if (tip.empty())
    tip = kProgramTitle;
  return cutText(tip, kTrayTipMax);
}

bool pictureClick(App& app, int x, int y, uint32_t width, uint32_t height) {
  const SettingsRecord& s = app.settings;
  const int64_t half = width / 2;
  if (x > half && width > kNarrowWidth) {
    const uint32_t choice = s.coverChoice;
    if (choice >= library::kCoverChoiceQuickLinks) {
      playQuickLinkRow(app, QuickLinkArea::Upper, choice, y, width, height);
      return false;
    }
    if (choice == library::kCoverChoiceCover && app.cover.discFound.load() != 0) {
      setPictureSetting(app, PictureSetting::CoverChoice, library::kCoverChoiceDisc);
    } else if (choice == library::kCoverChoiceDisc && app.cover.coverFound.load() != 0) {
      setPictureSetting(app, PictureSetting::CoverChoice, library::kCoverChoiceCover);
    } else {
      return false;
    }
    // The other picture is loaded in place of this one.
    app.cover.ready.store(0);
    return true;
  }
  if (x < half && s.quickLinkChoice >= library::kCoverChoiceQuickLinks)
    playQuickLinkRow(app, QuickLinkArea::Lower, s.quickLinkChoice, y, width, height);
  return false;
}

int32_t quickLinkRecord(const App& app, uint32_t list, uint32_t row) {
  play::QuickLinkList shown;
  if (!play::copyQuickLinks(app, list, shown) || row >= shown.records.size())
    return -1;
  return shown.records[row];
}

}  // namespace plinka
