// The four status texts of the main window, built from the shared state.
#pragma once

#include "core/front_end.h"
#include "core/status_message.h"

#include <string>

namespace plinka {

struct App;

// The activity text, in place of "Plinka Ready", while the song table holds
// too few songs for the list builder to choose from.
constexpr const char kTooFewSongsText[] = "Import at least 20 songs";

// Builds the four texts. Apart from reading, it settles two things: an
// un-buffered notice is shown once (the stage becomes buffered), a partly
// buffered stage becomes buffered on one draw in six; and a pending one-shot
// message is taken.
StatusTexts composeStatus(App& app);

// Builds the texts and hands them to the front end. Called from any thread
// after a visible change.
void refreshStatus(App& app);

}  // namespace plinka
