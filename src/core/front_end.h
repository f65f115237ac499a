// The one front-end interface through which the engine shows and asks
// everything. The Qt main window implements it; front ends that show only a
// part of it (plinkactl's, the test fake) start from NullFrontEnd. Calls that
// ask something block the calling thread until the user has answered; a front
// end shows them on its own thread.
#pragma once

#include "core/window_command_ids.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plinka {

// What a prompt shows: a question with two buttons or a text entry, with the
// message in the normal or the small font. The numbers are those stored and
// handed between the windows.
enum class PromptStyle : uint32_t {
  Question = 1,
  TextEntry = 4,
  SmallQuestion = 11,   // a question whose message uses the small font
  SmallTextEntry = 14,  // a text entry whose message uses the small font
};

constexpr bool isSmallFont(PromptStyle style) {
  return style == PromptStyle::SmallQuestion || style == PromptStyle::SmallTextEntry;
}
constexpr bool hasTextEntry(PromptStyle style) {
  return style == PromptStyle::TextEntry || style == PromptStyle::SmallTextEntry;
}

// A prompt's parameters, as the caller fills them.
struct PromptRequest {
  std::string message;
  std::string firstCaption;
  std::string secondCaption;
  std::string entryText;  // a text entry's initial text
  PromptStyle style = PromptStyle::Question;
  uint32_t autoCloseSeconds = 0;  // 0 = none; else answers 1 after that long
  uint32_t topMost = 1;
};

// Prompt results.
constexpr uint32_t kPromptNone = 0;
constexpr uint32_t kPromptFirst = 1;
constexpr uint32_t kPromptSecond = 2;

// One file-dialog filter: what it is called and its patterns ("*.mp3;*.wav").
struct FileFilter {
  std::string name;
  std::string patterns;
};

// Windows the engine may ask the front end to open.
enum class WindowKind { Welcome, Options, SongDetails, Search, Database, Internals, Filler, About };

// The four texts of the main window's status bar: activity, list, database,
// listener.
struct StatusTexts {
  std::string part[4];
};

// How far a long piece of work (an import, a database function) has got, for
// a progress bar and counts beside the status lines. `total` is 0 when the
// end is not known in advance (an import walking a folder tree).
struct WorkProgress {
  uint32_t looked = 0;    // files or records looked at so far
  uint32_t added = 0;     // records added (import), or what a function did to them
  uint32_t skipped = 0;   // files or records passed over
  uint32_t done = 0;      // steps done of `total`
  uint32_t total = 0;     // steps in all, 0 when unknown
  bool finished = false;  // the work has ended
  // What `added` counts, in the words a counts line uses: "added" for an
  // import, "removed", "changed", "written"... for a database function; empty
  // when the work counts nothing of its own (a sort). Points at a text that
  // lasts the whole run.
  const char* doneWord = "added";
};

// Areas of the main window the engine asks to have painted again.
enum class RepaintArea { Window, NowPlaying, Picture, LowerList };

// What a request to the player, or a poll of the playing song, changed; the
// player tells the front end all of it in one notice.
enum class PlayerChange : uint32_t {
  NowPlaying = 1u << 0,  // a song started or resumed: its texts, its picture or video
  SeekBar = 1u << 1,     // the seek bar's value moved
  Stopped = 1u << 2,     // the player paused or stopped: the play button offers Play again
  Controls = 1u << 3,    // a request was handled: the play button's tooltip, tray tip and menus
  Volume = 1u << 4,      // the current State's volume changed: the slider and the media controls
};

// A set of PlayerChange.
class PlayerChanges {
public:
  constexpr PlayerChanges() = default;
  // Implicit: one change is a set of one.
  constexpr PlayerChanges(PlayerChange change) : bits_(static_cast<uint32_t>(change)) {}

  constexpr PlayerChanges& operator|=(PlayerChanges other) {
    bits_ |= other.bits_;
    return *this;
  }
  friend constexpr PlayerChanges operator|(PlayerChanges a, PlayerChanges b) { return a |= b; }
  friend constexpr bool operator==(PlayerChanges, PlayerChanges) = default;

