#include "play/song_search.h"

#include "core/exclusive_access.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/media_types.h"
#include "play/play_context.h"
#include "text/text.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace plinka::play {

namespace {

// Cancellation and the hold on the table are looked at every this many
// slots (a power of two).
constexpr uint32_t kLookEvery = 256;

using SteadyClock = std::chrono::steady_clock;

// Gathers found songs and hands them on: the first at once, then whatever
// has gathered once kSearchBatchMs have passed since the last hand-over.
class Batcher {
public:
  explicit Batcher(const FoundSongsSink& deliver) : deliver_(deliver) {}

  void add(FoundSong&& song) {
    pending_.push_back(std::move(song));
    if (!handedOver_)
      flush();
    else
      flushWhenDue();
  }
  void flushWhenDue() {
    if (!pending_.empty() && SteadyClock::now() - last_ >= std::chrono::milliseconds(kSearchBatchMs))
      flush();
  }
  void flush() {
    if (pending_.empty())
      return;
    std::vector<FoundSong> batch;
    batch.swap(pending_);
    deliver_(std::move(batch));
    handedOver_ = true;
    last_ = SteadyClock::now();
  }

private:
  const FoundSongsSink& deliver_;
  std::vector<FoundSong> pending_;
  bool handedOver_ = false;
  SteadyClock::time_point last_ = SteadyClock::now();
};

// The search lists ratings for the user of the first State, whichever State
// is current.
uint32_t firstStateUser(const PlayContext& app) {
  const uint32_t user = app.shared.stateUser[0].load();
  return user < static_cast<uint32_t>(kUserCount) ? user : 0;
}

uint32_t readNumber(db::TableHandle& table, uint32_t slot, uint32_t field) {
  return db::readField(table, slot, field) >= 0 ? table.value : 0;
}

std::string readText(db::TableHandle& table, uint32_t slot, uint32_t field) {
  return db::readField(table, slot, field) >= 0 ? std::string(table.text) : std::string();
}

// The row of a found song, with the texts the upcoming list shows for it.
FoundSong foundSong(PlayContext& app, uint32_t slot, uint32_t rating) {
  db::TableHandle& table = app.songTable;
  FoundSong song;
  song.column[Title] = readText(table, slot, db::Name);
  song.column[Artist] = readText(table, slot, db::Artist);
  song.column[Album] = readText(table, slot, db::Album);
  song.column[FileName] = readText(table, slot, db::FileName);
  song.column[Type] =
      library::isVideo(library::mediaType(app.settings, song.column[FileName].c_str())) ? "Video" : "Audio";
  song.rating = rating;
  song.slot = slot;
  return song;
}

bool accessHeld(const PlayContext& app) { return app.run.busyCode.load() == codeValue(BusyCode::SearchWindow); }

// Looks between slots: whether to go on, and why not.
bool keepGoing(const PlayContext& app, const std::function<bool()>& cancelled, SearchEnd& end) {
  if (cancelled() || app.run.appEnding.load() != 0) {
    end = SearchEnd::Cancelled;
    return false;
  }
  if (!accessHeld(app)) {
    end = SearchEnd::Lost;
    return false;
  }
  return true;
}

// Every song in use after slot 0 that matches the search text, in slot
// order. Slot 0 holds the record the table was made with.
SearchEnd findMatches(PlayContext& app, const std::string& searchText, const std::function<bool()>& cancelled,
                      Batcher& batcher) {
  db::TableHandle& table = app.songTable;
  // A text too long for the table's search text could only match wrongly.
  if (text::copy(table.searchText, searchText.c_str()) >= sizeof table.searchText)
    return SearchEnd::Done;
  const uint32_t user = firstStateUser(app);
  SearchEnd end = SearchEnd::Done;
  for (uint32_t slot = 1; slot < table.slotCount; ++slot) {
    if (slot % kLookEvery == 0) {
      if (!keepGoing(app, cancelled, end))
        return end;
      batcher.flushWhenDue();
    }
    if (db::getStatus(table, slot) != static_cast<int32_t>(db::kStatusInUse) || !db::recordMatches(table, slot))
      continue;
    const uint32_t rating = db::ratingOfScore(app.settings, readNumber(table, slot, db::scoreField(user)));
    batcher.add(foundSong(app, slot, rating));
  }
  return end;
}

// A song that may be among the Top Songs.
struct Played {
  uint32_t rating;
  uint32_t count;
  uint32_t slot;
};

// Rating 10 down to 0; within a rating the most played first; songs played
// as often in slot order.
bool listedBefore(const Played& a, const Played& b) {
  if (a.rating != b.rating)
    return a.rating > b.rating;
  if (a.count != b.count)
    return a.count > b.count;
  return a.slot < b.slot;
}

// The Top Songs: one pass gathers every song in use that was played at
// least once, then the first kTopSongsMax in listing order are listed.
SearchEnd fillTopSongs(PlayContext& app, const std::function<bool()>& cancelled, Batcher& batcher) {
  db::TableHandle& table = app.songTable;
  const uint32_t user = firstStateUser(app);
  std::vector<Played> played;
  SearchEnd end = SearchEnd::Done;
  for (uint32_t slot = 0; slot < table.slotCount; ++slot) {
    if (slot % kLookEvery == 0 && !keepGoing(app, cancelled, end))
      return end;
    if (db::getStatus(table, slot) != static_cast<int32_t>(db::kStatusInUse))
      continue;
    const uint32_t count = readNumber(table, slot, db::PlayCount);
    if (count == 0)
      continue;
    played.push_back({db::ratingOfScore(app.settings, readNumber(table, slot, db::scoreField(user))), count, slot});
  }
  const size_t listed = std::min(played.size(), kTopSongsMax);
  std::partial_sort(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(listed), played.end(), listedBefore);
  for (size_t k = 0; k < listed; ++k)
    batcher.add(foundSong(app, played[k].slot, played[k].rating));
  return end;
}

}  // namespace

