#include "support/fake_ui.h"

namespace plinka::test {

uint32_t FakeUi::prompt(const PromptRequest& request, std::string* entered) {
  std::lock_guard lock(mutex);
  prompts.push_back(request);
  uint32_t answer = kPromptFirst;
  if (!promptAnswers.empty()) {
    answer = promptAnswers.front();
    promptAnswers.pop_front();
  }
  if (entered) {
    if (!entryAnswers.empty()) {
      *entered = entryAnswers.front();
      entryAnswers.pop_front();
    } else {
      *entered = request.entryText;
    }
  }
  return answer;
}

uint32_t FakeUi::showWelcome() {
  std::lock_guard lock(mutex);
  ++welcomeShown;
  return welcomeAnswer;
}

void FakeUi::openHelp() {
  std::lock_guard lock(mutex);
  ++helpOpened;
}

void FakeUi::openFolder(const std::string& path) {
  std::lock_guard lock(mutex);
  foldersOpened.push_back(path);
}

} // namespace plinka::test
