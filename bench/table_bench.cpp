// The table engine on a song table of 100,000 records with realistic texts.
// Every figure is printed as a time and as a ratio to one plain read pass
// over the mapped file (the sum of all its bytes), measured in the same run:
// the floor that any scan over the whole table cannot beat.
#include "db/search.h"
#include "db/table.h"
#include "table_support.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace plinka::db;
using Clock = std::chrono::steady_clock;

namespace {

using plinka::bench::setNumber;
using plinka::bench::setText;

constexpr uint32_t kRecords = 100000;
constexpr uint32_t kArtists = 2000;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool openAt(TableHandle& h, const std::string& path) {
  std::snprintf(h.path, sizeof h.path, "%s", path.c_str());
  h.writable = 1;
  return openMapped(h);
}

struct Names {
  std::mt19937 rng{7};
  std::vector<std::string> artists, words;

  Names() {
    const char* syllables[] = {"ka", "lo",   "mir", "the",  "sun", "ra",  "vel", "dor", "an", "jo",
                               "ni", "star", "bel", "quin", "ox",  "tra", "mo",  "lu",  "ze", "pe"};
    auto word = [&] {
      std::string w;
      for (int n = 2 + static_cast<int>(rng() % 2); n > 0; --n)
        w += syllables[rng() % std::size(syllables)];
      w[0] = static_cast<char>(w[0] - 'a' + 'A');
      return w;
    };
    for (int i = 0; i < 600; ++i)
      words.push_back(word());
    for (uint32_t i = 0; i < kArtists; ++i)
      artists.push_back(words[rng() % words.size()] + " " + words[rng() % words.size()]);
  }
  std::string phrase(int n) {
    std::string p;
    for (int i = 0; i < n; ++i)
      p += (i ? " " : "") + words[rng() % words.size()];
    return p;
  }
};

// Fills one new record the way an import does.
void addSong(TableHandle& h, Names& names, uint32_t index, bool marked) {
  const int32_t s = allocate(h);
  if (s < 0) {
    std::fprintf(stderr, "table_bench: allocation failed\n");
    std::exit(1);
  }
  const uint32_t slot = static_cast<uint32_t>(s);
  const std::string& artist = names.artists[names.rng() % kArtists];
  const std::string album = names.phrase(2);
  const std::string title = names.phrase(1 + static_cast<int>(names.rng() % 3));
  char track[8];
  std::snprintf(track, sizeof track, "%02u ", 1 + index % 14);
  setText(h, slot, FileName, "/music/" + artist + "/" + album + "/" + track + title + ".mp3");
  setText(h, slot, Name, title);
  setText(h, slot, Artist, artist);
  setText(h, slot, Album, album);
  setText(h, slot, Comment, marked ? "xylophone session" : "");
  setNumber(h, slot, ID, names.rng() | 1);
  for (uint32_t u = 0; u < 10; ++u) {
    setNumber(h, slot, scoreField(u), names.rng() % 600);
    setNumber(h, slot, targetField(u), 100);
  }
  setNumber(h, slot, PlayCount, names.rng() % 50);
}

// Grows a table to `count` records; returns the time per record of the
// next `window` allocations (one growth step's worth, so the amortised cost
// of growing is included).
double allocationCost(const std::string& path, uint32_t count, Names& names) {
  createSongTable(path.c_str());
  TableHandle h;
  openAt(h, path);
  for (uint32_t i = countInUse(h); i < count; ++i)
    addSong(h, names, i, false);
  const uint32_t window = count / 16 > 10 ? count / 16 : 10;
  const auto start = Clock::now();
  for (uint32_t i = 0; i < window; ++i)
    if (allocate(h) < 0)
      std::exit(1);
  const double perRecord = secondsSince(start) / window;
  closeTable(h);
  return perRecord;
}

void report(const char* what, double seconds, double floor) {
  std::printf("%-58s %14.3f us %12.6f x read pass\n", what, seconds * 1e6, seconds / floor);
}

}  // namespace

