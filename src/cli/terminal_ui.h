// The front end of `plinkactl play`: the status texts and a now-playing line
// on standard output, prompts asked on the terminal, and the keys the user
// types handed to the engine by the play verb.
#pragma once

#include "core/null_front_end.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace plinka {
struct App;
}

namespace plinka::cli {

class TerminalUi : public NullFrontEnd {
public:
  explicit TerminalUi(App& app) : app_(app) {}

  uint32_t prompt(const PromptRequest& request, std::string* entered) override;
  void showStatus(const StatusTexts& texts) override;
  void repaint(RepaintArea area) override;
  void playerChanged(PlayerChanges changes) override;
  void postCommand(WindowCommand command, uint32_t parameter) override;
  void messageBox(const std::string& text, const std::string& title) override;

  // A prompt waits for its answer: the key loop hands it a typed '1' or '2'
  // through answerPrompt. Called by the key loop.
  bool promptWaiting();
  void answerPrompt(uint32_t answer);
  // Ends a waiting prompt with its second button (the input has ended).
  void cancelPrompts();

  // Set once WindowCommand::EndRun (the end of the run) arrives. Written by the
  // heartbeat's end of the run; read by the key loop.
  std::atomic<uint32_t> runEnded{0};

private:
  void printLine(const std::string& line);
  // Prints the current song's line, when a song is current.
  void printNowPlaying();

  App& app_;
  std::mutex mutex_;  // guards output, the last texts and the prompt below
  StatusTexts last_;
  std::condition_variable answered_;
  bool promptOpen_ = false;
  bool cancelled_ = false;
  uint32_t answer_ = kPromptNone;
};

}  // namespace plinka::cli
