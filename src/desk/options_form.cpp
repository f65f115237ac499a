#include "desk/options_form.h"

#include "app/app.h"
#include "core/current_state.h"
#include "core/settings_defaults.h"
#include "desk/status_texts.h"
#include "play/volume.h"
#include "text/text.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <mutex>

namespace plinka {

namespace {

// Puts a checked text (at most kOptionTextMax bytes) into a settings slot,
// clearing the rest of the slot.
void putText(char (&slot)[kNameSize], const std::string& value) {
  std::memset(slot, 0, sizeof slot);
  std::memcpy(slot, value.data(), std::min(value.size(), kOptionTextMax));
}

std::string slotText(const char (&slot)[kNameSize]) { return text::fixedText(slot); }

// The record's file-type words, in the record's order. Packed words are
// read and written by name.
// The `newTypesOff` bit of a type added after the first eight; 0 for those.
uint32_t newTypeBitOf(FileType type) {
  const int later = static_cast<int>(type) - static_cast<int>(FileType::Flac);
  return later >= 0 ? 1u << later : 0;
}
static_assert(1u << (static_cast<int>(FileType::Webm) - static_cast<int>(FileType::Flac)) == kNewTypeBitWebm);
static_assert(1u << (static_cast<int>(FileType::Ogg) - static_cast<int>(FileType::Flac)) == kNewTypeBitOgg);
static_assert(1u << (static_cast<int>(FileType::Mp4) - static_cast<int>(FileType::Flac)) == kNewTypeBitMp4);

bool typeFlag(const SettingsRecord& s, FileType type) {
  if (const uint32_t bit = newTypeBitOf(type))
    return (s.newTypesOff & bit) == 0;
  switch (type) {
  case FileType::Mp3:
    return s.typeMp3 != 0;
  case FileType::Avi:
    return s.typeAvi != 0;
  case FileType::Wav:
    return s.typeWav != 0;
  case FileType::Mpeg:
    return s.typeMpeg != 0;
  case FileType::Midi:
    return s.typeMidi != 0;
  case FileType::Wma:
    return s.typeWma != 0;
  case FileType::Asf:
    return s.typeAsf != 0;
  default:
    break;
  }
  return s.typeWmv != 0;
}

void setTypeFlag(SettingsRecord& s, FileType type, bool on) {
  if (const uint32_t bit = newTypeBitOf(type)) {
    s.newTypesOff = on ? (s.newTypesOff & ~bit) : (s.newTypesOff | bit);
    return;
  }
  const uint32_t value = on ? 1 : 0;
  switch (type) {
  case FileType::Mp3:
    s.typeMp3 = value;
    return;
  case FileType::Avi:
    s.typeAvi = value;
    return;
  case FileType::Wav:
    s.typeWav = value;
    return;
  case FileType::Mpeg:
    s.typeMpeg = value;
    return;
  case FileType::Midi:
    s.typeMidi = value;
    return;
  case FileType::Wma:
    s.typeWma = value;
    return;
  case FileType::Asf:
    s.typeAsf = value;
    return;
  case FileType::Wmv:
  default:
    s.typeWmv = value;
    return;
  }
}

// A stored list choice as the list's entry, kNoChoice when it lies outside
// the list (a damaged record, or alt mode 10 chosen with the keys).
int32_t choiceOf(uint32_t value, int entries) {
  return value < static_cast<uint32_t>(entries) ? static_cast<int32_t>(value) : kNoChoice;
}

bool isChoice(int32_t choice, int entries) { return choice >= 0 && choice < entries; }

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// Marks the Options window as applying a change while it lives (shown in the
// status texts in diagnostics mode).
class SaveStep {
public:
  explicit SaveStep(App& app) : app_(app) { app_.mainWindow.optionsSaveStep.store(kApplying); }
  ~SaveStep() { app_.mainWindow.optionsSaveStep.store(0); }
  SaveStep(const SaveStep&) = delete;
  SaveStep& operator=(const SaveStep&) = delete;

private:
  static constexpr uint32_t kApplying = 3;
  App& app_;
};

std::string tooLong(const std::string& what) {
  return what + " is too long: at most " + std::to_string(kOptionTextMax) +
         " bytes are kept (a letter outside A-Z can take two or more).";
}

}  // namespace

StateChoices readStateChoices(const App& app, uint32_t state) {
  StateChoices c;
  if (state >= static_cast<uint32_t>(kStateCount))
    return c;
  const SettingsRecord& s = app.settings;
  c.playUpTo = choiceOf(s.statePlayUpTo[state], kPlayUpToChoices);
  c.minRating = choiceOf(s.stateMinRating[state], kMinRatingChoices);
  c.user = choiceOf(app.shared.stateUser[state].load(), kUserCount);
  c.altMode = choiceOf(app.shared.stateAltMode[state].load(), kAltModeChoices);
  c.noArtistRepeat = s.stateNoArtistRepeat[state] != 0;
  c.history = s.stateHistory[state] != 0;
  return c;
}

void storeStateChoices(App& app, uint32_t state, const StateChoices& c) {
  if (state >= static_cast<uint32_t>(kStateCount))
    return;
  SettingsRecord& s = app.settings;
  if (isChoice(c.playUpTo, kPlayUpToChoices))
    s.statePlayUpTo[state] = static_cast<uint32_t>(c.playUpTo);
  if (isChoice(c.minRating, kMinRatingChoices))
    s.stateMinRating[state] = static_cast<uint32_t>(c.minRating);
  s.stateNoArtistRepeat[state] = c.noArtistRepeat ? 1 : 0;
  s.stateHistory[state] = c.history ? 1 : 0;
  if (isChoice(c.altMode, kAltModeChoices))
    setStateAltMode(app, state, static_cast<uint32_t>(c.altMode));
  // While a pattern of users is followed, the list builder moves the user on:
  // the user shown when the window opened may be out of date.
  if (isChoice(c.user, kUserCount) && app.shared.stateAltMode[state].load() == 0)
    setStateUser(app, state, static_cast<uint32_t>(c.user));
}

OptionsForm readOptions(const App& app) {
  const SettingsRecord& s = app.settings;
  OptionsForm f;
  for (int u = 0; u < kUserCount; ++u)
    f.userNames[u] = slotText(s.userName[u]);
  for (int k = 0; k < kPatternModes; ++k) {
    f.altModeNames[k] = slotText(s.altModeName[k + 1]);
    f.altModePatterns[k] = slotText(s.altModePattern[k]);
  }
  f.typeAll = s.typeAll != 0;
  for (int t = 0; t < kFileTypeCount; ++t)
    f.types[t] = typeFlag(s, static_cast<FileType>(t));
  f.state = currentStateIndex(app);
  f.choices = readStateChoices(app, f.state);
  f.prepare = std::to_string(s.prepareCount);
  f.fullMovie = s.fullMovie != 0;
  f.autoBuild = s.autoBuild != 0;
  f.dirToId = s.dirToId != 0;
  f.network = s.networkMode != 0;
  f.shutdown = s.shutdownAfterBuild != 0;
  f.autoMini = s.autoMini != 0;
  f.coverArt = s.coverArt != 0;
  f.buffer = s.bufferMode != 0;
  f.tray = s.trayMinimise != 0;
  f.autoRate = s.autoRate != 0;
  f.levelling = static_cast<int32_t>(app.shared.levelling.load());
  f.autoPlay = s.autoPlay != 0;
  f.markVideo = s.markVideo != 0;
  f.showRate = s.showRate != 0;
  f.onTop = s.onTop != 0;
  return f;
}

std::optional<uint32_t> prepareCountOf(const std::string& typed) {
  size_t first = 0;
  size_t end = typed.size();
  while (first < end && isSpace(typed[first]))
    ++first;
  while (end > first && isSpace(typed[end - 1]))
    --end;
  if (first == end)
    return 0;
  uint64_t value = 0;
  for (size_t i = first; i < end; ++i) {
    const char c = typed[i];
    if (c < '0' || c > '9')
      return 0;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > std::numeric_limits<uint32_t>::max())
      return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<OptionsRefusal> checkOptions(const OptionsForm& form) {
  using Field = OptionsRefusal::Field;
  for (int u = 0; u < kUserCount; ++u)
    if (form.userNames[u].size() > kOptionTextMax)
      return OptionsRefusal{Field::UserName, u, tooLong("The name of user " + std::to_string(u + 1))};
  for (int k = 0; k < kPatternModes; ++k) {
    if (form.altModePatterns[k].size() > kOptionTextMax)
      return OptionsRefusal{Field::AltModePattern, k, tooLong("The pattern of alt mode " + std::to_string(k + 1))};
    if (form.altModeNames[k].size() > kOptionTextMax)
      return OptionsRefusal{Field::AltModeName, k, tooLong("The name of alt mode " + std::to_string(k + 1))};
  }
  if (!prepareCountOf(form.prepare))
    return OptionsRefusal{Field::Prepare, 0,
                          "\"Prepare\" is too large: at most " + std::to_string(std::numeric_limits<uint32_t>::max()) +
                              " songs can be prepared."};
  return std::nullopt;
}

OptionsStored storeOptions(App& app, const OptionsForm& form) {
  OptionsStored stored;
  stored.refused = checkOptions(form);
  if (stored.refused)
    return stored;
  const SaveStep step(app);
  SettingsRecord& s = app.settings;

  for (int u = 0; u < kUserCount; ++u)
    putText(s.userName[u], form.userNames[u]);
  for (int k = 0; k < kPatternModes; ++k) {
    putText(s.altModePattern[k], form.altModePatterns[k]);
    putText(s.altModeName[k + 1], form.altModeNames[k]);
  }

  s.prepareCount = *prepareCountOf(form.prepare);

  for (int t = 0; t < kFileTypeCount; ++t)
    setTypeFlag(s, static_cast<FileType>(t), form.types[t]);
  s.typeAll = form.typeAll ? 1 : 0;
  storeStateChoices(app, form.state, form.choices);

  s.trayMinimise = form.tray ? 1 : 0;
  // Copying songs to the local drive is for songs kept on the network only.
  const uint32_t bufferMode = form.network && form.buffer ? 1 : 0;
  stored.bufferChanged = s.bufferMode != bufferMode;
  {
    // A buffering run reads the switch while it copies.
    const std::lock_guard<std::mutex> hold(app.shared.imageLock);
    s.bufferMode = bufferMode;
  }

  s.dirToId = form.dirToId ? 1 : 0;
  s.networkMode = form.network ? 1 : 0;
  s.autoBuild = form.autoBuild ? 1 : 0;
  s.markVideo = form.markVideo ? 1 : 0;
  s.showRate = form.showRate ? 1 : 0;
  const uint32_t onTop = form.onTop ? 1 : 0;
  stored.onTopChanged = s.onTop != onTop;
  s.onTop = onTop;
  s.shutdownAfterBuild = form.shutdown ? 1 : 0;
  s.autoPlay = form.autoPlay ? 1 : 0;
  const uint32_t coverArt = form.coverArt ? 1 : 0;
  stored.coverArtChanged = s.coverArt != coverArt;
  setPictureSetting(app, PictureSetting::CoverArt, coverArt);
  s.autoMini = form.autoMini ? 1 : 0;
  s.fullMovie = form.fullMovie ? 1 : 0;
  s.autoRate = form.autoRate ? 1 : 0;
  if (form.levelling >= 0 && form.levelling < static_cast<int32_t>(kLevellingChoices))
    app.shared.levelling.store(static_cast<uint32_t>(form.levelling));

  refreshStatus(app);
  // New choices may change the list: the cache is brought in line with it.
  if (app.bufferCache.stage.load() != library::BufferStage::Error)
    app.shared.rebufferValue.store(0);
  return stored;
}

void setTypeAll(App& app, bool all) { app.settings.typeAll = all ? 1 : 0; }

uint32_t resetOptions(App& app) {
  const SaveStep step(app);
  SharedSettings& shared = app.shared;
  uint32_t resetState = 0;
  {
    // The list builder's and the player's words, and the picture settings,
    // change under the image lock; so does currentState, which keeps its
    // value here: only the State switch changes it.
    const std::lock_guard<std::mutex> hold(shared.imageLock);
    SettingsRecord fresh = app.settings;
    fullReset(fresh);
    resetState = fresh.currentState;
    constexpr size_t stateAt = offsetof(SettingsRecord, currentState);
    constexpr size_t stateEnd = stateAt + sizeof(uint32_t);
    auto* to = reinterpret_cast<unsigned char*>(&app.settings);
    const auto* from = reinterpret_cast<const unsigned char*>(&fresh);
    std::memcpy(to, from, stateAt);
    std::memcpy(to + stateEnd, from + stateEnd, sizeof(SettingsRecord) - stateEnd);
    // The twins of the words the reset changed. (The random source and the
    // re-buffer value are not reset: their twins keep running.)
    for (int i = 0; i < kStateCount; ++i) {
      shared.stateUser[i].store(fresh.stateUser[i]);
      shared.stateAltMode[i].store(fresh.stateAltMode[i]);
      shared.stateVolumeCut[i].store(fresh.stateVolumeCut[i]);
    }
    shared.hashStat.store(fresh.hashStat);
    shared.levelling.store(fresh.levelling);
  }
  play::setCurrentVolume(app, play::currentVolume(app), false);
  refreshStatus(app);
  return resetState;
}

}  // namespace plinka
