// A front end for tests: records what the engine shows and answers prompts
// from a script (first button when the script has run out).
#pragma once

#include "shell/ui.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace plinka::test {

class FakeUi : public Ui {
public:
  // Answers given to the next prompts, in order.
  std::deque<uint32_t> promptAnswers;
  // Text handed back by the next text-entry prompts, in order.
  std::deque<std::string> entryAnswers;
  uint32_t welcomeAnswer = 2;

  std::vector<PromptRequest> prompts;
  int welcomeShown = 0;
  int helpOpened = 0;
  std::vector<std::string> foldersOpened;

  uint32_t prompt(const PromptRequest& request, std::string* entered) override;
  uint32_t showWelcome() override;
  void openHelp() override;
  void openFolder(const std::string& path) override;

  std::mutex mutex;  // guards everything above while threads run
};

} // namespace plinka::test
