// A small program the fault-injection tests run, one write path per run, on
// a folder of their own: the writes plinkactl has no verb for (the settings
// save with its list file, the list save alone, a buffering run of the
// buffer cache). It is run with the fault shim preloaded, so that one of its
// disk calls fails; its exit status says whether it reported a failure.
//
//   fault_driver settings DATA        saves the settings (and the list) anew
//   fault_driver list DATA            writes the list file PL1.m3u anew
//   fault_driver cache DATA SHARE     buffers the songs of SHARE into DATA/cache/
//
// Exit status: 0 done, 1 the path reported a failure, 2 bad arguments.
#include "app/app.h"
#include "app/settings_file.h"
#include "core/settings_defaults.h"
#include "library/buffer_cache.h"
#include "play/list_file.h"
#include "play/upcoming_list.h"
#include "support/fake_ui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace plinka;

std::string folderOf(const char* path) {
  std::string folder = path;
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  return folder;
}

// The list both the settings save and the list save write: the songs of
// the data folder's music/ folder, in name order, once more than before.
void fillList(App& app, const std::string& data, size_t extra) {
  std::vector<std::string> songs;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(data + "music/", ec))
    songs.push_back(entry.path().string());
  std::sort(songs.begin(), songs.end());
  for (size_t k = 0; k < songs.size() && k < extra; ++k) {
    play::ListRow row;
    row.column[play::FileName] = songs[k];
    app.list.append(row);
  }
}

int saveSettingsAnew(const std::string& data) {
  auto app = std::make_unique<App>();
  test::FakeUi ui;
  app->ui = &ui;
  app->folders.program = data;
  app->folders.data = data;
  loadSettings(*app);
  // A change that shows in the file: one more song to prepare, one more row.
  app->settings.prepareCount += 1;
  fillList(*app, data, app->settings.prepareCount);
  app->listFileKept.store(0);
  if (!saveSettings(*app)) {
    std::fprintf(stderr, "fault_driver: the settings could not be saved\n");
    return 1;
  }
  return 0;
}

int saveListAnew(const std::string& data) {
  auto app = std::make_unique<App>();
  fillList(*app, data, 1000);
  if (!play::writeList(app->list, data + "PL1.m3u")) {
    std::fprintf(stderr, "fault_driver: the list could not be written\n");
    return 1;
  }
  return 0;
}

int bufferSongs(const std::string& data, const std::string& share) {
  auto app = std::make_unique<App>();
  test::FakeUi ui;
  app->ui = &ui;
  app->folders = Folders{data, data, data + "cache/"};
  firstRunDefaults(app->settings, app->folders);
  app->settings.networkMode = 1;
  app->settings.bufferMode = 1;
  std::vector<std::string> songs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(share))
    if (entry.is_regular_file())
      songs.push_back(entry.path().string());
  std::sort(songs.begin(), songs.end());
  for (const std::string& song : songs) {
    play::ListRow row;
    row.column[play::FileName] = song;
    app->list.append(row);
  }
  library::openCache(*app);
  app->jobThreads.waitAll();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "settings") == 0)
    return saveSettingsAnew(folderOf(argv[2]));
  if (argc == 3 && std::strcmp(argv[1], "list") == 0)
    return saveListAnew(folderOf(argv[2]));
  if (argc == 4 && std::strcmp(argv[1], "cache") == 0)
    return bufferSongs(folderOf(argv[2]), folderOf(argv[3]));
  std::fprintf(stderr, "usage: fault_driver settings DATA | list DATA | cache DATA SHARE\n");
  return 2;
}
