// `plinkactl find` on a song table of 100,000 songs against SQLite's LIKE
// over the five text columns (Name, Artist, Album, Comment, FileName) of the
// same songs. Plinka's search does more: it looks at every field, numbers
// included, with its own letter folding.
//
// Two measures, each the median of several runs, for a common, a rare and
// an absent search text:
//  - in one process: opening the table and walking it with find next match,
//    against opening the database and stepping through the SELECT;
//  - whole process: `plinkactl find TABLE TEXT` against this program run as
//    a process that does the SELECT and prints the row numbers the same way.
// The ratio Plinka / SQLite is printed for each (target: at most 1.0).
#include "db/search.h"
#include "db/table.h"
#include "table_support.h"
#include "text/text.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

using plinka::bench::setNumber;
using plinka::bench::setText;

constexpr uint32_t kSongs = 100000;
constexpr int kRuns = 7;

const char* const kSelect = "SELECT rowid FROM songs WHERE Name LIKE ?1 OR Artist LIKE ?1 OR Album LIKE ?1 "
                            "OR Comment LIKE ?1 OR FileName LIKE ?1";

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Song {
  std::string name, artist, album, comment, fileName;
};

Song makeSong(std::mt19937& rng, uint32_t i) {
  static const char* const syllables[] = {"ka", "lo",  "mir",  "the", "sun", "ra", "vel", "dor", "an", "jo",
                                          "ni", "bel", "quin", "ox",  "tra", "mo", "lu",  "ze",  "pe", "star"};
  auto word = [&] {
    std::string w;
    for (int n = 2 + static_cast<int>(rng() % 2); n > 0; --n)
      w += syllables[rng() % std::size(syllables)];
    w[0] = static_cast<char>(w[0] - 'a' + 'A');
    return w;
  };
  Song s;
  s.artist = word() + " " + word();
  s.album = word() + " " + word();
  s.name = word() + " " + word();
  s.comment = i % 100 == 37 ? "xylophone session" : "";
  s.fileName = "/home/user/Music/" + s.artist + "/" + s.album + "/" + s.name + ".mp3";
  return s;
}

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    std::fprintf(stderr, "find_bench: %s: %s\n", what, db ? sqlite3_errmsg(db) : "failed");
    std::exit(1);
  }
}

// The same songs in both: a Plinka song table (slot k + 1 for song k, slot
// 0 holding the table's first, empty record) and an SQLite database (rowid
// k + 1).
void makeBoth(const std::string& tablePath, const std::string& databasePath) {
  db::createSongTable(tablePath.c_str());
  db::TableHandle h;
  text::copy(h.path, tablePath.c_str());
  h.writable = 1;
  if (!db::openMapped(h))
    std::exit(1);
  sqlite3* sql = nullptr;
  check(sqlite3_open(databasePath.c_str(), &sql), sql, "open");
  check(sqlite3_exec(sql, "CREATE TABLE songs(Name TEXT, Artist TEXT, Album TEXT, Comment TEXT, FileName TEXT)",
                     nullptr, nullptr, nullptr),
        sql, "create");
  check(sqlite3_exec(sql, "BEGIN", nullptr, nullptr, nullptr), sql, "begin");
  sqlite3_stmt* insert = nullptr;
  check(sqlite3_prepare_v2(sql, "INSERT INTO songs(rowid, Name, Artist, Album, Comment, FileName) VALUES(?,?,?,?,?,?)",
                           -1, &insert, nullptr),
        sql, "prepare insert");
  std::mt19937 rng(7);
  for (uint32_t i = 0; i < kSongs; ++i) {
    const int32_t s = db::allocate(h);
    if (s < 0)
      std::exit(1);
    const auto slot = static_cast<uint32_t>(s);
    const Song song = makeSong(rng, i);
    setText(h, slot, db::FileName, song.fileName);
    setText(h, slot, db::Name, song.name);
    setText(h, slot, db::Artist, song.artist);
    setText(h, slot, db::Album, song.album);
    setText(h, slot, db::Comment, song.comment);
    setNumber(h, slot, db::ID, rng() | 1);
    for (uint32_t u = 0; u < 10; ++u)
      setNumber(h, slot, db::scoreField(u), rng() % 600);
    setNumber(h, slot, db::PlayCount, rng() % 3 == 0 ? 1 + rng() % 40 : 0);

    sqlite3_bind_int64(insert, 1, slot);
    sqlite3_bind_text(insert, 2, song.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, song.artist.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 4, song.album.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 5, song.comment.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 6, song.fileName.c_str(), -1, SQLITE_TRANSIENT);
    check(sqlite3_step(insert), sql, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  check(sqlite3_exec(sql, "COMMIT", nullptr, nullptr, nullptr), sql, "commit");
  sqlite3_close(sql);
  db::closeTable(h);
}

// The SELECT: calls found(rowid) for each row; the number of rows.
template <typename Found> uint32_t selectMatches(const std::string& databasePath, const char* text, Found found) {
  sqlite3* sql = nullptr;
  check(sqlite3_open_v2(databasePath.c_str(), &sql, SQLITE_OPEN_READONLY, nullptr), sql, "open");
  sqlite3_stmt* select = nullptr;
  check(sqlite3_prepare_v2(sql, kSelect, -1, &select, nullptr), sql, "prepare select");
  const std::string pattern = std::string("%") + text + "%";
  sqlite3_bind_text(select, 1, pattern.c_str(), -1, SQLITE_TRANSIENT);
  uint32_t rows = 0;
  int rc;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
    found(sqlite3_column_int64(select, 0));
    ++rows;
  }
  check(rc, sql, "select");
  sqlite3_finalize(select);
  sqlite3_close(sql);
  return rows;
}

// Opening the table and walking it as `plinkactl find` does.
uint32_t findMatches(const std::string& tablePath, const char* text) {
  db::TableHandle h;
  text::copy(h.path, tablePath.c_str());
  if (!db::openMapped(h))
    std::exit(1);
  text::copy(h.searchText, text);
  uint32_t found = 0;
  if (db::getStatus(h, 0) == static_cast<int32_t>(db::kStatusInUse) && db::recordMatches(h, 0))
    ++found;
  for (int32_t s = db::findNextMatch(h, 0); s >= 0; s = db::findNextMatch(h, static_cast<uint32_t>(s)))
    ++found;
  db::closeTable(h);
  return found;
}

// Opening and closing the table alone: the part of the walk that is not
// the search.
double openAndCloseMs(const std::string& tablePath) {
  std::vector<double> runs;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    db::TableHandle h;
    text::copy(h.path, tablePath.c_str());
    if (!db::openMapped(h))
      std::exit(1);
    db::closeTable(h);
    runs.push_back(msSince(start));
  }
  return median(runs);
}

