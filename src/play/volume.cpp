#include "play/volume.h"

#include "core/current_state.h"
#include "core/settings_shared.h"
#include "core/status_message.h"
#include "platform/playback.h"
#include "play/play_context.h"

#include <algorithm>
#include <cmath>

namespace plinka::play {

namespace {

uint32_t thousandths(double volume) {
  return static_cast<uint32_t>(std::lround(std::clamp(volume, 0.0, 1.0) * kVolumeCutRange));
}

void ask(PlayContext& app, double volume, bool fade) {
  app.player.volumeRequest.store(thousandths(volume) | (fade ? kVolumeFadeBit : 0));
  app.run.wake.notify();
  if (app.ui)
    app.ui->playerChanged(PlayerChange::Volume);
}

void apply(PlayContext& app, double volume) {
  PlayerState& ps = app.player;
  ps.volumeNow = volume;
  if (ps.playback)
    ps.playback->setVolume(platform::linearFromCubic(volume));
}

}  // namespace

double stateVolume(const CoreContext& app, uint32_t state) {
  if (state >= static_cast<uint32_t>(kStateCount))
    state = 0;
  const uint32_t cut = std::min(app.shared.stateVolumeCut[state].load(), kVolumeCutRange);
  return static_cast<double>(kVolumeCutRange - cut) / kVolumeCutRange;
}

double currentVolume(const CoreContext& app) { return stateVolume(app, currentStateIndex(app)); }

void setCurrentVolume(PlayContext& app, double volume, bool show) {
  // Not a number is no volume at all: the one there stays.
  if (std::isnan(volume))
    return;
  volume = std::clamp(volume, 0.0, 1.0);
  app.shared.stateVolumeCut[currentStateIndex(app)].store(kVolumeCutRange - thousandths(volume));
  if (show) {
    setOneShotMessage(app, volumeText(volume));
    noticeStatusChanged(app);
  }
  ask(app, volume, false);
}

void fadeToStateVolume(PlayContext& app) { ask(app, currentVolume(app), true); }

std::optional<std::chrono::steady_clock::time_point> stepVolume(PlayContext& app) {
  PlayerState& ps = app.player;
  const auto now = std::chrono::steady_clock::now();
  const uint32_t request = ps.volumeRequest.load();
  if (request != ps.volumeTaken) {
    const bool first = ps.volumeTaken == 0xFFFFFFFFu;
    ps.volumeTaken = request;
    const double target = static_cast<double>(std::min(request & kVolumeValueMask, kVolumeCutRange)) / kVolumeCutRange;
    if ((request & kVolumeFadeBit) != 0 && !first) {
      ps.fadeFrom = ps.volumeNow;
      ps.fadeTo = target;
      ps.fadeStart = now;
    } else {
      ps.fadeStart.reset();
      apply(app, target);
    }
  }
  if (!ps.fadeStart)
    return std::nullopt;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - *ps.fadeStart).count();
  if (elapsed >= kVolumeFadeMs) {
    ps.fadeStart.reset();
    apply(app, ps.fadeTo);
    return std::nullopt;
  }
  const double part = static_cast<double>(elapsed) / kVolumeFadeMs;
  apply(app, ps.fadeFrom + (ps.fadeTo - ps.fadeFrom) * part);
  return now + std::chrono::milliseconds(kVolumeFadeStepMs);
}

std::string volumeText(double volume) { return "Volume " + std::to_string((thousandths(volume) + 5) / 10) + "%"; }

}  // namespace plinka::play
