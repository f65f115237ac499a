#include "library/cover_art.h"

#include "core/random_source.h"
#include "core/run_state.h"
#include "core/status_message.h"
#include "library/file_access.h"
#include "library/library_context.h"
#include "library/media_types.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace plinka::library {

namespace {

// buildState while a list build is under way.
constexpr uint32_t kBuildActiveFirst = 1;
constexpr uint32_t kBuildActiveLast = 999;

char lowerByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerByte(a[i]) != lowerByte(b[i])) {
      return false;
    }
  }
  return true;
}

bool endsWithIgnoringCase(const std::string& name, const std::string& suffix) {
  return name.size() >= suffix.size() && sameIgnoringCase(name.substr(name.size() - suffix.size()), suffix);
}

bool opensForReading(const std::string& path) {
  const int fd = openForReading(path.c_str());
  if (fd < 0) {
    return false;
  }
  FileCloser closer(fd);
  return true;
}

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Names in folder that `keep` accepts, in byte order, at most `limit` of
// them. Picture collections often come from systems whose file names ignore
// letter case, so callers match names in either case.
template <class Keep> std::vector<std::string> listNames(const std::string& folder, size_t limit, Keep keep) {
  std::vector<std::string> names;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    return names;
  }
  while (names.size() < limit) {
    const dirent* entry = readdir(listing);
    if (entry == nullptr) {
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && keep(name)) {
      names.push_back(name);
    }
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

// The file `name` in folder, letters in either case; the exact spelling is
// tried first.
bool findFile(const std::string& folder, const std::string& name, std::string& found) {
  if (opensForReading(folder + name)) {
    found = folder + name;
    return true;
  }
  const auto names = listNames(folder, kRandomPictureNames,
                               [&](const std::string& candidate) { return sameIgnoringCase(candidate, name); });
  for (const std::string& candidate : names) {
    if (opensForReading(folder + candidate)) {
      found = folder + candidate;
      return true;
    }
  }
  return false;
}

// The folder of a song path, up to and including its last '/'; empty when
// the path names no folder.
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string withSlash(const std::string& folder) {
  return (folder.empty() || folder.back() == '/') ? folder : folder + "/";
}

// The file of the song playing now, as the playing layer tells it.
std::string currentSong(LibraryContext& app) { return app.currentSongFile ? app.currentSongFile() : std::string(); }

void countFailure(LibraryContext& app) {
  app.cover.ready.store(0);
  releaseCover(app);
  if (app.run.buildState.load() == kOfflineFirst) {
    app.cover.failures.store(2);
  }
  if (app.cover.failures.load() == 2) {
    app.cover.failures.store(0);
    setOneShotMessage(app, kCoverFailedMessage);
    noticeStatusChanged(app);
  } else {
    app.cover.failures.fetch_add(1);
  }
}

// The whole load, with cover.loading already taken by the caller.
CoverResult loadWithFlagHeld(LibraryContext& app) {
  CoverState& cover = app.cover;
  if (app.currentMediaType.load() >= kFirstVideoType || pictureSetting(app, PictureSetting::CoverArt) == 0 ||
      app.run.busyCode.load() != 0) {
    return CoverResult::NotNow;
  }
  // A list build under way is asked for again.
  const uint32_t build = app.run.buildState.load();
  if (build >= kBuildActiveFirst && build <= kBuildActiveLast) {
    app.run.buildState.store(kBuildWanted);
  }
  // Every mark starts afresh, so nothing found for the last song leaks into
  // this song's choice.
  cover.coverFound.store(0);
  cover.discFound.store(0);
  cover.bothFound.store(0);
  cover.defaultCover.store(0);
  releaseCover(app);

  // The player may start the next song meanwhile: work on a copy.
  const std::string songFile = currentSong(app);
  const std::string folder = folderOf(songFile);

  std::string pathA;  // cover, folder picture or default cover
  std::string pathB;  // disc
  bool coverFound = false;
  bool discFound = false;
  bool defaultFound = false;
  if (!folder.empty()) {
    coverFound = findNamedPicture(folder, kCoverBase, pathA);
    discFound = findNamedPicture(folder, kDiscBase, pathB);
  }
  if (!coverFound && !discFound) {
    if (!folder.empty() && findFolderPicture(app, folder, pathA)) {
      coverFound = true;
    } else {
      for (const std::string* place : {&app.folders.data, &app.folders.program}) {
        if (!place->empty() && findNamedPicture(withSlash(*place), kCoverBase, pathA)) {
          defaultFound = true;
          break;
        }
      }
    }
  }
  cover.coverFound.store(coverFound ? 1 : 0);
  cover.discFound.store(discFound ? 1 : 0);
  cover.bothFound.store(coverFound && discFound ? 1 : 0);
  cover.defaultCover.store(defaultFound ? 1 : 0);

  bool ready = false;
  if (coverFound || discFound || defaultFound) {
    const uint32_t choice = pictureSetting(app, PictureSetting::CoverChoice);
    const bool useA = (choice == kCoverChoiceCover && coverFound) || (choice == kCoverChoiceDisc && !discFound) ||
                      (choice >= kCoverChoiceQuickLinks && coverFound) || defaultFound;
    std::string path = useA ? pathA : pathB;
    // A choice outside the known values must not pick a picture that was not
    // found while the other one was.
    if (path.empty()) {
      path = useA ? pathB : pathA;
    }
    platform::PixelBlock picture;
    uint32_t side = cover.largestShownSide.load();
    if (side == 0)
      side = kDecodeSideUntold;
    const auto decode = [&picture, side](const std::string& file) {
      return platform::decodePicture(file, picture, static_cast<int>(side), static_cast<int>(side));
    };
    platform::PictureLoad load = platform::PictureLoad::Unreadable;
    for (int attempt = 0; attempt < kPictureLoadAttempts && load == platform::PictureLoad::Unreadable; ++attempt) {
      load = decode(path);
    }
    // A picture too large to decode is shown as the default cover.
    if (load == platform::PictureLoad::TooLarge && !defaultFound) {
      for (const std::string* place : {&app.folders.data, &app.folders.program}) {
        std::string fallback;
        if (!place->empty() && findNamedPicture(withSlash(*place), kCoverBase, fallback) &&
            decode(fallback) == platform::PictureLoad::Loaded) {
          load = platform::PictureLoad::Loaded;
          path = fallback;
          cover.defaultCover.store(1);
          break;
        }
      }
    }
    ready = load == platform::PictureLoad::Loaded;
    if (ready) {
      std::lock_guard lock(cover.pictureMutex);
      // A new song may have started while the picture was decoded: its
      // picture is not this one, so nothing is kept and the heartbeat loads
      // the right one next.
      if (songFile != currentSong(app)) {
        return CoverResult::Superseded;
      }
      cover.picture = std::move(picture);
      cover.picturePath = path;
      ++cover.pictureGeneration;
      app.cover.ready.store(1);
    }
  }
  if (!ready) {
    // A failure belongs to the song it was tried for: once another song has
    // started, its own count stands.
    if (songFile != currentSong(app)) {
      return CoverResult::Superseded;
    }
    countFailure(app);
    return CoverResult::Failed;
  }
  return CoverResult::Loaded;
}

// Clears cover.loading and has a ready picture painted.
void finishLoad(LibraryContext& app) {
  app.cover.loading.store(0);
  if (app.cover.ready.load() != 0 && app.ui != nullptr) {
    app.ui->repaint(RepaintArea::Picture);
  }
}

}  // namespace

