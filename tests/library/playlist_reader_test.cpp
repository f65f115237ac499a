#include "core/current_state.h"
#include "db/search.h"
#include "db/table.h"
#include "import_fixture.h"
#include "library/import.h"
#include "library/playlist_file.h"
#include "play/list_file.h"
#include "play/song_details.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace plinka;
using namespace plinka::test;
using ::testing::ElementsAre;

namespace {

struct Reading {
  int32_t refused = 0;
  std::vector<std::string> lines;
};

Reading readLines(App& app, const std::string& path) {
  Reading r;
  r.refused = library::readPlaylistLines(app, path.c_str(), [&](const char* line) {
    r.lines.push_back(line);
    return true;
  });
  return r;
}

TEST(PlaylistReader, SplitsLinesAsAnyPlayerWritesThemAndIgnoresWhatCannotBeAPath) {
  const std::string longest = "/" + std::string(598, 'a');  // 599 characters: the most a line holds
  const std::string tooLong = "/" + std::string(599, 'b');
  std::string manyLines;
  std::vector<std::string> manyPaths;
  for (int i = 0; i < 2000; ++i) {  // well beyond one read block
    manyPaths.push_back("/music/song " + std::to_string(i) + ".mp3");
    manyLines += manyPaths.back() + "\r\n";
  }
  struct Case {
    const char* label;
    std::string bytes;
    std::vector<std::string> lines;
    int32_t refused;
  } cases[] = {
      {"extended playlist", "#EXTM3U\r\n#EXTINF:215,Band - Song\r\n/music/a.mp3\r\n", {"/music/a.mp3"}, 0},
      {"only a leading '#' makes a comment",
       "/music/#1 Hits/a.mp3\r\n/music/b.mp3#\r\n# a comment\r\n",
       {"/music/#1 Hits/a.mp3", "/music/b.mp3#"},
       0},
      {"LF only", "/music/a.mp3\n/music/b.mp3\n", {"/music/a.mp3", "/music/b.mp3"}, 0},
      {"CR, LF and CR LF mixed",
       "\n/music/a.mp3\n/music/b.mp3\r\n\r\n/music/c.mp3\r",
       {"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"},
       0},
      {"CR only", "/music/a.mp3\r/music/b.mp3\r", {"/music/a.mp3", "/music/b.mp3"}, 0},
      {"last line without an end", "/music/a.mp3\r\n/music/b.mp3", {"/music/a.mp3", "/music/b.mp3"}, 0},
      {"last line too long without an end", "/music/a.mp3\n" + tooLong, {"/music/a.mp3"}, 1},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF/music/\xC3\xA9t\xC3\xA9.mp3\n", {"/music/\xC3\xA9t\xC3\xA9.mp3"}, 0},
      {"short lines", "ab\r\n\r\n/ab\r\n", {"/ab"}, 0},
      {"longest line", longest + "\r\n", {longest}, 0},
      {"too long a line", tooLong + "\r\n/music/a.mp3\r\n", {"/music/a.mp3"}, 1},
      {"too long a comment", "#" + tooLong + "\r\n", {}, 0},
      {"zero byte", std::string("/music/a\0.mp3\r\n/music/b.mp3\r\n", 28), {"/music/b.mp3"}, 1},
      {"many lines", manyLines, manyPaths, 0},
      {"empty file", "", {}, 0},
      {"file URIs",
       "file:///music/%231%20Hits/a.mp3\nfile://localhost/music/b.mp3\nFILE:///c.mp3\n",
       {"/music/#1 Hits/a.mp3", "/music/b.mp3", "/c.mp3"},
       0},
      {"URIs that name no local file",
       "file://server/music/a.mp3\nfile:///music/%zz.mp3\nfile:///music/a%00.mp3\nfile:///a%2\n",
       {},
       4},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("list.m3u"), c.bytes);
    App app;
    const Reading r = readLines(app, dir.file("list.m3u"));
    EXPECT_EQ(r.lines, c.lines) << c.label;
    EXPECT_EQ(r.refused, c.refused) << c.label;
  }
}

TEST(PlaylistReader, RelativeLinesAreTakenFromThePlaylistsFolder) {
  TempDir dir;
  writeFile(dir.file("list.m3u8"), "a.mp3\nsub/b.mp3\n../c.mp3\n/abs/d.mp3\n");
  App app;
  const Reading r = readLines(app, dir.file("list.m3u8"));
  const std::string above = std::filesystem::path(dir.path()).parent_path().parent_path().string() + "/c.mp3";
  EXPECT_THAT(r.lines, ElementsAre(dir.file("a.mp3"), dir.file("sub/b.mp3"), above, "/abs/d.mp3"));
  EXPECT_TRUE(library::isPlaylistSource(dir.file("list.m3u8")));
  EXPECT_TRUE(library::isPlaylistSource("/x/LIST.M3U"));
  EXPECT_FALSE(library::isPlaylistSource("/x/m3u8/"));
}

