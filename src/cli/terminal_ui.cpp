#include "cli/terminal_ui.h"

#include "app/app.h"
#include "core/window_command_ids.h"
#include "db/records.h"
#include "play/list_commands.h"
#include "play/player.h"

#include <cstdio>

namespace plinka::cli {

void TerminalUi::printLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

uint32_t TerminalUi::prompt(const PromptRequest& request, std::string* entered) {
  std::unique_lock lock(mutex_);
  if (cancelled_)
    return kPromptSecond;
  printLine(request.message);
  printLine("  1: " + request.firstCaption);
  printLine("  2: " + request.secondCaption);
  if (entered)
    *entered = request.entryText;
  promptOpen_ = true;
  answer_ = kPromptNone;
  answered_.wait(lock, [this] { return answer_ != kPromptNone || cancelled_; });
  promptOpen_ = false;
  return answer_ != kPromptNone ? answer_ : kPromptSecond;
}

bool TerminalUi::promptWaiting() {
  std::lock_guard lock(mutex_);
  return promptOpen_;
}

void TerminalUi::answerPrompt(uint32_t answer) {
  std::lock_guard lock(mutex_);
  if (promptOpen_)
    answer_ = answer;
  answered_.notify_all();
}

void TerminalUi::cancelPrompts() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  answered_.notify_all();
}

void TerminalUi::showStatus(const StatusTexts& texts) {
  std::lock_guard lock(mutex_);
  for (int k = 0; k < 4; ++k) {
    if (texts.part[k] != last_.part[k] && !texts.part[k].empty())
      printLine("[" + std::to_string(k + 1) + "] " + texts.part[k]);
    last_.part[k] = texts.part[k];
  }
}

void TerminalUi::repaint(RepaintArea area) {
  if (area == RepaintArea::NowPlaying || area == RepaintArea::Window)
    printNowPlaying();
}

void TerminalUi::playerChanged(PlayerChanges changes) {
  // The player tells this right after it starts a song, on its own thread,
  // so the details it just wrote are read here in step.
  if (changes.has(PlayerChange::NowPlaying))
    printNowPlaying();
}

void TerminalUi::printNowPlaying() {
  const play::DetailsState& d = app_.details;
  if (d.currentSongFile[0] == '\0')
    return;
  const uint32_t rating = db::ratingOfScore(app_.settings, d.currentSongScore);
  std::string line = "Now playing: ";
  line += d.current.title[0] != '\0' ? d.current.title : d.currentSongFile;
  line += " | ";
  line += d.current.artist;
  line += " | ";
  line += d.current.album;
  line += " | rating " + std::to_string(rating);
  std::lock_guard lock(mutex_);
  printLine(line);
}

void TerminalUi::postCommand(WindowCommand command, uint32_t) {
  if (command == WindowCommand::EndRun) {
    runEnded.store(1);
  } else if (command == WindowCommand::PlayPause) {
    app_.run.playerRunning.store(1);
    app_.run.playerRequest.store(play::PlayerRequest::Start);
  }
}

void TerminalUi::messageBox(const std::string& text, const std::string& title) {
  std::lock_guard lock(mutex_);
  printLine(title + ": " + text);
}

}  // namespace plinka::cli
