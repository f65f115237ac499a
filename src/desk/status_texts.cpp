#include "desk/status_texts.h"

#include "app/app.h"
#include "core/current_state.h"
#include "core/random_source.h"
#include "text/text.h"

#include <cstring>

namespace plinka {

namespace {

constexpr uint32_t kPartlyBufferedDrawSides = 6;
constexpr uint32_t kPartlyBufferedSettles = 3;

std::string number(uint32_t n) { return std::to_string(n); }

// A name slot of the settings record, read up to its terminating zero but
// never past the slot.

std::string activityText(App& app) {
  RunState& run = app.run;
  const bool diagnostics = run.diagnostics.load() != 0;
  std::string text;
  if (run.commandSlot.load() == kQuitCode) {
    text = "Plinka Quiting";
  } else if (app.builder.busy.load() == 1) {
    text = "Plinka Building";
    if (diagnostics) {
      text += ", " + number(app.builder.retries.load());
    }
  } else if (run.playerRunning.load() != 0) {
    text = "Plinka Playing";
  } else if (app.builder.tooFewSongs.load() != 0) {
    // The list builder cannot choose from so few songs: saying "Ready" would
    // leave the user waiting for a list that never comes.
    text = kTooFewSongsText;
  } else {
    text = "Plinka Ready";
  }
  library::BufferStage unbuffered = library::BufferStage::Unbuffered;
  if (app.bufferCache.stage.compare_exchange_strong(unbuffered, library::BufferStage::Buffered)) {
    text += " (Un-Buffered)";
  }
  if (diagnostics) {
    const uint32_t tick = run.diagnosticsTick.load();
    text += tick < 25 ? " /" : tick < 50 ? " -" : tick < 75 ? " \\" : " |";
  }
  if (app.status.messagePending.exchange(0) != 0) {
    std::lock_guard lock(app.status.messageMutex);
    text += ", " + app.status.message;
  }
  return text;
}

std::string listText(App& app) {
  std::string text = number(static_cast<uint32_t>(app.run.listCount.load())) + " songs prepared";
  if (app.settings.bufferMode == 0) {
    return text;
  }
  const library::BufferStage stage = app.bufferCache.stage.load();
  if (stage == library::BufferStage::Buffering) {
    text += " (Buffering)";
  } else if (stage == library::BufferStage::PartlyBuffered) {
    text += " (Partially Buffered)";
    if (drawRandom(app, kPartlyBufferedDrawSides) == kPartlyBufferedSettles) {
      library::BufferStage expected = library::BufferStage::PartlyBuffered;
      app.bufferCache.stage.compare_exchange_strong(expected, library::BufferStage::Buffered);
    }
  } else if (stage == library::BufferStage::Error) {
    text += " Buffer Error";
  } else {
    text += " (Buffered)";
  }
  return text;
}

std::string databaseText(App& app) {
  const uint32_t build = app.run.buildState.load();
  if (build >= kOfflineFirst && build <= kOfflineLocked) {
    return "DB Offline";
  }
  std::string text = number(app.songsInUse.load()) + " entries";
  if (app.idWorker.running.load() != 0) {
    text += " (Hashing)";
  }
  if (app.editQueue.writerRunning.load() != 0) {
    text += " (Clearing Cache)";
  }
  return text;
}

std::string listenerText(App& app) {
  const SettingsRecord& settings = app.settings;
  const uint32_t state = currentStateIndex(app);
  std::string text = "User ";
  {
    const uint32_t user = app.shared.stateUser[state].load();
    if (user < static_cast<uint32_t>(kUserCount)) {
      text += text::fixedText(settings.userName[user]);
    }
    const uint32_t altMode = app.shared.stateAltMode[state].load();
    if (altMode != 0 && altMode <= static_cast<uint32_t>(kAltModeCount)) {
      text += ", " + text::fixedText(settings.altModeName[altMode]) + " Mode";
    }
  }
  if (app.run.diagnostics.load() != 0) {
    text += ", " + number(app.editQueue.writerStep.load()) + ", " + number(app.mainWindow.optionsSaveStep.load());
  }
  return text;
}

}  // namespace

StatusTexts composeStatus(App& app) {
  StatusTexts texts;
  texts.part[0] = activityText(app);
  texts.part[1] = listText(app);
  texts.part[2] = databaseText(app);
  texts.part[3] = listenerText(app);
  return texts;
}

void refreshStatus(App& app) {
  const StatusTexts texts = composeStatus(app);
  if (app.ui) {
    app.ui->showStatus(texts);
  }
}

}  // namespace plinka
