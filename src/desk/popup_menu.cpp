#include "desk/popup_menu.h"

#include "app/app.h"
#include "core/current_state.h"
#include "desk/window_commands.h"
#include "library/cover_art.h"
#include "library/edit_queue.h"
#include "play/quick_links.h"
#include "text/text.h"

#include <cstring>

namespace plinka {

namespace {

// Narrow windows (kNarrowWidth) have no picture area; the lower list area is
// offered only in windows taller than kLowerAreaHeight.
constexpr uint32_t kLowerAreaHeight = 500;
// Names and choices the "User", "Mode" and "State" submenus list.
constexpr uint32_t kMenuChoices = 10;

MenuEntry item(const char* text, WindowCommand id, bool checked = false) {
  MenuEntry entry;
  entry.text = text;
  entry.id = id;
  entry.checked = checked;
  return entry;
}

MenuEntry separator() {
  MenuEntry entry;
  entry.separator = true;
  return entry;
}

MenuEntry submenu(const char* text, std::vector<MenuEntry> entries) {
  MenuEntry entry;
  entry.text = text;
  entry.submenu = std::move(entries);
  return entry;
}

// The list's "Intervention" submenu: building, quitting, and the network
// copy's controls in network mode.
std::vector<MenuEntry> interventionMenu(const App& app) {
  const SettingsRecord& s = app.settings;
  const uint32_t build = app.run.buildState.load();
  std::vector<MenuEntry> entries;
  if (build == kBuildIdle)
    entries.push_back(item("Build Now", WindowCommand::BuildNow));
  else if (build < kOfflineFirst)
    entries.push_back(item("Stop Building", WindowCommand::StopBuilding));
  entries.push_back(item("Quit but do not save playlist", WindowCommand::QuitWithoutSaving));
  if (s.networkMode != 0) {
    entries.push_back(item("Refresh Network Cache", WindowCommand::RefreshNetworkCache));
    entries.push_back(item("Lock Offline mode", WindowCommand::LockOffline, build == kOfflineLocked));
    if (build < kOfflineFirst)
      entries.push_back(item("Set Offline mode", WindowCommand::SetOffline));
    else if (build <= kOfflineLast)
      entries.push_back(item("Un-Set Offline mode", WindowCommand::SetOffline));
    // Edits wait when the count is neither 0 nor -1 (no queue).
    const uint32_t edits = static_cast<uint32_t>(library::editsWaiting(app));
    if (build < kOfflineFirst && app.editQueue.writerRunning.load() == 0 && edits >= 1 && edits <= 0xFFFFFFFEu)
      entries.push_back(item("Write cached edits", WindowCommand::WriteCachedEdits));
  }
  entries.push_back(item("Test Functions", WindowCommand::TestFunctions, app.run.diagnostics.load() != 0));
  return entries;
}

// The "View" submenu of the picture area the click was on; empty when the
// window has no picture area there.
std::vector<MenuEntry> pictureMenu(App& app, const PopupPlace& place) {
  std::vector<MenuEntry> entries;
  if (place.width <= kNarrowWidth)
    return entries;
  const SettingsRecord& s = app.settings;
  const bool upper = place.x > static_cast<int64_t>(place.width / 2);
  if (!upper && place.height <= kLowerAreaHeight)
    return entries;

  app.mainWindow.pictureArea = upper ? PictureArea::Upper : PictureArea::Lower;
  uint32_t shown;
  if (upper) {
    const bool cover = app.cover.coverFound.load() != 0;
    const bool disc = app.cover.discFound.load() != 0;
    if (cover || !disc)
      entries.push_back(item("Cover", WindowCommand::Cover, s.coverChoice == library::kCoverChoiceCover));
    if (disc)
      entries.push_back(item("Disc", WindowCommand::Disc, s.coverChoice == library::kCoverChoiceDisc));
    // The upper area offers the lists only while the lower one shows none.
    if (s.quickLinkChoice != 0)
      return entries;
    shown = s.coverChoice;
  } else {
    entries.push_back(item("Nothing", WindowCommand::Nothing, s.quickLinkChoice == 0));
    shown = s.quickLinkChoice;
  }
  // Command QuickLinkFirst + k shows the k-th list kind, under its heading.
  for (uint32_t k = 0; k < play::kQuickLinkKinds; ++k) {
    const uint32_t kind = play::kQuickLinksAlbum + k;
    entries.push_back(item(play::quickLinkHeading(kind), WindowCommand::QuickLinkFirst + k, shown == kind));
  }
  return entries;
}

// One submenu of ten names (users, alt modes or States): choice k has the id
// base + k and is checked when it is the current one.
std::vector<MenuEntry> namesMenu(const char (*names)[kNameSize], WindowCommand base, uint32_t current) {
  std::vector<MenuEntry> entries;
  for (uint32_t k = 0; k < kMenuChoices; ++k)
    entries.push_back(item(text::fixedText(names[k]).c_str(), base + k, current == k));
  return entries;
}

std::vector<MenuEntry> userMenu(const App& app) {
  const SettingsRecord& s = app.settings;
  return namesMenu(s.userName, WindowCommand::UserBase, app.shared.stateUser[currentStateIndex(app)].load());
}

std::vector<MenuEntry> modeMenu(const App& app) {
  const SettingsRecord& s = app.settings;
  return namesMenu(s.altModeName, WindowCommand::ModeBase, currentAltMode(app));
}

std::vector<MenuEntry> stateMenu(const App& app) {
  const SettingsRecord& s = app.settings;
  return namesMenu(s.stateName, WindowCommand::StateBase, currentStateIndex(app));
}

}  // namespace

std::vector<MenuEntry> buildPopupMenu(App& app, const PopupPlace& place) {
  const SettingsRecord& s = app.settings;
  const bool listMenu = app.mainWindow.listMenu != 0;
  const bool listHasSongs = !app.list.empty();

  std::vector<MenuEntry> intervention;
  std::vector<MenuEntry> pictures;
  if (listMenu) {
    if (listHasSongs)
      intervention = interventionMenu(app);
  } else {
    pictures = pictureMenu(app, place);
  }

  std::vector<MenuEntry> menu;
  menu.push_back(item("Help", WindowCommand::Help));
  menu.push_back(item("About", WindowCommand::About));
  menu.push_back(item("On Top", WindowCommand::OnTop, s.onTop != 0));
  menu.push_back(submenu("User", userMenu(app)));
  menu.push_back(submenu("Mode", modeMenu(app)));
  menu.push_back(submenu("State", stateMenu(app)));

  if (!listMenu) {
    menu.push_back(item("Details", WindowCommand::CurrentSongDetails));
    menu.push_back(item("Other songs by artist", WindowCommand::SongsByArtist));
    menu.push_back(item("Top Songs", WindowCommand::TopSongs));
    menu.push_back(item("Open Plinka media filler", WindowCommand::OpenFiller));
  }

  if (app.player.inTray.load() == 1) {
    menu.push_back(separator());
    menu.push_back(item(app.run.playerRunning.load() != 0 ? "Pause" : "Play", WindowCommand::PlayPause));
    menu.push_back(item("Skip", WindowCommand::Skip));
    menu.push_back(item("Exit", WindowCommand::Exit));
  } else if (listMenu) {
    menu.push_back(separator());
    menu.push_back(item("Clear List", WindowCommand::ClearList));
    if (listHasSongs) {
      menu.push_back(item("Save As Playlist", WindowCommand::SaveAsPlaylist));
      menu.push_back(submenu("Intervention", std::move(intervention)));
    }
    menu.push_back(separator());
    menu.push_back(item("Remove", WindowCommand::Remove));
    menu.push_back(item("Play Now", WindowCommand::PlayNow));
    menu.push_back(item("Play Next", WindowCommand::PlayNext));
    menu.push_back(item("Details", WindowCommand::ListDetails));
    menu.push_back(item("Other songs by artist", WindowCommand::ListSongsByArtist));
  } else if (!pictures.empty()) {
    menu.push_back(submenu("View", std::move(pictures)));
  }
  return menu;
}

void popupClosed(App& app) { app.mainWindow.listMenu = 0; }

}  // namespace plinka