  constexpr bool has(PlayerChange change) const { return (bits_ & static_cast<uint32_t>(change)) != 0; }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr uint32_t bits() const { return bits_; }

private:
  uint32_t bits_ = 0;
};

constexpr PlayerChanges operator|(PlayerChange a, PlayerChange b) { return PlayerChanges(a) | b; }

// Rating keypad results: a rating r (0-10) gives kKeypadRating + r, "D" gives
// kKeypadDelete, "Cancel" gives kPromptSecond.
constexpr uint32_t kKeypadRating = 1200;
constexpr uint32_t kKeypadDelete = 1213;

class FrontEnd {
public:
  virtual ~FrontEnd() = default;

  // The question or text-entry prompt. Returns 1 (first button, OK or the
  // auto-close) or 2 (second button, Cancel, Escape). For a text entry the
  // typed text is handed back in `entered` whichever button ended it.
  virtual uint32_t prompt(const PromptRequest& request, std::string* entered) = 0;
  // The Welcome window; returns the button pressed (1 "Import music now").
  virtual uint32_t showWelcome() = 0;
  // Opens the help file "ReadMe.htm" of the program folder.
  virtual void openHelp() = 0;
  // Opens a folder in the desktop's file manager.
  virtual void openFolder(const std::string& path) = 0;

  // Shows the four status texts. Called from any thread.
  virtual void showStatus(const StatusTexts& texts) = 0;
  // The rating keypad: kKeypadRating + r, kKeypadDelete, or kPromptSecond for
  // "Cancel". Blocks the calling thread until answered.
  virtual uint32_t ratingKeypad() = 0;
  // The folder chooser ("Choose Folder"): true and the folder, or false when
  // cancelled.
  virtual bool chooseFolder(std::string& path) = 0;
  // File choosers: `selected` is the 1-based filter shown first; true and the
  // chosen path, or false when cancelled.
  virtual bool chooseOpenFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) = 0;
  virtual bool chooseSaveFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) = 0;
  // The chooser for a file that is made where none is and used as it is
  // where one is ("NewDB"): like the save chooser, but it never asks whether
  // to replace the file; `title` tells the user what happens to one that is
  // there. Front ends without such a chooser show their save chooser.
  virtual bool chooseNewOrExistingFile(const std::string& /*title*/, const std::vector<FileFilter>& filters,
                                       uint32_t selected, std::string& path) {
    return chooseSaveFile(filters, selected, path);
  }

  // Asks for an area of the main window to be painted again. Any thread.
  virtual void repaint(RepaintArea area) = 0;
  // What the player has just changed, one notice per request it handled
  // (a song started, paused, stopped...) and per poll that moved the seek
  // bar. Called on the player thread right after the change: a front end
  // that reads the player's state at once reads it in step.
  virtual void playerChanged(PlayerChanges changes) = 0;
  // Opens a window; `argument` is the window's subject where it has one (the
  // song's record for the song details, the mode for the search window).
  virtual void openWindow(WindowKind window, uint32_t argument) = 0;
  // Posts a command to the main window, as its menu would
  // (WindowCommand::EndRun ends the run). Returns at once; the command runs
  // later on the front end's thread. Any thread.
  virtual void postCommand(WindowCommand command, uint32_t parameter) = 0;
  // Sets progress line `line` (0 = status line, 1 = detail line) of an open
  // window. Any thread.
  virtual void progressLine(WindowKind window, uint32_t line, const std::string& text) = 0;
  // Shows how far the work feeding an open window has got. Any thread; a
  // front end without such a display ignores it.
  virtual void workProgress(WindowKind, const WorkProgress&) {}
  // Scrolls the upcoming list's view so that its top row is in view, once
  // the list's changes made before the call are shown. Any thread; a front
  // end without a list view ignores it.
  virtual void showListTop() {}
  // Sets the title of an open window. Any thread.
  virtual void setWindowTitle(WindowKind window, const std::string& title) = 0;
  // A plain message box with one "OK" button; blocks until closed.
  virtual void messageBox(const std::string& text, const std::string& title) = 0;
};

}  // namespace plinka