SearchEnd searchSongTable(PlayContext& app, const SearchOrder& order, const std::function<bool()>& cancelled,
                          const FoundSongsSink& deliver) {
  const db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
  if (!open)
    return SearchEnd::Done;
  // The table opened: offline mode ends, and a list is built if one was
  // under way or wanted.
  if (app.run.buildState.load() != kBuildIdle)
    app.run.buildState.store(kBuildWanted);
  Batcher batcher(deliver);
  const SearchEnd end = order.kind == SearchKind::TopSongs ? fillTopSongs(app, cancelled, batcher)
                                                           : findMatches(app, order.text, cancelled, batcher);
  if (end != SearchEnd::Cancelled)
    batcher.flush();
  return end;
}

SearchEnd runSongSearch(PlayContext& app, const SearchOrder& order, const std::function<bool()>& cancelled,
                        const FoundSongsSink& deliver) {
  RunState& run = app.run;
  // Asked for only while nobody is posting, so the search never stands in
  // the way of a command the user is giving, and only while no job holds
  // the table: the request itself cannot be cancelled, so the waiting is
  // done here, where a newer search or the window's close ends it at once.
  const auto free = [&run] {
    return run.busyCode.load() == 0 && run.commandSlot.load() == 0 && run.posterCount.load() == 0;
  };
  for (;;) {
    if (cancelled() || isAppEnding(app))
      return SearchEnd::Cancelled;
    if (free()) {
      const ExclusiveAccess access(app, BusyCode::SearchWindow, kSearchPatience);
      if (access.held())
        return searchSongTable(app, order, cancelled, deliver);
    }
    if (cancelled())
      return SearchEnd::Cancelled;
    waitFor(app, kSearchRetryMs, [&] { return cancelled() || free(); });
  }
}

struct SongSearch::Shared {
  // The number of the search that is to run; a search whose number it no
  // longer is has been cancelled. Written by start and cancel (the window's
  // thread); read by the searches' job threads.
  std::atomic<uint64_t> current{0};
  // The last number given. Written and read by start only.
  uint64_t lastNumber = 0;
  // Held by a job thread for its whole search, so that a new search starts
  // reading only once the one it cancelled has let go of the table.
  std::mutex running;
  // Guards `receiver`: written by setReceiver (any thread), called under it
  // by the job threads, so once setReceiver has returned no report reaches
  // the receiver it replaced.
  std::mutex receiverMutex;
  Receiver receiver;

  // Hands a report to the receiver while its search is still the one to run.
  void report(uint64_t number, SearchReport&& r) {
    const std::lock_guard lock(receiverMutex);
    if (receiver && current.load() == number)
      receiver(std::move(r));
  }
};

SongSearch::SongSearch(PlayContext& app) : app_(app), shared_(std::make_shared<Shared>()) {}

SongSearch::~SongSearch() {
  cancel();
  setReceiver(nullptr);
}

void SongSearch::setReceiver(Receiver receiver) {
  const std::lock_guard lock(shared_->receiverMutex);
  shared_->receiver = std::move(receiver);
}

void SongSearch::cancel() {
  shared_->current.store(0);
  // A search waiting for exclusive use notices at once.
  app_.run.wake.notify();
}

uint64_t SongSearch::start(const SearchOrder& order) {
  const uint64_t number = ++shared_->lastNumber;
  shared_->current.store(number);
  app_.run.wake.notify();
  PlayContext* app = &app_;
  std::shared_ptr<Shared> shared = shared_;
  const bool started = app_.jobThreads.start([app, shared, order, number] {
    const std::lock_guard one(shared->running);
    const auto cancelled = [&shared, number] { return shared->current.load() != number; };
    uint32_t found = 0;
    const auto deliver = [&](std::vector<FoundSong>&& songs) {
      found += static_cast<uint32_t>(songs.size());
      SearchReport r;
      r.search = number;
      r.songs = std::move(songs);
      shared->report(number, std::move(r));
    };
    SearchReport last;
    last.search = number;
    last.finished = true;
    last.end = cancelled() ? SearchEnd::Cancelled : runSongSearch(*app, order, cancelled, deliver);
    last.found = found;
    shared->report(number, std::move(last));
  });
  if (!started) {
    shared_->current.store(0);
    return 0;
  }
  return number;
}

}  // namespace plinka::play
