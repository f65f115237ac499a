// Every write path made to fail, one disk call at a time, and killed at
// random moments.
//
// Each path runs as a program of its own (plinkactl, or the small driver for
// the writes plinkactl has no verb for) on a fresh copy of a data folder. A
// first run counts the path's write, pwrite, fsync, fdatasync, rename,
// ftruncate and fallocate calls on the folder's files; then the path runs
// once per chosen call with that call failing (EIO or ENOSPC, through the
// preloaded fault shim). After each run:
//   - the song table opens, and every song it held before is there exactly
//     once (no song lost, none doubled, none that came from nowhere);
//   - the settings file, the list files and a saved playlist are whole: the
//     old bytes or the new ones;
//   - a copy (buffer cache, filler) is the source's bytes or absent;
//   - a run whose call failed did not report success.
// The kill harness does the same checks after a SIGKILL at a random moment;
// it prints its seed, and PLINKA_KILL_SEED replays one.
//
// PLINKA_FAULT_ALL=1 fails every call of every path instead of a spread of
// them (scripts/faults); the normal run keeps within the suite's time.
#include "app/app.h"
#include "app/settings_file.h"
#include "core/settings_defaults.h"
#include "db/records.h"
#include "db/table.h"
#include "play/upcoming_list.h"
#include "support/song_table.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace plinka::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kFamilies[] = {"write", "fsync", "fdatasync", "rename", "ftruncate", "fallocate"};

// The calls of one family that the normal run fails: the first few, the last
// few and an even spread between.
constexpr long kEdgePoints = 4;
constexpr long kSpreadPoints = 6;
// Kills per path in the normal run.
constexpr int kKillsPerPath = 4;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

bool everyPoint() {
  const char* all = std::getenv("PLINKA_FAULT_ALL");
  return all && std::string(all) == "1";
}

struct Fault {
  std::string family;
  long at = 0;  // 0: nothing fails, the calls are counted
  std::string error = "EIO";
};

