// The one front-end interface through which the engine shows and asks
// everything. The Qt main window, the terminal front end of plinkactl and the
// test fakes implement it. Calls that ask something block the calling thread
// until the user has answered; a front end shows them on its own thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plinka {

// A prompt's parameters, as the caller fills them.
struct PromptRequest {
  std::string message;
  std::string firstCaption;
  std::string secondCaption;
  std::string entryText;          // style 4/14: the initial text of the entry
  uint32_t style = 0;             // 1 question, 4 text entry; +10 small message font
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

class Ui {
public:
  virtual ~Ui() = default;

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
};

} // namespace plinka
