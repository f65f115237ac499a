#include "desk/internals_values.h"

#include "app/app.h"
#include "library/loudness_job.h"

#include <mutex>

namespace plinka {

namespace {

constexpr uint32_t kDefaultRatings[10] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512};
constexpr uint32_t kDefaultTarget = 1000;
constexpr uint32_t kDefaultImport = 16;
constexpr uint32_t kAlternateRatings[10] = {1, 4, 8, 16, 32, 64, 128, 256, 512, 1024};
constexpr uint32_t kAlternateTarget = 2000;
constexpr uint32_t kAlternateImport = 32;

std::string number(uint32_t value) { return std::to_string(value); }

void applyScheme(InternalsEntries& entries, const uint32_t (&ratings)[10], uint32_t target, uint32_t import) {
  for (size_t k = 0; k < entries.ratingValue.size(); ++k)
    entries.ratingValue[k] = number(ratings[k]);
  entries.targetValue = number(target);
  entries.defaultImport = number(import);
}

std::string notANumber(const char* field) {
  return std::string("\"") + field + "\" must be a whole number from 0 to 4294967295.";
}

}  // namespace

InternalsEntries internalsEntriesOf(const SettingsRecord& settings) {
  InternalsEntries entries;
  for (size_t k = 0; k < entries.ratingValue.size(); ++k)
    entries.ratingValue[k] = number(settings.ratingValue[k]);
  entries.targetValue = number(settings.targetValue);
  entries.defaultImport = number(settings.defaultImportValue);
  entries.bufferSize = number(settings.bufferSize);
  entries.lameCheck = settings.lameCheck != 0;
  const uint32_t speed = settings.autoRateSpeed;
  entries.autoRateSpeed = speed < kAutoRateSpeedCount ? speed : 1;
  return entries;
}

void applyDefaultScheme(InternalsEntries& entries) {
  applyScheme(entries, kDefaultRatings, kDefaultTarget, kDefaultImport);
}

void applyAlternateScheme(InternalsEntries& entries) {
  applyScheme(entries, kAlternateRatings, kAlternateTarget, kAlternateImport);
}

bool parseUnsigned(const std::string& text, uint32_t& value) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos)
    return false;
  const size_t end = text.find_last_not_of(' ') + 1;
  uint64_t v = 0;
  for (size_t k = begin; k < end; ++k) {
    const char c = text[k];
    if (c < '0' || c > '9')
      return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
    if (v > UINT32_MAX)
      return false;
  }
  value = static_cast<uint32_t>(v);
  return true;
}

std::string storeInternals(SettingsRecord& settings, const InternalsEntries& entries) {
  // Every field is checked before anything is stored, so a refused entry
  // leaves the settings as they were.
  uint32_t target = 0;
  uint32_t import = 0;
  uint32_t buffer = 0;
  if (!parseUnsigned(entries.targetValue, target))
    return notANumber("Target Value");
  if (!parseUnsigned(entries.defaultImport, import))
    return notANumber("Default Import");
  if (!parseUnsigned(entries.bufferSize, buffer))
    return notANumber("Buffer Size");
  for (size_t k = 0; k < entries.ratingValue.size(); ++k) {
    uint32_t rating = 0;
    if (!parseUnsigned(entries.ratingValue[k], rating))
      rating = 0;
    settings.ratingValue[k] = rating;
  }
  settings.targetValue = target;
  settings.defaultImportValue = import;
  settings.bufferSize = buffer;
  settings.lameCheck = entries.lameCheck ? 1 : 0;
  settings.autoRateSpeed = entries.autoRateSpeed < kAutoRateSpeedCount ? entries.autoRateSpeed : 1;
  return {};
}

InternalsReadouts internalsReadouts(App& app) {
  InternalsReadouts r;
  {
    // The build pass changes its time limit under the image lock.
    const std::lock_guard hold(app.shared.imageLock);
    r.buildTime = number(app.settings.buildTime);
  }
  r.currRate = number(app.details.currentSongScore.load());
  // No queue yet (-1) means no edit is waiting.
  const int32_t waitingEdits = app.editQueue.count.load();
  r.lbBuffer = number(waitingEdits > 0 ? static_cast<uint32_t>(waitingEdits) : 0);
  r.hashStat = number(app.shared.hashStat.load());
  r.dbAverage = number(app.builder.dbAverage.load());
  const RunState& run = app.run;
  r.listState = number(run.buildState.load());
  r.workPos = number(run.workPosition.load()) + ", " + number(app.editQueue.writerStep.load());
  r.waiting = number(run.commandSlot.load()) + ", " + number(run.lastTakenCommand.load()) + ", " +
              number(run.posterCount.load());
  if (const uint32_t busy = run.busyCode.load(); busy != 0)
    r.waiting += " Doing " + number(busy);
  if (run.processorLock.load() != 0)
    r.waiting += " WaitUp";
  r.loudness = library::loudnessProgressText(app);
  if (app.loudness.running.load() != 0)
    r.loudness += " (measuring)";
  return r;
}

}  // namespace plinka
