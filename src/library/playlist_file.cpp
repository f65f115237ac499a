#include "library/playlist_file.h"

#include <cstdint>
#include <cstdio>

namespace plinka::library {

std::string stateListFileName(const App& app) {
  const uint64_t stateNumber = uint64_t{app.settings.currentState} + 1;
  return app.folders.data + "PL" + std::to_string(stateNumber) + ".m3u";
}

bool writeList(const play::UpcomingList& list, const std::string& path) {
  const std::vector<play::ListRow> rows = list.rows();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  bool ok = true;
  for (const play::ListRow& row : rows) {
    const std::string& name = row.column[play::FileName];
    if (name.size() > kPlaylistLineMax || name.find_first_of("\r\n") != std::string::npos)
      continue;
    const std::string line = name + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) {
      ok = false;
      break;
    }
  }
  if (std::fclose(file) != 0)
    ok = false;
  return ok;
}

}  // namespace plinka::library
