#include "cli/cli_ui.h"

#include <cstdio>

namespace plinka::cli {

uint32_t CliUi::prompt(const PromptRequest& request, std::string* entered) {
  std::fprintf(stderr, "plinkactl: %s [%s]\n", request.message.c_str(), request.firstCaption.c_str());
  // Answered as nobody there would: the first button, the entry as shown.
  return NullFrontEnd::prompt(request, entered);
}

void CliUi::progressLine(WindowKind, uint32_t, const std::string& text) {
  if (!text.empty())
    std::fprintf(stderr, "%s\n", text.c_str());
}

void CliUi::messageBox(const std::string& text, const std::string& title) {
  std::fprintf(stderr, "plinkactl: %s: %s\n", title.c_str(), text.c_str());
}

}  // namespace plinka::cli