// Runs a program with its output thrown away; the milliseconds it took.
double timeProcess(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "find_bench: cannot run %s\n", argv[0]);
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double ms = msSince(start);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "find_bench: %s failed\n", argv[0]);
    std::exit(1);
  }
  return ms;
}

std::string selfPath() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

void compare(const char* label, const char* what, double plinka, double sqlite) {
  std::printf("  %-14s %-18s plinka %8.2f ms   sqlite %8.2f ms   ratio %5.2f\n", label, what, plinka, sqlite,
              plinka / sqlite);
}

}  // namespace

int main(int argc, char** argv) {
  // Run as a process by the whole-process measure: the SELECT, printing one
  // row number a line as `plinkactl find` prints slots.
  if (argc == 4 && std::strcmp(argv[1], "--select") == 0) {
    selectMatches(argv[2], argv[3], [](int64_t row) { std::printf("%lld\n", static_cast<long long>(row)); });
    return 0;
  }

  std::string folder = (std::filesystem::temp_directory_path() / "plinka-find-bench-XXXXXX").string();
  if (!mkdtemp(folder.data()))
    return 1;
  const std::string tablePath = folder + "/Plinka.cvf", databasePath = folder + "/songs.db";
  std::printf("making %u songs in both...\n", kSongs);
  makeBoth(tablePath, databasePath);
  std::printf("table %.1f MB, database %.1f MB; medians of %d runs\n\n",
              static_cast<double>(std::filesystem::file_size(tablePath)) / 1e6,
              static_cast<double>(std::filesystem::file_size(databasePath)) / 1e6, kRuns);

  std::printf("opening and closing the table alone: %.2f ms\n", openAndCloseMs(tablePath));
  const std::string self = selfPath();
  struct Text {
    const char* label;
    const char* text;
  } texts[] = {{"common", "an"}, {"rare", "xylophone"}, {"none", "qqxz"}};
  double worstInProcess = 0, worstWhole = 0;
  for (const Text& t : texts) {
    std::vector<double> plinka, sqlite, plinkaWhole, sqliteWhole;
    uint32_t plinkaFound = 0, sqliteFound = 0;
    for (int run = 0; run < kRuns; ++run) {
      auto start = Clock::now();
      plinkaFound = findMatches(tablePath, t.text);
      plinka.push_back(msSince(start));
      start = Clock::now();
      sqliteFound = selectMatches(databasePath, t.text, [](int64_t) {});
      sqlite.push_back(msSince(start));
      plinkaWhole.push_back(timeProcess({PLINKACTL_PATH, "find", tablePath, t.text}));
      sqliteWhole.push_back(timeProcess({self, "--select", databasePath, t.text}));
    }
    std::printf("\"%s\" (%s): plinka finds %u songs (every field), sqlite %u rows (five columns)\n", t.text, t.label,
                plinkaFound, sqliteFound);
    const double p = median(plinka), s = median(sqlite), pw = median(plinkaWhole), sw = median(sqliteWhole);
    compare(t.label, "in one process", p, s);
    compare(t.label, "whole process", pw, sw);
    worstInProcess = std::max(worstInProcess, p / s);
    worstWhole = std::max(worstWhole, pw / sw);
  }
  std::printf("\nworst ratio plinka / sqlite: in one process %.2f, whole process %.2f (target at most 1.0)\n",
              worstInProcess, worstWhole);

  std::filesystem::remove_all(folder);
  return 0;
}
