#include "app/settings_file.h"

#include "app/app.h"
#include "filler/filler_settings.h"
#include "library/edit_queue.h"

#include "core/random_source.h"
#include "core/settings_defaults.h"
#include "db/copies.h"
#include "db/table.h"
#include "platform/files.h"
#include "play/list_file.h"
#include "text/text.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace plinka {

SettingsRecord settingsImage(App& app) {
  SharedSettings& shared = app.shared;
  SettingsRecord image;
  {
    const std::lock_guard<std::mutex> hold(shared.imageLock);
    image = app.settings;
  }
  for (int i = 0; i < kStateCount; ++i) {
    image.stateUser[i] = shared.stateUser[i].load();
    image.stateAltMode[i] = shared.stateAltMode[i].load();
    image.stateVolumeCut[i] = shared.stateVolumeCut[i].load();
  }
  image.levelling = shared.levelling.load();
  image.hashStat = shared.hashStat.load();
  image.fillerSettings.rebufferValue = shared.rebufferValue.load();
  image.randomState = app.random.state.load();
  image.localBufferCount = library::editsWaiting(app);
  return image;
}

namespace {

constexpr char kCoverName[] = "Cover.jpg";
constexpr char kOldListName[] = "Playlist.m3u";
constexpr char kFirstStateListName[] = "PL1.m3u";

// The older layouts the loader takes over. Version 400 lacked the buffer,
// auto-rate and shutdown fields; versions 300-399 had one set of choices
// instead of ten States. Anything older is refused.
constexpr uint32_t kVersionWithoutBuffer = 400;
constexpr uint32_t kFirstSingleStateVersion = 300;
constexpr uint32_t kLastSingleStateVersion = 399;

constexpr char kTooOldMessage[] = "Sorry, you need to install version 1.3 first to upgrade your database";
constexpr char kSongTableMessage[] = "The song database could not be opened: ";
constexpr char kTooManySlotsMessage[] =
    "The song database declares more records than this computer's memory can hold, so it is not opened: ";
constexpr char kBusyMessage[] = "The song database is kept busy by another program and could not be opened: ";
constexpr char kNotAFileMessage[] = "The song database is not a regular file, so it is not opened: ";

const char* refusalMessage(db::OpenRefusal refusal) {
  switch (refusal) {
  case db::OpenRefusal::TooManySlots:
    return kTooManySlotsMessage;
  case db::OpenRefusal::Busy:
    return kBusyMessage;
  case db::OpenRefusal::NotAFile:
    return kNotAFileMessage;
  default:
    return kSongTableMessage;
  }
}

// The version a file's first bytes announce. Anything that is not this
// program's magic followed by three digits counts as foreign, a file cut
// inside its magic included.
uint32_t versionOf(const char* magic, size_t n) {
  if (n < kSettingsMagicSize || std::memcmp(magic, kSettingsMagic, 5) != 0)
    return kSettingsVersionForeign;
  if (std::memcmp(magic + 5, kSettingsMagic + 5, 3) == 0)
    return kSettingsVersionCurrent;
  uint32_t version = 0;
  for (size_t i = 5; i < kSettingsMagicSize; ++i) {
    if (magic[i] < '0' || magic[i] > '9')
      return kSettingsVersionForeign;
    version = version * 10 + static_cast<uint32_t>(magic[i] - '0');
  }
  return version;
}

constexpr char kCutShortMessage[] =
    "The settings file is damaged: it ends in the middle of a setting, which keeps its default. The song database "
    "is ";

// The text slots of the record: where each array of slots begins, how wide
// one slot is and how many there are.
struct TextSlots {
  size_t offset;
  size_t width;
  size_t count;
};
constexpr TextSlots kTextSlots[] = {
    {offsetof(SettingsRecord, databasePath), kPathSize, 1},
    {offsetof(SettingsRecord, userName), kNameSize, kUserCount},
    {offsetof(SettingsRecord, altModeName), kNameSize, 11},
    {offsetof(SettingsRecord, altModePattern), kNameSize, 10},
    {offsetof(SettingsRecord, recentArtists), 70, 20},
    {offsetof(SettingsRecord, importSource), kPathSize, 1},
    {offsetof(SettingsRecord, stateName), kNameSize, kStateCount},
    {offsetof(SettingsRecord, fillerSettings) + offsetof(FillerSettings, fillDirectory), kPathSize, 1},
};

// A file that ends inside a text, before the text's end, holds only the
// front of it: half a database path would name some other file. Such a text
// gets its default back (from `defaults`); true when one did.
bool restoreCutText(SettingsRecord& s, const SettingsRecord& defaults, size_t got) {
  auto* bytes = reinterpret_cast<char*>(&s);
  const auto* fallback = reinterpret_cast<const char*>(&defaults);
  for (const TextSlots& slots : kTextSlots) {
    if (got <= slots.offset || got >= slots.offset + slots.width * slots.count)
      continue;
    const size_t start = slots.offset + (got - slots.offset) / slots.width * slots.width;
    if (got > start && std::memchr(bytes + start, 0, got - start) == nullptr) {
      std::memcpy(bytes + start, fallback + start, slots.width);
      return true;
    }
  }
  return false;
}

// Reads the file's version and as much of the record as it holds over the
// record already in `s`. False (s untouched) when the file cannot be opened.
// `cutText` tells whether the file ended inside a text (see restoreCutText).
bool readSettingsFile(const std::string& path, uint32_t& version, SettingsRecord& s, bool& cutText) {
  if (!platform::fileExists(path))
    return false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file)
    return false;
  char magic[kSettingsMagicSize];
  const size_t n = std::fread(magic, 1, sizeof magic, file);
  version = versionOf(magic, n);
  if (n == sizeof magic) {
    char bytes[sizeof(SettingsRecord)];
    const size_t got = std::fread(bytes, 1, sizeof bytes, file);
    const SettingsRecord defaults = s;
    std::memcpy(&s, bytes, got);
    cutText = restoreCutText(s, defaults, got);
  }
  std::fclose(file);
  return true;
}

