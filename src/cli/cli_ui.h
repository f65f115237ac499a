// The front end of plinkactl's one-shot verbs: nothing to show, progress and
// questions on standard error. Questions take their first answer (the safe,
// ordinary choice everywhere the engine asks), the Welcome window declines.
#pragma once

#include "core/front_end.h"

namespace plinka::cli {

class CliUi : public FrontEnd {
public:
  uint32_t prompt(const PromptRequest& request, std::string* entered) override;
  uint32_t showWelcome() override { return kPromptSecond; }
  void openHelp() override {}
  void openFolder(const std::string&) override {}
  void showStatus(const StatusTexts&) override {}
  uint32_t ratingKeypad() override { return kPromptSecond; }
  bool chooseFolder(std::string&) override { return false; }
  bool chooseOpenFile(const std::vector<FileFilter>&, uint32_t, std::string&) override { return false; }
  bool chooseSaveFile(const std::vector<FileFilter>&, uint32_t, std::string&) override { return false; }
  void repaint(RepaintArea) override {}
  void setPlayButtonImage(int) override {}
  void refreshSystemMenu() override {}
  void openWindow(WindowKind, uint32_t) override {}
  void postCommand(uint32_t, uint32_t) override {}
  void progressLine(WindowKind window, uint32_t line, const std::string& text) override;
  void setWindowTitle(WindowKind, const std::string&) override {}
  void messageBox(const std::string& text, const std::string& title) override;
};

}  // namespace plinka::cli
