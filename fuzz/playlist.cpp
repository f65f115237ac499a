// Hands any bytes to the playlist reader. The lines it gives must be exactly
// the accepted lines of the file (see below), in order, and loading the file
// into the upcoming list must read only inside its buffers. The list is
// loaded against a small song table whose songs some lines name.
//
// CR, LF and CR LF end a line, and the last line counts without an end. A
// line starting with '#' or of fewer than 3 characters is passed over; one
// longer than a playlist line holds, holding a zero byte, or naming no local
// file is refused. Every path handed on starts at the root and fits a line.
#include "app/app.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/playlist_file.h"
#include "play/list_file.h"
#include "scratch_folder.h"
#include "text/text.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace plinka;

namespace {

struct Lines {
  std::vector<std::string> accepted;
  int32_t refused = 0;
};

Lines expectedLines(const uint8_t* data, size_t size, const std::string& folder) {
  Lines out;
  std::string line;
  bool first = true;
  auto endLine = [&] {
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
      line.erase(0, 3);
    first = false;
    if (line.empty() || line[0] != '#') {
      std::string path;
      if (line.size() > library::kPlaylistLineMax)
        ++out.refused;
      else if (line.size() >= 3 &&
               (line.find('\0') != std::string::npos || !library::playlistLinePath(line, folder, path)))
        ++out.refused;
      else if (line.size() >= 3)
        out.accepted.push_back(path);
    }
    line.clear();
  };
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\r' || c == '\n')
      endLine();
    else
      line += c;
  }
  if (!line.empty())
    endLine();
  return out;
}

// A song table of 20 slots, some songs in use and one deleted.
std::string makeSongTable() {
  const std::string path = fuzz::scratchFolder() + "Plinka.cvf";
  if (!db::createSongTable(path.c_str()))
    __builtin_trap();
  db::TableHandle h;
  text::copy(h.path, path.c_str());
  h.writable = 1;
  if (!db::openMapped(h))
    __builtin_trap();
  for (const char* name : {"/music/a.mp3", "/music/b.mp3", "/music/Song.mp3", "/music/#1 Hits/x.mp3"}) {
    const int32_t slot = db::allocate(h);
    text::copy(h.text, name);
    db::writeField(h, static_cast<uint32_t>(slot), db::FileName);
    text::copy(h.text, "Title");
    db::writeField(h, static_cast<uint32_t>(slot), db::Name);
  }
  db::setStatus(h, 2, db::kStatusFree);
  db::closeTable(h);
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static App app;
  static const std::string table = makeSongTable();
  static const std::string path = fuzz::scratchFolder() + "list.m3u";
  fuzz::writeInput(path, data, size);

  Lines got;
  got.refused = library::readPlaylistLines(app, path.c_str(), [&](const char* line) {
    got.accepted.emplace_back(line);
    return true;
  });
  const Lines expected = expectedLines(data, size, fuzz::scratchFolder());
  fuzz::require(got.refused == expected.refused && got.accepted == expected.accepted);
  for (const std::string& line : got.accepted)
    fuzz::require(!line.empty() && line[0] == '/' && line.size() <= library::kPlaylistLineMax &&
                  line.find('\0') == std::string::npos);

  text::copy(app.settings.databasePath, table.c_str());
  db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  fuzz::require(open && app.songTable.slotCount > 10);
  play::loadPlaylist(app, path.c_str());
  fuzz::require(app.list.size() <= expected.accepted.size());
  app.list.clear();
  return 0;
}
