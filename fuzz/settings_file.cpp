// Hands any bytes to the settings load as "dPlinka.dat" in a data folder of
// its own. Whatever the file holds, the loaded record must be safe to use:
// every index within its array and every text ended inside its slot. Saving
// that record and loading it again must give the same record.
//
// The database path a file names is where the load makes a song table when
// none is there. So that the run writes nowhere but its own folder, a path
// that names anything but a file in the data folder is replaced by the data
// folder's song table (an empty path stays).
#include "app/settings_file.h"
#include "app/app.h"
#include "core/current_state.h"
#include "scratch_folder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace plinka;

namespace {

const std::string& dataFolder() {
  static const std::string folder = fuzz::scratchFolder() + "data/";
  return folder;
}

void emptyFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    std::filesystem::remove_all(entry.path(), ec);
}

// Keeps the file's database path inside the run's folders (see above).
void keepPathHome(std::vector<uint8_t>& file) {
  const size_t begin = kSettingsMagicSize + offsetof(SettingsRecord, databasePath);
  const size_t end = std::min(file.size(), begin + kPathSize);
  if (file.size() <= begin)
    return;
  const auto* first = file.data() + begin;
  const auto* zero = static_cast<const uint8_t*>(std::memchr(first, 0, end - begin));
  const std::string_view path(reinterpret_cast<const char*>(first), zero ? zero - first : end - begin);
  if (path.empty() || (path.starts_with(dataFolder()) && path.find('/', dataFolder().size()) == std::string_view::npos))
    return;
  std::string home = dataFolder() + "Plinka.cvf";
  home.resize(kPathSize, '\0');
  std::memcpy(file.data() + begin, home.data(), end - begin);
}

bool terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

void checkSafe(App& app) {
  const SettingsRecord& s = app.settings;
  fuzz::require(s.currentState < kStateCount && currentStateIndex(app) < kStateCount);
  fuzz::require(currentUser(app) < kUserCount && currentAltMode(app) <= 10);
  for (int i = 0; i < kStateCount; ++i)
    fuzz::require(s.stateUser[i] < kUserCount && s.stateAltMode[i] <= 10);
  fuzz::require(terminated(s.databasePath, sizeof s.databasePath) &&
                terminated(s.importSource, sizeof s.importSource) &&
                terminated(s.fillerSettings.fillDirectory, sizeof s.fillerSettings.fillDirectory));
  for (const auto& text : s.userName)
    fuzz::require(terminated(text, sizeof text));
  for (const auto& text : s.altModeName)
    fuzz::require(terminated(text, sizeof text));
  for (const auto& text : s.altModePattern)
    fuzz::require(terminated(text, sizeof text));
  for (const auto& text : s.recentArtists)
    fuzz::require(terminated(text, sizeof text));
  for (const auto& text : s.stateName)
    fuzz::require(terminated(text, sizeof text));
}

std::unique_ptr<App> freshApp() {
  auto app = std::make_unique<App>();
  app->folders.data = dataFolder();
  app->folders.program = fuzz::scratchFolder() + "program/";
  return app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  emptyFolder(dataFolder());
  std::vector<uint8_t> file(data, data + size);
  keepPathHome(file);
  fuzz::writeInput(dataFolder() + kSettingsFileName, file.data(), file.size());

  auto first = freshApp();
  const LoadOutcome outcome = loadSettings(*first);
  checkSafe(*first);
  if (outcome.mustEnd)
    return 0;

  // What was loaded survives a save and a load unchanged.
  first->listFileKept.store(1);
  fuzz::require(saveSettings(*first));
  auto second = freshApp();
  const LoadOutcome again = loadSettings(*second);
  fuzz::require(again.fileFound && again.version == kSettingsVersionCurrent && !again.settingsCutShort);
  fuzz::require(std::memcmp(&first->settings, &second->settings, sizeof(SettingsRecord)) == 0);
  return 0;
}
