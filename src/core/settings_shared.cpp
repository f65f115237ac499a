#include "core/settings_shared.h"

#include "core/core_context.h"
#include "core/current_state.h"

namespace plinka {

void shareSettings(CoreContext& app) {
  SharedSettings& shared = app.shared;
  const std::lock_guard<std::mutex> hold(shared.imageLock);
  const SettingsRecord& s = app.settings;
  for (int i = 0; i < kStateCount; ++i) {
    shared.stateUser[i].store(s.stateUser[i]);
    shared.stateAltMode[i].store(s.stateAltMode[i]);
    shared.stateVolumeCut[i].store(s.stateVolumeCut[i]);
  }
  shared.levelling.store(s.levelling);
  shared.hashStat.store(s.hashStat);
  shared.rebufferValue.store(s.fillerSettings.rebufferValue);
  app.random.state.store(s.randomState);
}

// The words are read and written by name: quickLinkChoice, at an odd offset
// of the packed record, cannot be bound to a reference.
uint32_t pictureSetting(CoreContext& app, PictureSetting which) {
  const std::lock_guard<std::mutex> hold(app.shared.imageLock);
  const SettingsRecord& s = app.settings;
  switch (which) {
  case PictureSetting::CoverArt:
    return s.coverArt;
  case PictureSetting::CoverChoice:
    return s.coverChoice;
  case PictureSetting::QuickLinkChoice:
    break;
  }
  return s.quickLinkChoice;
}

void setPictureSetting(CoreContext& app, PictureSetting which, uint32_t value) {
  const std::lock_guard<std::mutex> hold(app.shared.imageLock);
  SettingsRecord& s = app.settings;
  switch (which) {
  case PictureSetting::CoverArt:
    s.coverArt = value;
    return;
  case PictureSetting::CoverChoice:
    s.coverChoice = value;
    return;
  case PictureSetting::QuickLinkChoice:
    s.quickLinkChoice = value;
    return;
  }
}

void lowerHashStat(CoreContext& app, uint32_t step) {
  uint32_t seen = app.shared.hashStat.load();
  while (!app.shared.hashStat.compare_exchange_weak(seen, seen > step ? seen - step : 0)) {
  }
}

}  // namespace plinka
