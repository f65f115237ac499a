#include "cli/library_verbs.h"

#include "app/app.h"
#include "app/settings_file.h"
#include "cli/data_folder.h"
#include "core/data_folders.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/file_checksum.h"
#include "library/loudness.h"
#include "library/replay_gain_tags.h"
#include "library/tag_reader.h"
#include "platform/files.h"
#include "text/text.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace plinka::cli {

namespace {

int usage(const char* verb) {
  std::fprintf(stderr, "usage: plinkactl %s FILE\n", verb);
  return 2;
}

int cannotRead(const char* path) {
  std::fprintf(stderr, "plinkactl: cannot read %s\n", path);
  return 1;
}

std::string gainText(const std::optional<double>& gain) {
  if (!gain)
    return "none";
  char text[32];
  std::snprintf(text, sizeof text, "%+.2f dB", *gain);
  return text;
}

// The Loudness the data folder's song table holds for the file, with its
// gain: read only where a player's settings already exist (reading a tag
// never makes a data folder).
std::string storedLoudness(const char* path) {
  auto app = std::make_unique<App>();
  const Folders folders = settleFoldersForThisProcess();
  if (!dataFolderOptionGiven() && !platform::fileExists(folders.data + kSettingsFileName))
    return "no data folder";
  if (openDataFolder(*app) != 0)
    return "no song table";
  const db::SongTableOpen open(*app, db::SongTableOpen::Mode::Reading);
  if (!open)
    return "no song table";
  db::TableHandle& table = app->songTable;
  if (text::copy(table.searchText, path) >= sizeof table.searchText)
    return "not in the song table";
  const int32_t slot = db::findFileNamePreferExact(table, table.searchText);
  if (slot < 0 || db::readField(table, static_cast<uint32_t>(slot), db::Loudness) < 0)
    return "not in the song table";
  const library::SongLoudness s = library::decodeLoudness(table.value);
  if (!s.known)
    return "not measured";
  if (!s.hasLevel)
    return "no level";
  char text[96];
  std::snprintf(text, sizeof text, "%.2f LUFS, gain %+.2f dB, %s", s.lufs, library::gainForLoudness(s.lufs),
                s.fromTags ? "from tags" : "measured");
  return text;
}

}  // namespace

int runChecksumVerb(int argc, char** argv) {
  if (argc != 2)
    return usage("checksum");
  const uint32_t sum = library::fileChecksum(argv[1]);
  if (sum == 0)
    return cannotRead(argv[1]);
  std::printf("0x%08X\n", sum);
  std::fflush(stdout);
  return 0;
}

int runTagsVerb(int argc, char** argv) {
  if (argc != 2)
    return usage("tags");
  library::TagReader reader;
  if (library::readTag(reader, argv[1]) == 0)
    return cannotRead(argv[1]);
  const library::TagResult& r = reader.result;
  std::printf("title=%s\nartist=%s\nalbum=%s\ncomment=%s\nyear=%s\n", r.title, r.artist, r.album, r.comment, r.year);
  const library::ReplayGainTags gains = library::readReplayGainTags(argv[1]);
  std::printf("track_gain=%s\nalbum_gain=%s\n", gainText(gains.trackGainDb).c_str(),
              gainText(gains.albumGainDb).c_str());
  std::printf("stored_loudness=%s\n", storedLoudness(argv[1]).c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace plinka::cli
