// The main window's own flags: what its commands, menus and keys read and
// write besides the settings and the run state.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace plinka {

// The picture area a picture menu was opened on: the right half of the
// now-playing area (cover, disc or a quick-link list) or the list area below
// the song texts.
enum class PictureArea { Upper, Lower };

// Widest window that still counts as narrow: two status parts, no picture
// area, a full-width seek bar, the smallest video.
constexpr uint32_t kNarrowWidth = 400;

struct MainWindowState {
  // 1: the next popup menu is the upcoming list's menu. Set by the list's
  // context-menu request, cleared after every popup. GUI thread only.
  uint32_t listMenu = 0;
  // The area the last picture menu was opened on; picks the setting a
  // picture command changes. Written by the popup menu, read by the picture
  // commands. GUI thread only.
  PictureArea pictureArea = PictureArea::Upper;
  // 1 from the start until the window is made and, when the buffer cache is
  // opened at start-up, until its first buffering run has ended; context
  // menus are ignored meanwhile. Written by the window's creation and that
  // buffering run; read by the GUI thread.
  std::atomic<uint32_t> creating{1};
  // 1 while the About window / the Database window is open, so that a second
  // one is refused. Set and cleared by the front end as the window opens and
  // closes; read by the commands. GUI thread only.
  uint32_t aboutOpen = 0;
  uint32_t databaseOpen = 0;
  // The text searched for last: the artist handed to the search window when
  // it opens in the "songs by an artist" mode, else what the user typed into
  // the search window's or the Song details window's search prompt. Written
  // by the commands that open the search window and by those two windows;
  // read by them as their prompts open. GUI thread only.
  std::string searchInput;
  // 1 while the search window is open. Written by the search window; read by
  // the heartbeat's early release and the commands.
  std::atomic<uint32_t> searchWindowRunning{0};
  // Song details window's pending action, 0 when the window is closed.
  // Written by that window; read by the heartbeat's early release and the
  // commands.
  std::atomic<uint32_t> detailsPendingAction{0};
  // Options window: 3 while it applies a change, else 0. Written by the
  // Options window; read by the status texts.
  std::atomic<uint32_t> optionsSaveStep{0};
};

}  // namespace plinka