TEST(PlaylistReader, StopsWhenAskedAndReportsAFileItCannotOpen) {
  TempDir dir;
  writeFile(dir.file("list.m3u"), "/music/a.mp3\r\n/music/b.mp3\r\n/music/c.mp3\r\n");
  App app;
  std::vector<std::string> lines;
  library::readPlaylistLines(app, dir.file("list.m3u").c_str(), [&](const char* line) {
    lines.push_back(line);
    app.run.stopRequest.store(1);
    return true;
  });
  EXPECT_THAT(lines, ElementsAre("/music/a.mp3"));

  app.run.stopRequest.store(0);
  lines.clear();
  library::readPlaylistLines(app, dir.file("list.m3u").c_str(), [&](const char* line) {
    lines.push_back(line);
    return false;
  });
  EXPECT_THAT(lines, ElementsAre("/music/a.mp3"));

  for (const std::string& unopenable : {dir.file("missing.m3u"), dir.path()}) {
    App fresh;
    EXPECT_EQ(readLines(fresh, unopenable).refused, -1) << unopenable;
    play::loadPlaylist(fresh, unopenable.c_str());
    EXPECT_EQ(fresh.status.messagePending.load(), 1u) << unopenable;
    EXPECT_TRUE(fresh.list.empty());
  }
}

TEST(PlaylistReader, ImportModeAddsEachLineOnce) {
  ImportFixture f;
  put(f.music("a.mp3"), mp3Bytes("A"));
  put(f.music("b.mp3"), mp3Bytes("B"));
  put(f.music("A.MP3"), mp3Bytes("Other A"));
  put(f.music("list.m3u"), "#EXTM3U\r\n" + f.music("a.mp3") + "\r\n" + f.music("b.mp3") + "\r\n" + f.music("A.MP3") +
                               "\r\n" + f.music("a.mp3") + "\r\n");
  f.openForImport();
  library::importPlaylist(*f.app, f.music("list.m3u").c_str());
  db::closeTable(f.app->songTable);
  // "A.MP3" is another file than "a.mp3" where letter case counts.
  EXPECT_THAT(f.fileNames(), ElementsAre(f.music("a.mp3"), f.music("b.mp3"), f.music("A.MP3")));
  EXPECT_EQ(f.app->status.messagePending.load(), 0u);
}

// A player whose song table holds a few imported songs (so it has grown past
// 10 slots), open for reading, with the current State's listener user 2.
struct LoadedTable : ImportFixture {
  LoadedTable() {
    put(music("a.mp3"), mp3Bytes("Title A", "Artist A", "Album A"));
    put(music("b.mp3"), mp3Bytes("Title B", "Artist B", "Album B"));
    put(music("clip.avi"), "RIFF....AVI ");
    put(music("gone.mp3"), mp3Bytes("Gone Title", "Gone Artist"));
    openForImport();
    for (const char* name : {"a.mp3", "b.mp3", "clip.avi", "gone.mp3"})
      EXPECT_GE(library::addOneFile(*app, music(name).c_str()), 0);
    db::TableHandle& t = app->songTable;
    // A record edited since: rows must show the record, not the tag.
    slotB = slotOf(music("b.mp3"));
    text::copy(t.text, "Edited B");
    db::writeField(t, slotB, db::Name);
    t.value = 99;
    db::writeField(t, slotB, db::scoreField(2));
    db::setStatus(t, slotOf(music("gone.mp3")), db::kStatusFree);  // deleted, file still there
    db::closeTable(t);
    app->run.busyCode.store(0);
    app->settings.currentState = 3;
    setStateUser(*app, 3, 2);
    openTable(false);
    EXPECT_GT(app->songTable.slotCount, 10u);
  }
  uint32_t slotOf(const std::string& path) {
    text::copy(app->songTable.searchText, path.c_str());
    return static_cast<uint32_t>(db::findByFieldBackwards(app->songTable, db::FileName));
  }
  uint32_t slotB = 0;
};

// A list row as its five texts, so rows compare and print as they are.
using Row = std::vector<std::string>;

Row row(const std::string& title, const std::string& artist, const std::string& album, const std::string& fileName,
        const std::string& type = "Audio") {
  return {title, artist, album, fileName, type};
}