template <size_t N> void terminate(char (&slot)[N]) { slot[N - 1] = 0; }

// Makes every index the record holds safe to use for the arrays it selects,
// ends every text slot with a zero and resets the two values that never
// outlive a run.
void makeIndexesSafe(SettingsRecord& s) {
  if (s.currentState >= static_cast<uint32_t>(kStateCount))
    s.currentState = 0;
  for (int i = 0; i < kStateCount; ++i) {
    if (s.stateUser[i] >= static_cast<uint32_t>(kUserCount))
      s.stateUser[i] = 0;
    // 10 is kept: the keyboard can select it and it has a pattern slot.
    if (s.stateAltMode[i] > 10)
      s.stateAltMode[i] = 0;
    if (s.stateVolumeCut[i] > kVolumeCutRange)
      s.stateVolumeCut[i] = kVolumeCutRange;
  }
  if (s.levelling >= kLevellingChoices)
    s.levelling = static_cast<uint32_t>(Levelling::Off);
  terminate(s.databasePath);
  for (auto& name : s.userName)
    terminate(name);
  for (auto& name : s.altModeName)
    terminate(name);
  for (auto& pattern : s.altModePattern)
    terminate(pattern);
  for (auto& artist : s.recentArtists)
    terminate(artist);
  terminate(s.importSource);
  for (auto& name : s.stateName)
    terminate(name);
  terminate(s.fillerSettings.fillDirectory);
  s.localBufferCount = -1;
  s.localDbFlag = 1;
}

void showWelcome(App& app, LoadOutcome& outcome) {
  outcome.welcomeShown = true;
  if (app.ui && app.ui->showWelcome() == kPromptFirst)
    outcome.importRequested = true;
}

// A style-11 message with "OK" and "View ReadMe"; the second opens the help.
void tellWithHelp(App& app, const std::string& message) {
  if (!app.ui)
    return;
  PromptRequest request;
  request.message = message;
  request.firstCaption = "OK";
  request.secondCaption = "View ReadMe";
  request.style = PromptStyle::SmallQuestion;
  if (app.ui->prompt(request, nullptr) == kPromptSecond)
    app.ui->openHelp();
}

// kVersionWithoutBuffer lacked the buffer, auto-rate and shutdown fields.
void upgradeFrom400(SettingsRecord& s) {
  s.bufferMode = 1;
  s.bufferSize = 150;
  s.localBufferCount = -1;
  s.autoRateSpeed = 1;
  s.autoRate = 0;
  s.shutdownAfterBuild = 0;
}

// The single-State versions had one set of choices instead of ten States,
// and one list file under another name.
void upgradeFrom3xx(SettingsRecord& s, const Folders& folders) {
  stateReset(s);
  s.statePlayUpTo[0] = s.oldStatePlayUpTo;
  s.stateMinRating[0] = s.oldStateMinRating;
  s.stateUser[0] = s.oldStateUser;
  s.stateNoArtistRepeat[0] = s.oldStateNoArtistRepeat;
  const std::string oldList = folders.data + kOldListName;
  if (platform::fileExists(oldList))
    platform::copyFile(oldList, folders.data + kFirstStateListName, true);
}

// True when something other than an empty file lies at path: a song table
// that could not be opened there must not be replaced by an empty one.
bool somethingAt(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status))
    return false;
  if (std::filesystem::is_regular_file(status)) {
    const auto size = std::filesystem::file_size(path, ec);
    return ec || size > 0;
  }
  return true;
}