bool findNamedPicture(const std::string& folder, const char* base, std::string& found) {
  for (const char* ending : kPictureEndings) {
    if (findFile(folder, std::string(base) + ending, found)) {
      return true;
    }
  }
  return false;
}

bool findFolderPicture(LibraryContext& app, const std::string& folder, std::string& found) {
  if (findFile(folder, kFolderPicture, found)) {
    return true;
  }
  for (const char* ending : kPictureEndings) {
    if (randomPicture(app, folder, ending, found) != 0) {
      return true;
    }
  }
  return false;
}

uint32_t randomPicture(LibraryContext& app, const std::string& folder, const char* ending, std::string& found) {
  const std::string suffix = std::string(".") + ending;
  const std::string base = withSlash(folder);
  for (int attempt = 0; attempt < kRandomPictureAttempts; ++attempt) {
    // Only files: a folder named like a picture is never chosen.
    const auto names = listNames(base, kRandomPictureNames, [&](const std::string& name) {
      return endsWithIgnoringCase(name, suffix) && isRegularFile(base + name);
    });
    if (names.empty()) {
      return 0;
    }
    const uint32_t n = static_cast<uint32_t>(names.size());
    const uint32_t k = drawRandom(app, n);
    const size_t index = (k == 0 || k > n) ? 0 : k - 1;
    const std::string candidate = base + names[index];
    if (opensForReading(candidate)) {
      found = candidate;
      return n;
    }
  }
  return 0;
}

CoverResult loadCover(LibraryContext& app) {
  if (app.cover.loading.exchange(1) != 0) {
    return CoverResult::Running;
  }
  const CoverResult result = loadWithFlagHeld(app);
  finishLoad(app);
  return result;
}

void startCoverLoader(LibraryContext& app) {
  if (app.cover.loading.exchange(1) != 0) {
    return;
  }
  const bool started = app.jobThreads.start([&app] {
    loadWithFlagHeld(app);
    finishLoad(app);
  });
  if (!started) {
    app.cover.loading.store(0);
  }
}

void releaseCover(LibraryContext& app) {
  CoverState& cover = app.cover;
  std::lock_guard lock(cover.pictureMutex);
  app.cover.ready.store(0);
  cover.picture = platform::PixelBlock{};
  cover.picturePath.clear();
  ++cover.pictureGeneration;
}

bool copyCoverPicture(LibraryContext& app, platform::PixelBlock& out) {
  CoverState& cover = app.cover;
  std::lock_guard lock(cover.pictureMutex);
  if (app.cover.ready.load() == 0) {
    return false;
  }
  out = cover.picture;
  return true;
}

}  // namespace plinka::library