std::vector<Row> rowsOf(const play::UpcomingList& list) {
  std::vector<Row> out;
  for (const play::ListRow& r : list.rows())
    out.push_back(Row(std::begin(r.column), std::end(r.column)));
  return out;
}

TEST(PlaylistReader, AListWrittenAndReadBackIsTheSameList) {
  LoadedTable f;
  App& app = *f.app;
  for (const char* name : {"clip.avi", "b.mp3", "a.mp3", "b.mp3"}) {
    const std::string path = f.music(name);
    play::loadSongDetails(app, f.slotOf(path), 2);
    play::putListRow(app, app.list.size(), path.c_str(), app.details.loaded);
  }
  const std::vector<Row> written = rowsOf(app.list);
  ASSERT_TRUE(play::writeList(app.list, f.music("PL4.m3u")));
  app.list.clear();

  play::loadPlaylist(app, f.music("PL4.m3u").c_str());
  EXPECT_EQ(rowsOf(app.list), written);
  EXPECT_EQ(written[1][play::Title], "Edited B");
  EXPECT_EQ(written[0][play::Type], "Video");
}

TEST(PlaylistReader, LoadModeTakesTheRecordOrElseTheFileItself) {
  LoadedTable f;
  put(f.music("new.mp3"), mp3Bytes("New Title", "New Artist"));
  put(f.music("untagged.mp3"), std::string(100, '\x44'));
  struct Case {
    const char* label;
    std::string line;
    std::vector<Row> rows;
  } cases[] = {
      {"in the table", f.music("b.mp3"), {row("Edited B", "Artist B", "Album B", f.music("b.mp3"))}},
      {"in the table, other letter case", f.music("B.MP3"), {row("Edited B", "Artist B", "Album B", f.music("B.MP3"))}},
      {"not in the table", f.music("new.mp3"), {row("New Title", "New Artist", "No Data", f.music("new.mp3"))}},
      {"not in the table, no tag",
       f.music("untagged.mp3"),
       {row("untagged.mp3", "No Data", "No Data", f.music("untagged.mp3"))}},
      {"deleted record", f.music("gone.mp3"), {row("Gone Title", "Gone Artist", "No Data", f.music("gone.mp3"))}},
      {"no such file", f.music("missing.mp3"), {}},
      {"a folder", f.music(""), {}},
  };
  for (const Case& c : cases) {
    f.app->list.clear();
    put(f.music("one.m3u"), c.line + "\r\n");
    play::loadPlaylist(*f.app, f.music("one.m3u").c_str());
    EXPECT_EQ(rowsOf(f.app->list), c.rows) << c.label;
  }
  // The details come from the current State's listener.
  f.app->list.clear();
  put(f.music("one.m3u"), f.music("b.mp3") + "\r\n");
  play::loadPlaylist(*f.app, f.music("one.m3u").c_str());
  EXPECT_EQ(f.app->details.loaded.score, 99u);
}

// A playlist as other players on Linux write it: LF line ends, the last line
// without one, a folder named "#1 Hits", a relative path and a file:// URI.
// Every song loads, and the list written back (CR LF) loads the same.
TEST(PlaylistReader, APlaylistFromAnotherPlayerLoadsEverySong) {
  LoadedTable f;
  put(f.music("#1 Hits/hit.mp3"), mp3Bytes("Hit Title", "Hit Artist"));
  put(f.music("My Songs/c d.mp3"), mp3Bytes("CD Title"));
  put(f.music("lists/other.m3u8"), "#EXTM3U\n#EXTINF:10,Band - A\n" + f.music("a.mp3") + "\n" +
                                       f.music("#1 Hits/hit.mp3") + "\n../b.mp3\nfile://" +
                                       f.music("My%20Songs/c%20d.mp3"));
  play::loadPlaylist(*f.app, f.music("lists/other.m3u8").c_str());
  const std::vector<Row> loaded = rowsOf(f.app->list);
  ASSERT_EQ(loaded.size(), 4u);
  EXPECT_EQ(loaded[0], row("Title A", "Artist A", "Album A", f.music("a.mp3")));
  EXPECT_EQ(loaded[1], row("Hit Title", "Hit Artist", "No Data", f.music("#1 Hits/hit.mp3")));
  EXPECT_EQ(loaded[2][play::Title], "Edited B") << "the relative line finds the record";
  EXPECT_EQ(loaded[3], row("CD Title", "No Data", "No Data", f.music("My Songs/c d.mp3")));

  ASSERT_TRUE(play::writeList(f.app->list, f.music("PL4.m3u")));
  EXPECT_NE(readFile(f.music("PL4.m3u")).find("hit.mp3\r\n"), std::string::npos) << "written with CR LF";
  f.app->list.clear();
  play::loadPlaylist(*f.app, f.music("PL4.m3u").c_str());
  std::vector<Row> again = rowsOf(f.app->list);
  EXPECT_EQ(again.size(), loaded.size());
  for (size_t i = 0; i < again.size() && i < loaded.size(); ++i)
    EXPECT_EQ(again[i][play::Title], loaded[i][play::Title]) << i;
}

