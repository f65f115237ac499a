// The front end of plinkactl's one-shot verbs: nothing to show, progress and
// questions on standard error. Questions take their first answer (the safe,
// ordinary choice everywhere the engine asks), the Welcome window declines.
#pragma once

#include "core/null_front_end.h"

namespace plinka::cli {

class CliUi : public NullFrontEnd {
public:
  uint32_t prompt(const PromptRequest& request, std::string* entered) override;
  void progressLine(WindowKind window, uint32_t line, const std::string& text) override;
  void messageBox(const std::string& text, const std::string& title) override;
};

}  // namespace plinka::cli
