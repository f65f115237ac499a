// Asking the user through the front end's prompt, keeping the values other
// parts look at while a prompt is open.
#pragma once

#include "core/front_end.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace plinka {

struct CoreContext;

struct PromptState {
  // 1 while a prompt or an option window is open. Written by askPrompt and
  // the front end's option windows; read by any thread.
  std::atomic<uint32_t> dialogOpen{0};
  // The last answer: 1 first button (or OK, or the auto-close), 2 second
  // button (or Cancel), 0 none yet; the option and search windows use it for
  // their own values too. Written by askPrompt and the windows; read by the
  // asker.
  std::atomic<uint32_t> result{0};
};

// Shows a prompt and blocks the calling thread until it is answered. Returns
// the result (kPromptFirst or kPromptSecond; kPromptNone when there is no
// front end to ask). For a text entry the typed text comes back in
// `entered`.
uint32_t askPrompt(CoreContext& app, const PromptRequest& request, std::string* entered = nullptr);

// Shows the rating keypad and blocks the calling thread until it is
// answered, keeping the dialog-open flag and the prompt result as every
// dialog does. Returns kKeypadRating + r, kKeypadDelete or kPromptSecond
// (kPromptNone when there is no front end to ask).
uint32_t askRatingKeypad(CoreContext& app);

}  // namespace plinka