// Playlist import adds only media the player handles: a list naming other
// files (a text file handed over as a playlist) adds nothing.
TEST(PlaylistReader, ImportAddsOnlyMediaFiles) {
  ImportFixture f;
  put(f.music("a.mp3"), mp3Bytes("A"));
  put(f.music("notes.txt"), "not music");
  put(f.music("list.m3u"), f.music("a.mp3") + "\n/etc/passwd\n" + f.music("notes.txt") + "\n");
  f.openForImport();
  library::importPlaylist(*f.app, f.music("list.m3u").c_str());
  db::closeTable(f.app->songTable);
  EXPECT_THAT(f.fileNames(), ElementsAre(f.music("a.mp3")));
}

TEST(PlaylistReader, ASmallOrClosedTableIsNotSearched) {
  ImportFixture f;
  put(f.music("a.mp3"), mp3Bytes("Title A", "Artist A"));
  put(f.music("one.m3u"), f.music("a.mp3") + "\r\n" + f.music("missing.mp3") + "\r\n");
  const std::vector<Row> bare = {row("Title A", "Artist A", "No Data", f.music("a.mp3"))};

  f.openTable(false);  // a new table: 10 slots
  ASSERT_EQ(f.app->songTable.slotCount, 10u);
  play::loadPlaylist(*f.app, f.music("one.m3u").c_str());
  EXPECT_EQ(rowsOf(f.app->list), bare);

  db::closeTable(f.app->songTable);
  f.app->list.clear();
  play::loadPlaylist(*f.app, f.music("one.m3u").c_str());
  EXPECT_EQ(rowsOf(f.app->list), bare);
}

// Random and damaged playlists: the reader must neither crash nor hand on a
// line that cannot be a path, in either mode.
TEST(PlaylistReader, RandomAndTruncatedPlaylistsAreReadSafely) {
  LoadedTable f;
  std::mt19937 random(20240611);
  const char kAlphabet[] = "\r\n#/ab.mp3\xC3\xA9";
  const std::string alphabet(kAlphabet, sizeof kAlphabet);  // with its zero byte
  const std::string valid = "#EXTM3U\r\n" + f.music("a.mp3") + "\r\n" + f.music("b.mp3") + "\r\n";
  auto randomBytes = [&](size_t n, bool fromAlphabet) {
    std::string s(n, '\0');
    for (char& c : s)
      c = fromAlphabet ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
    return s;
  };
  std::vector<std::string> playlists;
  for (size_t cut = 0; cut <= valid.size(); ++cut)
    playlists.push_back(valid.substr(0, cut));
  for (int i = 0; i < 60; ++i) {
    playlists.push_back(randomBytes(random() % 3000, i % 2 == 0));
    playlists.push_back(randomBytes(500 + random() % 1500, false) + "\r" + valid);  // a long garbage line first
  }

  for (size_t i = 0; i < playlists.size(); ++i) {
    const std::string path = f.music("fuzz.m3u");
    writeFile(path, playlists[i]);
    for (const std::string& line : readLines(*f.app, path).lines) {
      EXPECT_GE(line.size(), 3u) << i;
      EXPECT_LE(line.size(), library::kPlaylistLineMax) << i;
      EXPECT_EQ(line.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << i;
      EXPECT_EQ(line.front(), '/') << i << ": every line names a path from the root";
    }
    play::loadPlaylist(*f.app, path.c_str());
    f.app->list.clear();
  }

  // Import mode, on a table open for writing.
  db::closeTable(f.app->songTable);
  f.openForImport();
  for (const std::string& bytes : playlists) {
    writeFile(f.music("fuzz.m3u"), bytes);
    library::importPlaylist(*f.app, f.music("fuzz.m3u").c_str());
  }
  db::closeTable(f.app->songTable);
  for (const Record& r : f.records()) {
    EXPECT_EQ(r.fileName.find_first_of(std::string("\r\n", 2)), std::string::npos);
    EXPECT_EQ(r.fileName.front(), '/');
  }
}

}  // namespace