// The song table must exist: open it (in network mode this also brings the
// local copy up to date), and make a new one only where there is none. One
// that exists but cannot be opened is left as it is.
void ensureSongTable(App& app, LoadOutcome& outcome) {
  db::prepareCopies(app);
  if (db::openSongTableForReading(app)) {
    db::closeTable(app.songTable);
    return;
  }
  const std::string path = app.settings.databasePath;
  if (path.empty())
    return;
  if (somethingAt(path)) {
    outcome.songTableUnreadable = true;
    // In network mode the failed open has told the user already.
    if (app.settings.networkMode == 0)
      tellWithHelp(app, refusalMessage(app.songTable.refusal) + path);
    return;
  }
  outcome.songTableCreated = db::createSongTable(path.c_str());
}

// The default cover ships beside the program; the cover search looks for it
// in the data folder.
void copyDefaultCover(const Folders& folders) {
  const std::string target = folders.data + kCoverName;
  const std::string source = folders.program + kCoverName;
  if (!platform::fileExists(target) && platform::fileExists(source))
    platform::copyFile(source, target, false);
}

// A settings file that this program reads as its own layout but did not
// write (a newer version's, or another program's) would be lost to the first
// save. A copy is kept beside it first: "dPlinka.dat.v" and the version's
// three digits, or "dPlinka.dat.foreign". An earlier copy under that name
// is replaced: the file now in place is the newest that version wrote.
std::string keepUnknownFile(const std::string& path, uint32_t version) {
  char suffix[16];
  if (version == kSettingsVersionForeign)
    std::snprintf(suffix, sizeof suffix, ".foreign");
  else
    std::snprintf(suffix, sizeof suffix, ".v%03u", static_cast<unsigned>(version));
  const std::string kept = path + suffix;
  return platform::copyFile(path, kept, true) ? kept : std::string();
}

}  // namespace

LoadOutcome loadSettings(App& app) {
  LoadOutcome outcome;
  SettingsRecord& s = app.settings;
  // Defaults first: whatever a short file does not hold keeps them.
  firstRunDefaults(s, app.folders);

  uint32_t version = 0;
  bool cutText = false;
  const std::string dataFile = app.folders.data + kSettingsFileName;
  const bool inDataFolder = readSettingsFile(dataFile, version, s, cutText);
  outcome.fileFound = inDataFolder || readSettingsFile(app.folders.program + kSettingsFileName, version, s, cutText);
  outcome.version = outcome.fileFound ? version : 0;

  if (!outcome.fileFound) {
    showWelcome(app, outcome);
  } else if (version == kVersionWithoutBuffer) {
    upgradeFrom400(s);
  } else if (version >= kFirstSingleStateVersion && version <= kLastSingleStateVersion) {
    upgradeFrom3xx(s, app.folders);
  } else if (version < kFirstSingleStateVersion) {
    makeIndexesSafe(s);
    shareSettings(app);
    tellWithHelp(app, kTooOldMessage);
    outcome.mustEnd = true;
    return outcome;
  } else if (version != kSettingsVersionCurrent) {
    // Saving writes the data folder's file; one beside the program stays.
    if (inDataFolder)
      outcome.unknownFileKeptAs = keepUnknownFile(dataFile, version);
    stateReset(s);
    showWelcome(app, outcome);
  }
  makeIndexesSafe(s);
  if (cutText) {
    outcome.settingsCutShort = true;
    tellWithHelp(app, kCutShortMessage + std::string(s.databasePath));
  }

  shareSettings(app);
  ensureSongTable(app, outcome);
  if (!outcome.fileFound || version != kSettingsVersionCurrent)
    copyDefaultCover(app.folders);
  return outcome;
}

bool saveSettings(App& app) {
  const SettingsRecord image = settingsImage(app);
  char bytes[kSettingsFileSize];
  std::memcpy(bytes, kSettingsMagic, kSettingsMagicSize);
  std::memcpy(bytes + kSettingsMagicSize, &image, sizeof(SettingsRecord));
  if (!platform::replaceFile(app.folders.data + kSettingsFileName, bytes, sizeof bytes))
    return false;
  if (app.listFileKept.load() != 0)
    return true;
  return play::saveStateList(app);
}

void resetFillerSettings(App& app) {
  // The front end is set aside while the file is read again: a missing file
  // would show the Welcome window once more, and the start-up has already
  // told the user what the file's state is.
  FrontEnd* const ui = app.ui;
  app.ui = nullptr;
  loadSettings(app);
  app.ui = ui;
  fillerBlockReset(app.settings.fillerSettings, app.settings);
  filler::makeFillerBlockSafe(app.settings.fillerSettings);
}

}  // namespace plinka
