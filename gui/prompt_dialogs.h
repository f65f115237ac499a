// The program's small modal windows: the question and text-entry prompt, the
// rating keypad, the Welcome and About windows, the folder chooser and the
// help file. Each runs on the GUI thread and returns when it is closed; they
// do not touch the App, so the caller keeps the dialog-open flag and the
// prompt result (QtUi does that for the engine). Each takes the window it
// belongs to (the main window once it exists): it stays above that window,
// also when the window is kept on top, and opens centred on it.
#pragma once

#include "core/front_end.h"

#include <cstddef>
#include <cstdint>
#include <string>

class QWidget;

namespace plinka::gui {

// The most bytes a text entry hands back.
constexpr size_t kEntryCapacity = 600;

// The question or text-entry prompt. The caller's captions always replace
// the form's, so empty captions give empty buttons; the small styles show
// the message in the smaller font. With
// autoCloseSeconds set the prompt answers 1 by itself after that long,
// divided by `clockSpeed` (the App clock's speed factor). Returns 1 for the
// first button (or OK, or the auto-close) and 2 for the second (or Cancel,
// Escape, closing the window). For a text entry the typed text, cut to
// kEntryCapacity bytes on a character boundary, is put into `entered`
// whichever way the prompt ended.
uint32_t runPromptDialog(const PromptRequest& request, std::string* entered, uint32_t clockSpeed = 1,
                         QWidget* parent = nullptr);

// The rating keypad: kKeypadRating + r for the rating r, kKeypadDelete for
// "D", kPromptSecond for "Cancel" or Escape.
uint32_t runRatingKeypad(QWidget* parent = nullptr);

// The Welcome window: 1 for "Import music now", 2 for "No, I have other
// plans" (or Escape).
uint32_t runWelcome(QWidget* parent = nullptr);

// The About window, until it is closed.
void runAbout(QWidget* parent = nullptr);

// The folder chooser titled "Choose Folder", opening at `path` (the home
// folder when empty). True and the chosen folder in `path`, or false with
// `path` unchanged when cancelled.
bool chooseFolder(std::string& path, QWidget* parent = nullptr);

// Opens programFolder + "ReadMe.htm" (programFolder ends in '/') in the
// desktop's viewer for it. A failure is not reported.
void openHelpFile(const std::string& programFolder);

}  // namespace plinka::gui