int main() {
  // A language's collation (costlier than byte order) when the machine has
  // one, else the user's.
  std::setlocale(LC_ALL, "");
  if (!std::setlocale(LC_COLLATE, "en_US.UTF-8"))
    std::setlocale(LC_COLLATE, "");
  const char* collation = std::setlocale(LC_COLLATE, nullptr);

  std::string folder = (std::filesystem::temp_directory_path() / "plinka-bench-XXXXXX").string();
  if (!mkdtemp(folder.data()))
    return 1;
  const std::string path = folder + "/Plinka.cvf";
  Names names;

  // The table: 100,000 songs, 1 % of them holding "xylophone".
  auto start = Clock::now();
  createSongTable(path.c_str());
  TableHandle h;
  openAt(h, path);
  for (uint32_t i = countInUse(h); i < kRecords; ++i)
    addSong(h, names, i, i % 100 == 37);
  const double build = secondsSince(start);
  std::printf("song table: %u records, %u slots, %zu bytes; collation %s\n", countInUse(h), h.slotCount, h.map.size(),
              collation);

  // The floor: one pass over every byte of the mapping.
  double floor = 1e9;
  uint64_t sum = 0;
  for (int round = 0; round < 5; ++round) {
    start = Clock::now();
    const uint8_t* p = h.map.data();
    uint64_t s = 0;
    for (size_t i = 0, n = h.map.size(); i < n; ++i)
      s += p[i];
    sum += s;
    floor = std::min(floor, secondsSince(start));
  }
  std::printf("read pass (sum of all bytes = %llu): %.3f ms\n\n", static_cast<unsigned long long>(sum / 5),
              floor * 1e3);

  report("building the table (100,000 imports, per 1,000)", build / kRecords * 1000, floor);

  const double small = allocationCost(folder + "/small.cvf", 1000, names);
  const double large = allocationCost(folder + "/large.cvf", kRecords, names);
  report("allocate one record at 1,000 records (growth amortised)", small, floor);
  report("allocate one record at 100,000 records (growth amortised)", large, floor);
  std::printf("%-58s %12.2f\n", "  ratio 100,000 / 1,000", large / small);

  std::mt19937 rng(99);
  const int nthCalls = 20000;
  int64_t check = 0;
  start = Clock::now();
  for (int i = 0; i < nthCalls; ++i)
    check += nthInUse(h, 1 + rng() % kRecords);
  report("n-th record in use (random n, per call)", secondsSince(start) / nthCalls, floor);

  const int finds = 20;
  start = Clock::now();
  for (int i = 0; i < finds; ++i) {
    const int32_t target = nthInUse(h, 1 + rng() % kRecords);
    readField(h, static_cast<uint32_t>(target), FileName);
    std::snprintf(h.searchText, sizeof h.searchText, "%s", h.text);
    check += findByFieldBackwards(h, FileName);
  }
  report("find by field backwards on FileName (per search)", secondsSince(start) / finds, floor);

  std::snprintf(h.searchText, sizeof h.searchText, "XYLOPHONE");
  uint32_t matches = 0;
  start = Clock::now();
  for (int32_t s = findNextMatch(h, 0); s >= 0; s = findNextMatch(h, static_cast<uint32_t>(s)))
    ++matches;
  const double walk = secondsSince(start);
  char what[80];
  std::snprintf(what, sizeof what, "find next match, whole table (%u matches)", matches);
  report(what, walk, floor);
  report("  per match", walk / matches, floor);

  start = Clock::now();
  const bool sorted = sortByField(h, Name);
  report(sorted ? "sort by Name" : "sort by Name (refused)", secondsSince(start), floor);

  closeTable(h);
  std::filesystem::remove_all(folder);
  return check == 42 ? 2 : 0;  // keeps the results alive
}
