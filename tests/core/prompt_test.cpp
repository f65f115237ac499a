// Prompts asked through the engine keep the dialog-open flag and the result.

#include "support/scheduler_fixture.h"

#include "core/prompt.h"

#include <gtest/gtest.h>

namespace plinka::test {
namespace {

class PromptTest : public SchedulerTest {};

TEST_F(PromptTest, DialogIsMarkedOpenWhileAskingAndTheAnswerIsKept) {
  uint32_t openWhileAsking = 0;
  ui.beforePromptAnswer = [&](const PromptRequest&) { openWhileAsking = app->prompts.dialogOpen.load(); };
  ui.promptAnswers = {kPromptSecond};
  ui.entryAnswers = {"typed"};
  PromptRequest request;
  request.message = "Name?";
  request.style = PromptStyle::SmallTextEntry;
  std::string entered;
  EXPECT_EQ(askPrompt(*app, request, &entered), kPromptSecond);
  EXPECT_EQ(openWhileAsking, 1u);
  EXPECT_EQ(app->prompts.dialogOpen.load(), 0u);
  EXPECT_EQ(app->prompts.result.load(), kPromptSecond);
  EXPECT_EQ(entered, "typed") << "Cancel still hands back the text";
}

TEST_F(PromptTest, WithoutAFrontEndNothingIsAnswered) {
  app->ui = nullptr;
  PromptRequest request;
  request.autoCloseSeconds = 30;
  EXPECT_EQ(askPrompt(*app, request), kPromptNone);
  EXPECT_EQ(app->prompts.dialogOpen.load(), 0u);
}

}  // namespace
}  // namespace plinka::test
