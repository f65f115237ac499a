#include "filler/filler_settings.h"

#include "core/current_state.h"
#include "core/settings_defaults.h"
#include "platform/files.h"
#include "play/play_context.h"

#include <cstring>

namespace plinka::filler {

void makeFillerBlockSafe(FillerSettings& block) {
  if (block.fillSize >= static_cast<uint32_t>(kFillSizeCount))
    block.fillSize = kDefaultFillSize;
  if (block.playUpTo >= kPlayUpToNames.size())
    block.playUpTo = 0;
  if (block.minRating > kHighestRating)
    block.minRating = 0;
  if (block.user >= static_cast<uint32_t>(kUserCount))
    block.user = 0;
  if (block.userMode >= kUserModeCount)
    block.userMode = 0;
  block.fillDirectory[kPathSize - 1] = 0;
}

uint32_t fillSizeIndex(const FillerSettings& block) {
  return block.fillSize < static_cast<uint32_t>(kFillSizeCount) ? block.fillSize : kDefaultFillSize;
}

bool loadFillerSettings(PlayContext& app) {
  FillerSettings& block = app.settings.fillerSettings;
  std::string bytes;
  if (!platform::readWholeFile(app.folders.data + kFillerSettingsFileName, bytes) || bytes.size() < kFillerFileSize) {
    fillerBlockReset(block, app.settings);
    makeFillerBlockSafe(block);
    return false;
  }
  std::memcpy(&block, bytes.data() + kFillerMagicSize, sizeof block);
  makeFillerBlockSafe(block);
  return true;
}

bool saveFillerSettings(const PlayContext& app) {
  char bytes[kFillerFileSize];
  std::memcpy(bytes, kSettingsMagic, kFillerMagicSize);
  std::memcpy(bytes + kFillerMagicSize, &app.settings.fillerSettings, sizeof(FillerSettings));
  return platform::replaceFile(app.folders.data + kFillerSettingsFileName, bytes, sizeof bytes);
}

bool droppedPathAccepted(const std::string& path) { return !path.empty() && path.find('.') == std::string::npos; }

void applyFillerChoices(PlayContext& app, const FillerSettings& block) {
  SettingsRecord& s = app.settings;
  s.typeAll = block.typeAll;
  s.typeAvi = block.typeAvi;
  s.typeMp3 = block.typeMp3;
  s.typeMpeg = block.typeMpeg;
  s.typeWav = block.typeWav;
  s.typeMidi = block.typeMidi;
  s.typeWma = block.typeWma;
  s.typeWmv = block.typeWmv;
  s.typeAsf = block.typeAsf;
  s.newTypesOff = block.newTypesOff;
  const uint32_t state = currentStateIndex(app);
  s.stateMinRating[state] = block.minRating;
  s.statePlayUpTo[state] = block.playUpTo;
  setStateUser(app, state, block.user);
  setStateAltMode(app, state, block.userMode);
}

}  // namespace plinka::filler
