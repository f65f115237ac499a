#include "gui/window_availability.h"

#include "desk/window_commands.h"

namespace plinka::gui {

std::optional<WindowKind> windowOpenedBy(uint32_t command) {
  switch (command) {
  case kCmdSearch:
  case kCmdSongsByArtist:
  case kCmdTopSongs:
  case kCmdListSongsByArtist:
    return WindowKind::Search;
  case kCmdDatabase:
    return WindowKind::Database;
  case kCmdOptions:
    return WindowKind::Options;
  case kCmdListDetails:
  case kCmdCurrentSongDetails:
  case kCmdSongDetailsOf:
    return WindowKind::SongDetails;
  case kCmdOpenFiller:
    return WindowKind::Filler;
  case kCmdAbout:
    return WindowKind::About;
  default:
    return std::nullopt;
  }
}

bool windowAvailable(WindowKind window) {
  return window == WindowKind::About || window == WindowKind::Welcome || window == WindowKind::SongDetails ||
         window == WindowKind::Search || window == WindowKind::Options || window == WindowKind::Database ||
         window == WindowKind::Internals || window == WindowKind::Filler;
}

bool commandAvailable(uint32_t command) {
  const std::optional<WindowKind> window = windowOpenedBy(command);
  return !window || windowAvailable(*window);
}

std::string notAvailableMessage(WindowKind window) {
  const char* name = "This window";
  switch (window) {
  case WindowKind::Options:
    name = "Options";
    break;
  case WindowKind::SongDetails:
    name = "Song details";
    break;
  case WindowKind::Search:
    name = "Search";
    break;
  case WindowKind::Database:
    name = "Database";
    break;
  case WindowKind::Internals:
    name = "Internals";
    break;
  case WindowKind::Filler:
    name = "Media filler";
    break;
  case WindowKind::Welcome:
  case WindowKind::About:
    break;
  }
  return std::string(name) + " not available yet";
}

}  // namespace plinka::gui
