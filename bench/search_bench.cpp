// The Search window's search on a song table of 100,000 songs: the time
// until the first batch of found songs is handed over (what the user waits
// for before the list starts to fill) and until the search has ended. Each
// is printed in milliseconds and as a ratio to one plain read pass over the
// mapped table (the sum of all its bytes), measured in the same run.
//
// Two ways in: the table search alone with exclusive use granted at once,
// and the whole way from the window's start of a search (a job thread, the
// request for exclusive use answered by the heartbeat's processor, the
// search, the hand-over to the receiver). Medians of several runs.
#include "app/app.h"
#include "app/scheduler.h"
#include "core/busy_code.h"
#include "core/settings_defaults.h"
#include "core/settings_shared.h"
#include "db/table.h"
#include "play/song_search.h"
#include "table_support.h"
#include "text/text.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace plinka;
using Clock = std::chrono::steady_clock;

namespace {

using plinka::bench::setNumber;
using plinka::bench::setText;

constexpr uint32_t kSongs = 100000;
constexpr int kRuns = 7;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// 100,000 songs with made-up names; 1 % hold "xylophone" in the Comment, a
// third were played.
void makeTable(const std::string& path) {
  db::createSongTable(path.c_str());
  db::TableHandle h;
  text::copy(h.path, path.c_str());
  h.writable = 1;
  if (!db::openMapped(h))
    std::exit(1);
  std::mt19937 rng(7);
  const char* syllables[] = {"ka", "lo",  "mir",  "the", "sun", "ra", "vel", "dor", "an", "jo",
                             "ni", "bel", "quin", "ox",  "tra", "mo", "lu",  "ze",  "pe", "star"};
  auto word = [&] {
    std::string w;
    for (int n = 2 + static_cast<int>(rng() % 2); n > 0; --n)
      w += syllables[rng() % std::size(syllables)];
    w[0] = static_cast<char>(w[0] - 'a' + 'A');
    return w;
  };
  for (uint32_t i = db::countInUse(h); i < kSongs; ++i) {
    const int32_t s = db::allocate(h);
    if (s < 0)
      std::exit(1);
    const auto slot = static_cast<uint32_t>(s);
    const std::string artist = word() + " " + word(), album = word() + " " + word(), title = word() + " " + word();
    setText(h, slot, db::FileName, "/music/" + artist + "/" + album + "/" + title + ".mp3");
    setText(h, slot, db::Name, title);
    setText(h, slot, db::Artist, artist);
    setText(h, slot, db::Album, album);
    setText(h, slot, db::Comment, i % 100 == 37 ? "xylophone session" : "");
    setNumber(h, slot, db::ID, rng() | 1);
    for (uint32_t u = 0; u < 10; ++u)
      setNumber(h, slot, db::scoreField(u), rng() % 600);
    setNumber(h, slot, db::PlayCount, rng() % 3 == 0 ? 1 + rng() % 40 : 0);
  }
  db::closeTable(h);
}

// One plain pass over every byte of the mapped table: the floor.
double readPassMs(const std::string& path) {
  db::TableHandle h;
  text::copy(h.path, path.c_str());
  if (!db::openMapped(h))
    std::exit(1);
  double best = 1e9;
  uint64_t sum = 0;
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    const uint8_t* p = h.map.data();
    uint64_t s = 0;
    for (size_t i = 0, n = h.map.size(); i < n; ++i)
      s += p[i];
    sum += s;
    best = std::min(best, msSince(start));
  }
  std::printf("read pass over %zu bytes (sum %llu): %.2f ms\n\n", h.map.size(),
              static_cast<unsigned long long>(sum / 5), best);
  db::closeTable(h);
  return best;
}

struct Timing {
  double first = 0;  // ms until the first batch (the whole search when none)
  double end = 0;    // ms until the search ended
  uint32_t found = 0;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void print(const char* what, const std::vector<Timing>& runs, double floor) {
  std::vector<double> first, end;
  for (const Timing& t : runs) {
    first.push_back(t.first);
    end.push_back(t.end);
  }
  const double f = median(first), e = median(end);
  std::printf("%-44s %7u found  first %8.2f ms (%6.3f x)  end %8.2f ms (%6.3f x)\n", what, runs.front().found, f,
              f / floor, e, e / floor);
}

// The table search alone, exclusive use granted at once.
Timing searchAlone(App& app, const play::SearchOrder& order) {
  Timing t;
  grantExclusiveNow(app, BusyCode::SearchWindow);
  const auto start = Clock::now();
  bool first = true;
  play::searchSongTable(
      app, order, [] { return false; },
      [&](std::vector<play::FoundSong>&& songs) {
        if (first)
          t.first = msSince(start);
        first = false;
        t.found += static_cast<uint32_t>(songs.size());
      });
  t.end = msSince(start);
  if (first)
    t.first = t.end;
  releaseExclusive(app);
  return t;
}

// From the window's start of a search to its last report.
Timing searchFromWindow(App& app, play::SongSearch& search, const play::SearchOrder& order) {
  std::mutex mutex;
  std::condition_variable done;
  Timing t;
  bool first = true, finished = false;
  const auto start = Clock::now();
  search.setReceiver([&](play::SearchReport&& r) {
    const std::lock_guard lock(mutex);
    if (first && (!r.songs.empty() || r.finished)) {
      t.first = msSince(start);
      first = false;
    }
    t.found += static_cast<uint32_t>(r.songs.size());
    if (r.finished) {
      t.end = msSince(start);
      finished = true;
      done.notify_all();
    }
  });
  search.start(order);
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return finished; });
  lock.unlock();
  search.setReceiver(nullptr);
  // The job thread lets go of the table just after its last report.
  while (app.run.busyCode.load() != 0)
    std::this_thread::yield();
  return t;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "plinka-search-bench-XXXXXX").string();
  if (!mkdtemp(folder.data()))
    return 1;
  folder += "/";
  {
    App app;
    app.folders.data = folder;
    app.folders.program = folder;
    firstRunDefaults(app.settings, app.folders);
    shareSettings(app);
    const std::string path = app.settings.databasePath;
    makeTable(path);
    std::printf("song table: %u songs\n", kSongs);
    const double floor = readPassMs(path);

    struct Case {
      const char* what;
      play::SearchOrder order;
    };
    const Case cases[] = {
        {"text \"ka\" (most songs match)", {play::SearchKind::Text, "ka"}},
        {"text \"XYLOPHONE\" (1 % match)", {play::SearchKind::Text, "XYLOPHONE"}},
        {"text \"qqqq\" (nothing matches)", {play::SearchKind::Text, "qqqq"}},
        {"Top Songs", {play::SearchKind::TopSongs, ""}},
    };
    std::printf("the table search alone (median of %d):\n", kRuns);
    for (const Case& c : cases) {
      std::vector<Timing> runs;
      for (int r = 0; r < kRuns; ++r)
        runs.push_back(searchAlone(app, c.order));
      print(c.what, runs, floor);
    }

    std::printf("\nfrom the window's start, through the heartbeat's grant (median of %d):\n", kRuns);
    startHeartbeat(app);
    play::SongSearch search(app);
    for (const Case& c : cases) {
      std::vector<Timing> runs;
      for (int r = 0; r < kRuns; ++r)
        runs.push_back(searchFromWindow(app, search, c.order));
      print(c.what, runs, floor);
    }
  }
  std::filesystem::remove_all(folder);
  return 0;
}
