#include "cli/play_verb.h"

#include "app/app.h"
#include "app/engine_jobs.h"
#include "cli/data_folder.h"
#include "cli/terminal_ui.h"
#include "cli/verbs.h"
#include "library/buffer_cache.h"
#include "library/edit_queue.h"
#include "platform/playback.h"
#include "play/list_commands.h"
#include "play/list_file.h"
#include "play/player.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

namespace plinka::cli {

namespace {

// Patience of the rating command's post.
constexpr uint32_t kRatePatience = 2;
// How often the key loop looks whether the run has ended (real ms).
constexpr int kKeyWaitMs = 100;

// The terminal in single-key mode while it lives; restored when it ends.
class RawTerminal {
public:
  RawTerminal() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0)
      return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~RawTerminal() {
    if (active_)
      tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

private:
  termios saved_{};
  bool active_ = false;
};

// The next key: from a terminal one key at a time, otherwise the first
// character of the next line. 0 while nothing was typed yet, -1 at the end
// of the input.
int nextKey(bool terminal) {
  if (terminal) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, kKeyWaitMs) <= 0)
      return 0;
    char c = 0;
    return read(STDIN_FILENO, &c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
  }
  std::string line;
  if (!std::getline(std::cin, line))
    return -1;
  return line.empty() ? 0 : static_cast<unsigned char>(line[0]);
}

void request(App& app, play::PlayerRequest r) { app.run.playerRequest.store(r); }

// Handles one key; false once the user asked to quit.
bool handleKey(App& app, TerminalUi& ui, int key) {
  if ((key == '1' || key == '2') && ui.promptWaiting()) {
    ui.answerPrompt(key == '1' ? kPromptFirst : kPromptSecond);
    return true;
  }
  const bool playing = app.run.playerRunning.load() != 0;
  switch (key) {
  case 'p':
    request(app, playing ? play::PlayerRequest::Pause : play::PlayerRequest::Start);
    break;
  case 's':
    if (playing)
      request(app, play::PlayerRequest::Skip);
    break;
  case 'r':
    request(app, play::PlayerRequest::Restart);
    break;
  case 'b':
    app.player.stallCount.store(0);
    request(app, play::PlayerRequest::LastSong);
    break;
  case 'q':
    return false;
  default:
    if (key >= '0' && key <= '9') {
      const uint32_t rating = key == '0' ? 10 : static_cast<uint32_t>(key - '0');
      post(app, play::ListCommand::Rate, kKeypadRating + rating, kRatePatience);
    }
    break;
  }
  return true;
}

}  // namespace

int runPlayVerb(int argc, char**) {
  if (argc != 1)
    return usage("[--data DIR] play");
  auto app = std::make_unique<App>();
  if (openDataFolder(*app) != 0 || claimPlayer(*app) != 0)
    return 1;
  TerminalUi ui(*app);
  app->ui = &ui;
  installEngineJobs(*app);
  app->player.playback = platform::makeSystemPlayback();
  play::loadStateList(*app);
  library::startCache(*app);

  startScheduler(*app);
  startPlayer(*app);
  app->run.playerRunning.store(1);
  app->run.playerRequest.store(play::PlayerRequest::Start);

  {
    const bool terminal = isatty(STDIN_FILENO) != 0;
    std::unique_ptr<RawTerminal> raw;
    if (terminal)
      raw = std::make_unique<RawTerminal>();
    for (;;) {
      if (ui.runEnded.load() != 0)
        break;
      const int key = nextKey(terminal);
      // The end of the input quits as 'q' does.
      if (key < 0 || !handleKey(*app, ui, key))
        break;
    }
  }

  // The normal end: the quit request, then the heartbeat's hand-over, which
  // ends with WindowCommand::EndRun.
  ui.cancelPrompts();
  post(*app, ClosingCode::Quit, 0, 0);
  while (ui.runEnded.load() == 0 && app->run.appEnding.load() == 0)
    app->clock.sleepMs(kKeyWaitMs);
  stopScheduler(*app);
  app->player.playback.reset();
  return saveDataFolder(*app);
}

}  // namespace plinka::cli
