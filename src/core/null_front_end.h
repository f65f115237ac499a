// A front end that shows nothing and answers every question as a user who is
// not there would: prompts as their auto-close would (the first button, the
// text entry's initial text), the Welcome window and the rating keypad with
// their second button, every chooser cancelled. Front ends that show only a
// part of what the engine reports (plinkactl's one-shot verbs and its play
// verb, the test fake, a benchmark's run) derive from it and override only
// what they really do.
#pragma once

#include "core/front_end.h"

namespace plinka {

class NullFrontEnd : public FrontEnd {
public:
  uint32_t prompt(const PromptRequest& request, std::string* entered) override {
    if (entered)
      *entered = request.entryText;
    return kPromptFirst;
  }
  uint32_t showWelcome() override { return kPromptSecond; }
  void openHelp() override {}
  void openFolder(const std::string&) override {}
  void showStatus(const StatusTexts&) override {}
  uint32_t ratingKeypad() override { return kPromptSecond; }
  bool chooseFolder(std::string&) override { return false; }
  bool chooseOpenFile(const std::vector<FileFilter>&, uint32_t, std::string&) override { return false; }
  bool chooseSaveFile(const std::vector<FileFilter>&, uint32_t, std::string&) override { return false; }
  void repaint(RepaintArea) override {}
  void playerChanged(PlayerChanges) override {}
  void openWindow(WindowKind, uint32_t) override {}
  void postCommand(WindowCommand, uint32_t) override {}
  void progressLine(WindowKind, uint32_t, const std::string&) override {}
  void setWindowTitle(WindowKind, const std::string&) override {}
  void messageBox(const std::string&, const std::string&) override {}
};

}  // namespace plinka
