#include "support/fake_ui.h"

namespace plinka::test {

uint32_t FakeUi::prompt(const PromptRequest& request, std::string* entered) {
  if (whileAsked) {
    whileAsked();
  }
  if (beforePromptAnswer) {
    beforePromptAnswer(request);
  }
  std::lock_guard lock(mutex);
  prompts.push_back(request);
  uint32_t answer = kPromptFirst;
  if (!promptAnswers.empty()) {
    answer = promptAnswers.front();
    promptAnswers.pop_front();
  }
  if (answer == kNoAnswer) {
    answer = request.autoCloseSeconds != 0 ? kPromptFirst : kPromptNone;
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

void FakeUi::showStatus(const StatusTexts& texts) {
  std::lock_guard lock(mutex);
  statuses.push_back(texts);
}

uint32_t FakeUi::ratingKeypad() {
  if (whileAsked) {
    whileAsked();
  }
  std::lock_guard lock(mutex);
  ++keypadsShown;
  if (keypadAnswers.empty()) {
    return kPromptSecond;
  }
  const uint32_t answer = keypadAnswers.front();
  keypadAnswers.pop_front();
  return answer;
}

namespace {
bool answerChooser(std::deque<std::string>& script, std::string& path) {
  if (script.empty()) {
    return false;
  }
  std::string answer = script.front();
  script.pop_front();
  if (answer.empty()) {
    return false;
  }
  path = answer;
  return true;
}
}  // namespace

bool FakeUi::chooseFolder(std::string& path) {
  if (whileAsked) {
    whileAsked();
  }
  std::lock_guard lock(mutex);
  ++folderChoosersShown;
  return answerChooser(folderAnswers, path);
}

bool FakeUi::chooseOpenFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) {
  if (whileAsked) {
    whileAsked();
  }
  std::lock_guard lock(mutex);
  fileChoosers.push_back({filters, selected, false});
  return answerChooser(openFileAnswers, path);
}

bool FakeUi::chooseSaveFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) {
  if (whileAsked) {
    whileAsked();
  }
  std::lock_guard lock(mutex);
  fileChoosers.push_back({filters, selected, true});
  return answerChooser(saveFileAnswers, path);
}

bool FakeUi::chooseNewOrExistingFile(const std::string& title, const std::vector<FileFilter>& filters,
                                     uint32_t selected, std::string& path) {
  if (whileAsked) {
    whileAsked();
  }
  std::lock_guard lock(mutex);
  fileChoosers.push_back({filters, selected, true, title});
  return answerChooser(saveFileAnswers, path);
}

void FakeUi::repaint(RepaintArea area) {
  std::lock_guard lock(mutex);
  repaints.push_back(area);
}

void FakeUi::playerChanged(PlayerChanges changes) {
  std::lock_guard lock(mutex);
  playerChanges.push_back(changes);
}

void FakeUi::openWindow(WindowKind window, uint32_t argument) {
  std::lock_guard lock(mutex);
  windowsOpened.push_back({window, argument});
}

void FakeUi::postCommand(WindowCommand command, uint32_t parameter) {
  std::lock_guard lock(mutex);
  postedCommands.push_back({command, parameter});
}

void FakeUi::progressLine(WindowKind window, uint32_t line, const std::string& text) {
  std::lock_guard lock(mutex);
  progressLines.push_back({window, line, text});
}

void FakeUi::workProgress(WindowKind window, const WorkProgress& progress) {
  {
    std::lock_guard lock(mutex);
    workReports.push_back({window, progress});
  }
  if (afterWorkProgress) {
    afterWorkProgress(progress);
  }
}

void FakeUi::setWindowTitle(WindowKind window, const std::string& title) {
  std::lock_guard lock(mutex);
  windowTitles.push_back({window, title});
}

void FakeUi::messageBox(const std::string& text, const std::string& title) {
  std::lock_guard lock(mutex);
  messageBoxes.push_back({text, title});
}

std::vector<WindowCommand> FakeUi::commandsPosted() {
  std::lock_guard lock(mutex);
  std::vector<WindowCommand> out;
  for (const auto& posted : postedCommands) {
    out.push_back(posted.command);
  }
  return out;
}

}  // namespace plinka::test
