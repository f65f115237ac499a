#include "core/prompt.h"

#include "core/core_context.h"

namespace plinka {

uint32_t askPrompt(CoreContext& app, const PromptRequest& request, std::string* entered) {
  if (!app.ui) {
    return kPromptNone;
  }
  app.prompts.result.store(kPromptNone);
  app.prompts.dialogOpen.store(1);
  const uint32_t answer = app.ui->prompt(request, entered);
  app.prompts.result.store(answer);
  app.prompts.dialogOpen.store(0);
  return answer;
}

uint32_t askRatingKeypad(CoreContext& app) {
  if (!app.ui)
    return kPromptNone;
  app.prompts.result.store(kPromptNone);
  app.prompts.dialogOpen.store(1);
  const uint32_t answer = app.ui->ratingKeypad();
  app.prompts.result.store(answer);
  app.prompts.dialogOpen.store(0);
  return answer;
}

}  // namespace plinka
