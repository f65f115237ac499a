// A front end for tests: records what the engine shows and answers prompts
// from a script (first button when the script has run out).
#pragma once

#include "core/null_front_end.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace plinka::test {

class FakeUi : public NullFrontEnd {
public:
  // A scripted prompt answer meaning that nobody answers: the fake then acts
  // as the prompt's auto-close would (first button), or answers
  // kPromptNone for a prompt without auto-close.
  static constexpr uint32_t kNoAnswer = 0xFFFFFFFFu;

  // Answers given to the next prompts, in order.
  std::deque<uint32_t> promptAnswers;
  // Text handed back by the next text-entry prompts, in order.
  std::deque<std::string> entryAnswers;
  uint32_t welcomeAnswer = 2;
  // Answers of the next rating keypads (Cancel when the script has run out).
  std::deque<uint32_t> keypadAnswers;
  // Answers of the next folder / file choosers; an empty text is a cancel,
  // and so is a script that has run out.
  std::deque<std::string> folderAnswers;
  std::deque<std::string> openFileAnswers;
  std::deque<std::string> saveFileAnswers;
  // Called before a prompt is answered, outside the lock, so a test can hold
  // the asking thread there. Set before threads start.
  std::function<void(const PromptRequest&)> beforePromptAnswer;
  // Called as every question (prompt, keypad, chooser) is asked, before it
  // is answered, outside the lock, on the asking thread. Set before threads
  // start.
  std::function<void()> whileAsked;
  // Called after a work progress report was recorded, outside the lock, on
  // the reporting thread. Set before threads start.
  std::function<void(const WorkProgress&)> afterWorkProgress;

  std::vector<PromptRequest> prompts;
  int welcomeShown = 0;
  int helpOpened = 0;
  std::vector<std::string> foldersOpened;

  struct PostedCommand {
    WindowCommand command;
    uint32_t parameter;
  };
  struct ProgressLine {
    WindowKind window;
    uint32_t line;
    std::string text;
  };
  struct WorkReport {
    WindowKind window;
    WorkProgress progress;
  };
  struct WindowTitle {
    WindowKind window;
    std::string title;
  };
  struct OpenedWindow {
    WindowKind window;
    uint32_t argument;
  };
  struct MessageBox {
    std::string text;
    std::string title;
  };
  struct FileChooser {
    std::vector<FileFilter> filters;
    uint32_t selected;
    bool save;
    // The title of a chooser that never offers to replace a file; empty for
    // the plain choosers.
    std::string newOrExistingTitle = {};
  };

  std::vector<StatusTexts> statuses;
  int keypadsShown = 0;
  int folderChoosersShown = 0;
  std::vector<FileChooser> fileChoosers;
  std::vector<RepaintArea> repaints;
  // The player's notices, one entry each.
  std::vector<PlayerChanges> playerChanges;
  std::vector<OpenedWindow> windowsOpened;
  std::vector<PostedCommand> postedCommands;
  std::vector<ProgressLine> progressLines;
  std::vector<WorkReport> workReports;
  std::vector<WindowTitle> windowTitles;
  std::vector<MessageBox> messageBoxes;

  uint32_t prompt(const PromptRequest& request, std::string* entered) override;
  uint32_t showWelcome() override;
  void openHelp() override;
  void openFolder(const std::string& path) override;
  void showStatus(const StatusTexts& texts) override;
  uint32_t ratingKeypad() override;
  bool chooseFolder(std::string& path) override;
  bool chooseOpenFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) override;
  bool chooseSaveFile(const std::vector<FileFilter>& filters, uint32_t selected, std::string& path) override;
  // Answered from saveFileAnswers.
  bool chooseNewOrExistingFile(const std::string& title, const std::vector<FileFilter>& filters, uint32_t selected,
                               std::string& path) override;
  void repaint(RepaintArea area) override;
  void playerChanged(PlayerChanges changes) override;
  void openWindow(WindowKind window, uint32_t argument) override;
  void postCommand(WindowCommand command, uint32_t parameter) override;
  void progressLine(WindowKind window, uint32_t line, const std::string& text) override;
  void workProgress(WindowKind window, const WorkProgress& progress) override;
  void setWindowTitle(WindowKind window, const std::string& title) override;
  void messageBox(const std::string& text, const std::string& title) override;

  // Runs f under the lock, for reading the records while threads run.
  template <class F> auto locked(F&& f) {
    std::lock_guard lock(mutex);
    return f();
  }
  // The commands posted so far (copied under the lock).
  std::vector<WindowCommand> commandsPosted();

  std::mutex mutex;  // guards everything above while threads run
};

}  // namespace plinka::test