struct Outcome {
  int exitCode = -1;  // -1: did not exit by itself
  std::string out, err;
  std::map<std::string, long> counts;
  bool fired = false;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs argv with the shim preloaded (when a fault is given), output caught
// in scratch; killed after `killAfter` when given.
Outcome runChild(const std::vector<std::string>& argv, const std::string& root, const std::optional<Fault>& fault,
                 const std::string& scratch, std::optional<Clock::duration> killAfter = std::nullopt) {
  const std::string report = scratch + "report", outFile = scratch + "out", errFile = scratch + "err";
  fs::remove(report);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (fault) {
      setenv("LD_PRELOAD", FAULT_SHIM_PATH, 1);
      setenv("PLINKA_FAULT_ROOT", root.c_str(), 1);
      setenv("PLINKA_FAULT_CALL", fault->family.c_str(), 1);
      setenv("PLINKA_FAULT_AT", std::to_string(fault->at).c_str(), 1);
      setenv("PLINKA_FAULT_ERRNO", fault->error.c_str(), 1);
      setenv("PLINKA_FAULT_REPORT", report.c_str(), 1);
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
      args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  if (killAfter) {
    std::this_thread::sleep_for(*killAfter);
    kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome o;
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = slurp(outFile);
  o.err = slurp(errFile);
  std::istringstream lines(slurp(report));
  for (std::string word; lines >> word;) {
    if (word == "fired") {
      o.fired = true;
      std::string rest;
      lines >> rest >> rest;
      continue;
    }
    long n = 0;
    lines >> n;
    o.counts[word] = n;
  }
  return o;
}

// The FileName of every record in use; nullopt when the table does not open.
std::optional<std::multiset<std::string>> tableNames(const std::string& path) {
  db::TableHandle h;
  text::copy(h.path, path.c_str());
  h.writable = 0;
  if (!db::openMapped(h))
    return std::nullopt;
  std::multiset<std::string> names;
  db::forEachInUse(h, [&](uint32_t s) {
    db::readField(h, s, db::FileName);
    names.insert(h.text);
  });
  db::closeTable(h);
  return names;
}

uint32_t scoreOf(const std::string& table, const std::string& name, uint32_t user) {
  db::TableHandle h;
  text::copy(h.path, table.c_str());
  h.writable = 0;
  uint32_t score = UINT32_MAX;
  if (!db::openMapped(h))
    return score;
  db::forEachInUse(h, [&](uint32_t s) {
    db::readField(h, s, db::FileName);
    if (name == h.text) {
      db::readField(h, s, db::scoreField(user));
      score = h.value;
    }
  });
  db::closeTable(h);
  return score;
}

// What a path's run must leave, filled in by its fixture.
struct Expect {
  std::vector<std::string> tables;      // song tables that must open and keep their songs
  std::map<std::string, size_t> kept;   // songs there before: at least once, never more often than before
  std::set<std::string> mayAdd;         // songs the path may add, once each
  std::vector<std::string> wholeFiles;  // the old bytes or the new ones (absent counts as bytes too)
  std::map<std::string, std::optional<std::string>> oldBytes, newBytes;
  // Further checks of the path: each problem found is appended.
  std::function<void(const Outcome&, std::vector<std::string>&)> extra;
  // What else of the path's result a run that reports success must have
  // done (beyond the tables and files above).
  std::function<std::string()> moreState;
};

std::optional<std::string> bytesOf(const std::string& path) {
  if (!fs::exists(path))
    return std::nullopt;
  return slurp(path);
}

struct Path {
  std::string name;
  // Makes the fixture in `work` (a folder ending in '/') and says what must hold.
  std::function<void(const std::string& work, Expect&)> prepare;
  std::function<std::vector<std::string>(const std::string& work)> argv;
  // A failed call must be reported (a nonzero exit); false for background
  // work that tries again later and tells nobody.
  bool mustReport = true;
};

void copyTree(const std::string& from, const std::string& to) {
  fs::remove_all(to);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

std::vector<std::string> problemsAfter(const Expect& e, const Outcome& o) {
  std::vector<std::string> problems;
  for (const std::string& table : e.tables) {
    const auto names = tableNames(table);
    if (!names) {
      problems.push_back("the table " + table + " does not open");
      continue;
    }
    for (const auto& [name, before] : e.kept) {
      const size_t now = names->count(name);
      if (now == 0)
        problems.push_back("lost " + name);
      else if (now > before)
        problems.push_back("doubled " + name);
    }
    for (const auto& name : std::set<std::string>(names->begin(), names->end())) {
      if (e.kept.count(name))
        continue;
      if (!e.mayAdd.count(name))
        problems.push_back("a record from nowhere: " + name);
      else if (names->count(name) > 1)
        problems.push_back("added twice: " + name);
    }
  }
  for (const std::string& file : e.wholeFiles) {
    const auto now = bytesOf(file);
    const auto oldOne = e.oldBytes.find(file), newOne = e.newBytes.find(file);
    const bool isOld = oldOne != e.oldBytes.end() && oldOne->second == now;
    const bool isNew = newOne != e.newBytes.end() && newOne->second == now;
    if (!isOld && !isNew)
      problems.push_back(file + " is neither the old file nor the new one");
  }
  if (e.extra)
    e.extra(o, problems);
  return problems;
}

// What a run left: the tables' songs and the files' bytes, to compare with a
// run without faults.
std::string stateAfter(const Expect& e) {
  std::string state;
  for (const std::string& table : e.tables) {
    const auto names = tableNames(table);
    state += table + (names ? ":" : ": does not open") + "\n";
    if (names)
      for (const std::string& name : *names)
        state += name + "\n";
  }
  for (const std::string& file : e.wholeFiles)
    state += file + "=" + bytesOf(file).value_or("(none)") + "\n";
  if (e.moreState)
    state += e.moreState();
  return state;
}

// A run whose call failed and that still ended as done must have absorbed
// the failure: left what a run without faults leaves, and, when a sync
// failed, synced again after it (a failed sync that is the last one leaves
// the data's fate unknown).
bool failureAbsorbed(const Fault& fault, const Outcome& o, const std::string& state, const std::string& cleanState) {
  if (state != cleanState)
    return false;
  const bool sync = fault.family == "fsync" || fault.family == "fdatasync";
  const auto count = o.counts.find(fault.family);
  return !sync || (count != o.counts.end() && count->second > fault.at);
}

// The calls of a family with `count` calls that a run fails.
std::vector<long> injectionPoints(long count) {
  std::vector<long> points;
  if (everyPoint() || count <= 2 * kEdgePoints + kSpreadPoints) {
    for (long n = 1; n <= count; ++n)
      points.push_back(n);
    return points;
  }
  std::set<long> chosen;
  for (long n = 1; n <= kEdgePoints; ++n) {
    chosen.insert(n);
    chosen.insert(count + 1 - n);
  }
  for (long k = 1; k <= kSpreadPoints; ++k)
    chosen.insert(count * k / (kSpreadPoints + 1));
  return std::vector<long>(chosen.begin(), chosen.end());
}

// ---- fixtures -------------------------------------------------------------

constexpr uint32_t kSongs = 60;

std::string songName(const std::string& work, uint32_t k) {
  return work + "music/Artist " + std::to_string(k % 7) + "/Song " + std::to_string(k) + ".mp3";
}

// A data folder: settings, a song table of `count` songs (every third one
// deleted when `sparse`), the State's list file, and the songs themselves.
void makeDataFolder(const std::string& work, uint32_t count, bool sparse, Expect& e, bool network = false) {
  const std::string data = work + "data/";
  fs::create_directories(data);
  for (uint32_t k = 0; k < count + 20; ++k) {
    fs::create_directories(fs::path(songName(work, k)).parent_path());
    std::ofstream(songName(work, k)) << std::string(2000 + k, static_cast<char>('a' + k % 26));
  }
  auto app = std::make_unique<App>();
  app->folders.program = data;
  app->folders.data = data;
  firstRunDefaults(app->settings, app->folders);
  std::string table = data + "Plinka.cvf";
  if (network) {
    fs::create_directories(work + "share/");
    table = work + "share/Plinka.cvf";
    app->settings.networkMode = 1;
    app->settings.localDbFlag = 0;
  }
  text::copy(app->settings.databasePath, table.c_str());
  // Names in an order other than their slots, so that a sort moves them.
  std::vector<uint32_t> order(count);
  for (uint32_t k = 0; k < count; ++k)
    order[k] = (k * 37) % count;
  makeSongTable(app->songTable, table, count, [&](db::TableHandle& h, uint32_t k) {
    const uint32_t song = order[k];
    putText(h, k, db::FileName, songName(work, song));
    putText(h, k, db::Name, "Title " + std::to_string((song * 13) % count));
    putText(h, k, db::Artist, "Artist " + std::to_string(song % 7));
    // Ripe for every user, so that the list builder and the filler choose them.
    for (uint32_t u = 0; u < kUserCount; ++u) {
      putNumber(h, k, db::scoreField(u), 100 + song);
      putNumber(h, k, db::targetField(u), 100000);
    }
  });
  e.tables.push_back(table);
  {
    db::TableHandle& h = app->songTable;
    text::copy(h.path, table.c_str());
    h.writable = 1;
    ASSERT_TRUE(db::openMapped(h));
    for (uint32_t k = 0; k < count; ++k) {
      if (sparse && k % 3 == 1) {
        ASSERT_TRUE(db::setStatus(h, k, db::kStatusFree));
      } else {
        e.kept[songName(work, order[k])] = 1;
      }
    }
    db::closeTable(h);
  }
  for (uint32_t k = 0; k < 12; ++k) {
    play::ListRow row;
    row.column[play::FileName] = songName(work, k);
    app->list.append(row);
  }
  app->listFileKept.store(0);
  ASSERT_TRUE(saveSettings(*app));
  e.wholeFiles = {data + kSettingsFileName, data + "PL1.m3u"};
}

// An import of `extra` new songs into the folder's table.
void addImportSongs(const std::string& work, uint32_t first, uint32_t extra, Expect& e) {
  fs::create_directories(work + "import/");
  for (uint32_t k = first; k < first + extra; ++k) {
    const std::string song = work + "import/New " + std::to_string(k) + ".mp3";
    std::ofstream(song) << std::string(1000 + k, 'n');
    e.mayAdd.insert(song);
  }
}

std::vector<Path> allPaths(const std::string& plinkactl, const std::string& driver) {
  std::vector<Path> paths;
  auto ctl = [plinkactl](std::vector<std::string> words) {
    return [plinkactl, words](const std::string& work) {
      std::vector<std::string> argv = {plinkactl, "--data", work + "data/"};
      for (const std::string& w : words)
        argv.push_back(w == "@" ? work : w);
      return argv;
    };
  };

  // Import: the table grows several times on the way.
  paths.push_back({"import-grow",
                   [](const std::string& work, Expect& e) {
                     makeDataFolder(work, kSongs, false, e);
                     addImportSongs(work, 0, 120, e);
                   },
                   [plinkactl](const std::string& work) {
                     return std::vector<std::string>{plinkactl, "--data", work + "data/", "import", work + "import/"};
                   }});

  // A table two thirds full is compacted and shrunk at the first slot an
  // import asks for.
  paths.push_back({"import-compact-shrink",
                   [](const std::string& work, Expect& e) {
                     makeDataFolder(work, kSongs, true, e);
                     addImportSongs(work, 0, 3, e);
                   },
                   [plinkactl](const std::string& work) {
                     return std::vector<std::string>{plinkactl, "--data", work + "data/", "import", work + "import/"};
                   }});

  // Every maintenance function.
  struct Maintenance {
    const char* name;
    std::vector<std::string> words;
    bool sparse;
  };
  const Maintenance functions[] = {
      {"save-playlist", {"save-playlist", "@saved.m3u"}, false},
      {"remove-duplicates", {"remove-duplicates"}, false},
      {"copy-ratings", {"copy-ratings", "1", "2"}, false},
      {"upscore", {"upscore", "3"}, false},
      {"remove-missing", {"remove-missing"}, false},
      {"reload", {"reload"}, false},
      {"redefault", {"redefault", "5"}, false},
      {"undelete", {"undelete"}, true},
      {"reset-start-points", {"reset-start-points"}, false},
      {"sort-name", {"sort-name"}, false},
      {"sort-artist", {"sort-artist"}, false},
  };
  for (const Maintenance& m : functions) {
    const bool undelete = std::string(m.name) == "undelete";
    const bool save = std::string(m.name) == "save-playlist";
    paths.push_back({std::string("maintain-") + m.name,
                     [undelete, save, sparse = m.sparse](const std::string& work, Expect& e) {
                       makeDataFolder(work, kSongs, sparse, e);
                       // Undelete brings the deleted songs back.
                       if (undelete)
                         for (uint32_t k = 0; k < kSongs; ++k)
                           e.mayAdd.insert(songName(work, k));
                       if (save) {
                         std::ofstream(work + "saved.m3u") << std::string(50000, '#');
                         e.wholeFiles.push_back(work + "saved.m3u");
                       }
                     },
                     [plinkactl, words = m.words](const std::string& work) {
                       std::vector<std::string> argv = {plinkactl, "--data", work + "data/", "maintain"};
                       for (const std::string& w : words)
                         argv.push_back(w[0] == '@' ? work + w.substr(1) : w);
                       return argv;
                     }});
  }

  // The settings save with its list file, and the list save alone.
  paths.push_back({"settings-save", [](const std::string& work, Expect& e) { makeDataFolder(work, 20, false, e); },
                   [driver](const std::string& work) {
                     return std::vector<std::string>{driver, "settings", work + "data/"};
                   }});
  paths.push_back({"list-save",
                   [](const std::string& work, Expect& e) {
                     makeDataFolder(work, 20, false, e);
                     // The list save reads its songs from the data folder's music/.
                     fs::create_directories(work + "data/music/");
                     for (uint32_t k = 0; k < 40; ++k)
                       std::ofstream(work + "data/music/" + std::to_string(k) + ".mp3") << "x";
                   },
                   [driver](const std::string& work) {
                     return std::vector<std::string>{driver, "list", work + "data/"};
                   }});

  // Network mode: a rating pulls the share's table into the local copy and
  // pushes it back; a maintenance function does the same around its pass.
  paths.push_back({"rate-pull-push",
                   [](const std::string& work, Expect& e) {
                     makeDataFolder(work, kSongs, false, e, true);
                     const std::string share = e.tables.front();
                     const std::string song = songName(work, 5);
                     e.extra = [share, song](const Outcome& o, std::vector<std::string>& problems) {
                       if (o.exitCode == 0 && scoreOf(share, song, 0) == 105)
                         problems.push_back("the rating reported stored is not on the share");
                     };
                   },
                   [plinkactl](const std::string& work) {
                     return std::vector<std::string>{plinkactl, "--data",          work + "data/",
                                                     "rate",    songName(work, 5), "9"};
                   }});
  paths.push_back({"maintain-network",
                   [](const std::string& work, Expect& e) { makeDataFolder(work, kSongs, false, e, true); },
                   ctl({"maintain", "sort-artist"})});

  // The loudness command writes its values into the table in batches,
  // locally and through a share.
  paths.push_back(
      {"loudness", [](const std::string& work, Expect& e) { makeDataFolder(work, 12, false, e); }, ctl({"loudness"})});
  paths.push_back({"loudness-network",
                   [](const std::string& work, Expect& e) { makeDataFolder(work, 12, false, e, true); },
                   ctl({"loudness"})});

  // The buffer cache copies songs of the share into the cache folder.
  paths.push_back({"buffer-cache",
                   [](const std::string& work, Expect& e) {
                     fs::create_directories(work + "data/");
                     fs::create_directories(work + "share/");
                     std::vector<std::string> songs;
                     for (uint32_t k = 0; k < 8; ++k) {
                       songs.push_back(work + "share/" + std::to_string(k) + ".mp3");
                       std::ofstream(songs.back()) << std::string(40000 + k * 1000, static_cast<char>('A' + k));
                     }
                     const std::string media = work + "data/cache/Media/";
                     e.extra = [songs, media](const Outcome&, std::vector<std::string>& problems) {
                       for (const std::string& song : songs) {
                         const std::string cached = media + song.substr(1);
                         if (fs::exists(cached) && slurp(cached) != slurp(song))
                           problems.push_back("the cached copy of " + song + " differs from it");
                       }
                     };
                   },
                   [driver](const std::string& work) {
                     return std::vector<std::string>{driver, "cache", work + "data/", work + "share/"};
                   },
                   false});

  // The filler copies chosen songs into a folder.
  paths.push_back({"filler-copy",
                   [](const std::string& work, Expect& e) {
                     makeDataFolder(work, 30, false, e);
                     // Songs of 60 KB or more: some 15 copies fill the megabyte.
                     for (uint32_t k = 0; k < 50; ++k)
                       std::ofstream(songName(work, k)) << std::string(60000 + k, static_cast<char>('a' + k % 26));
                     fs::create_directories(work + "out/");
                     std::map<std::string, std::string> contents;
                     for (uint32_t k = 0; k < 50; ++k)
                       contents[slurp(songName(work, k))] = songName(work, k);
                     const std::string out = work + "out/";
                     e.extra = [contents, out](const Outcome&, std::vector<std::string>& problems) {
                       for (const auto& entry : fs::recursive_directory_iterator(out)) {
                         if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.')
                           continue;
                         if (!contents.count(slurp(entry.path().string())))
                           problems.push_back("the copy " + entry.path().string() + " is no song's bytes");
                       }
                     };
                   },
                   [plinkactl](const std::string& work) {
                     return std::vector<std::string>{plinkactl, "--data", work + "data/", "fill", work + "out/",
                                                     "--size",  "1"};
                   }});
  return paths;
}

struct Tally {
  int runs = 0, lost = 0, unreported = 0;
  std::vector<std::string> failures;  // the test fails on each
};

void record(Tally& t, const std::string& path, const std::string& what, const std::vector<std::string>& problems,
            bool unreported, const Outcome& outcome) {
  ++t.runs;
  if (problems.empty() && !unreported)
    return;
  if (!problems.empty())
    ++t.lost;
  if (unreported)
    ++t.unreported;
  std::string line = path + " " + what + ": ";
  line += unreported ? "a failed call was reported as success" : "";
  for (const std::string& p : problems)
    line += (line.back() == ' ' ? "" : "; ") + p;
  if (unreported && !outcome.err.empty())
    line += " (it said: " + outcome.err.substr(0, 200) + ")";
  t.failures.push_back(line);
}

class FaultRun : public ::testing::Test {
protected:
  void SetUp() override {
    if (kSanitized)
      GTEST_SKIP() << "the fault shim is preloaded in front of the C library, where a sanitizer's runtime must "
                      "come first; the fault and kill runs are made in the plain build";
  }

  // Builds the path's fixture in work/ and keeps a copy to start each run from.
  Expect prepare(const Path& path) {
    fs::remove_all(work);
    fs::create_directories(work);
    Expect e;
    path.prepare(work, e);
    for (const std::string& f : e.wholeFiles)
      e.oldBytes[f] = bytesOf(f);
    copyTree(work, kept);
    return e;
  }

  void restore() { copyTree(kept, work); }

  // Under /dev/shm where there is one: the runs count and fail the sync
  // calls, they do not need them to reach a disk, and thousands of real
  // syncs would take minutes.
  static std::string scratchFolder() {
    std::string pattern = (fs::exists("/dev/shm/") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
                          "/plinka-faults-XXXXXX";
    if (!mkdtemp(pattern.data()))
      return fs::temp_directory_path().string() + "/";
    return pattern + "/";
  }
  void TearDown() override { fs::remove_all(scratch); }

  const std::string scratch = scratchFolder();
  const std::string work = scratch + "work/", kept = scratch + "kept/";
  const std::vector<Path> paths = allPaths(PLINKACTL_PATH, FAULT_DRIVER_PATH);
};

TEST_F(FaultRun, EveryWritePathFailedCallByCallLosesNothingAndTellsTheUser) {
  Tally tally;
  int cases = 0;
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    const auto pathStart = Clock::now();
    Expect e = prepare(path);
    // A clean run: it must succeed and pass every check, and it counts the
    // calls and leaves the new bytes of the files it writes.
    const Outcome clean = runChild(path.argv(work), work, Fault{}, scratch);
    ASSERT_EQ(clean.exitCode, 0) << path.name << ": " << clean.err;
    for (const std::string& f : e.wholeFiles)
      e.newBytes[f] = bytesOf(f);
    const std::vector<std::string> cleanProblems = problemsAfter(e, clean);
    const std::string cleanState = stateAfter(e);
    ASSERT_TRUE(cleanProblems.empty()) << path.name << " without a fault: " << cleanProblems.front();
    std::string counted;
    for (const char* family : kFamilies) {
      const auto found = clean.counts.find(family);
      const long count = found == clean.counts.end() ? 0 : found->second;
      counted += std::string(" ") + family + "=" + std::to_string(count);
      for (const long at : injectionPoints(count)) {
        restore();
        const Fault fault{family, at, at % 2 ? "EIO" : "ENOSPC"};
        const Outcome o = runChild(path.argv(work), work, fault, scratch);
        ++cases;
        const std::vector<std::string> problems = problemsAfter(e, o);
        // A run whose call failed must not end as done, unless it made up
        // for the failure.
        const bool unreported =
            path.mustReport && o.fired && o.exitCode == 0 && !failureAbsorbed(fault, o, stateAfter(e), cleanState);
        record(tally, path.name, std::string(family) + "#" + std::to_string(at) + " " + fault.error, problems,
               unreported, o);
        if (o.exitCode != 0 && o.exitCode != 1)
          tally.failures.push_back(path.name + " " + family + "#" + std::to_string(at) + ": ended with status " +
                                   std::to_string(o.exitCode) + " " + o.err);
      }
    }
    std::printf("[ fault    ] %-22s %5.1f s, calls:%s\n", path.name.c_str(),
                std::chrono::duration<double>(Clock::now() - pathStart).count(), counted.c_str());
    std::fflush(stdout);
  }
  std::printf("[ fault    ] %zu paths x injection points: %d runs, %d lost anything, %d unreported\n", paths.size(),
              cases, tally.lost, tally.unreported);
  RecordProperty("fault_runs", cases);
  RecordProperty("fault_lost", tally.lost);
  for (const std::string& f : tally.failures)
    ADD_FAILURE() << f;
}

TEST_F(FaultRun, EveryWritePathKilledAtRandomMomentsLosesNothing) {
  uint32_t seed = static_cast<uint32_t>(Clock::now().time_since_epoch().count());
  if (const char* given = std::getenv("PLINKA_KILL_SEED"))
    seed = static_cast<uint32_t>(std::strtoul(given, nullptr, 10));
  std::printf("[ kill     ] seed %u (PLINKA_KILL_SEED=%u replays this run)\n", seed, seed);
  std::mt19937 rng(seed);
  const int kills = everyPoint() ? 5 * kKillsPerPath : kKillsPerPath;
  Tally tally;
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    Expect e = prepare(path);
    const auto start = Clock::now();
    const Outcome clean = runChild(path.argv(work), work, std::nullopt, scratch);
    const auto whole = Clock::now() - start;
    ASSERT_EQ(clean.exitCode, 0) << path.name << ": " << clean.err;
    for (const std::string& f : e.wholeFiles)
      e.newBytes[f] = bytesOf(f);
    for (int k = 0; k < kills; ++k) {
      restore();
      const auto after = whole * static_cast<long>(rng() % 1000) / 1000;
      const Outcome o = runChild(path.argv(work), work, std::nullopt, scratch, after);
      record(tally, path.name,
             "killed after " + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(after).count()) +
                 " us",
             problemsAfter(e, o), false, o);
    }
  }
  std::printf("[ kill     ] %zu paths x %d kills: %d runs, %d lost anything (seed %u)\n", paths.size(), kills,
              tally.runs, tally.lost, seed);
  for (const std::string& f : tally.failures)
    ADD_FAILURE() << f << " (seed " << seed << ")";
}

}  // namespace
}  // namespace plinka::test
