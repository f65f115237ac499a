// The Search window's work on the song table: every song that matches a search
// text, or the Top Songs (the most played songs, best rated first). It runs on
// a job thread under exclusive use (BusyCode::SearchWindow) and hands the songs
// it finds to a receiver in batches as it goes, so a window can show the first
// ones long before the table has been read to its end.
//
// A window keeps one SongSearch: starting a search cancels the one running,
// and only one search at a time reads the table.
#pragma once

#include "play/upcoming_list.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

// Top Songs lists at most this many songs.
constexpr size_t kTopSongsMax = 100;
// Patience of each request for exclusive use, and how long a refused
// search waits for the run state to change before it asks again.
constexpr uint32_t kSearchPatience = 10;
constexpr uint32_t kSearchRetryMs = 100;
// Found songs wait at most this long (real time) before they are handed
// over; the first one is handed over at once.
constexpr uint32_t kSearchBatchMs = 50;

// One song found: its list row texts (Title, Artist, Album, FileName, Type),
// its rating 0-10 for the first State's user, and its slot in the table.
struct FoundSong {
  std::string column[ColumnCount];
  uint32_t rating = 0;
  uint32_t slot = 0;
};

enum class SearchKind {
  Text,      // every song in use after slot 0 that matches the text
  TopSongs,  // the most played songs, rating 10 down to 0
};

struct SearchOrder {
  SearchKind kind = SearchKind::Text;
  std::string text;  // the search text (Text only)
};

// How a search ended.
enum class SearchEnd {
  Done,       // read to its end (songs found or not)
  Cancelled,  // a newer search, the window's close or the end of the run
  Lost,       // exclusive use was taken away while it read
};

// What a search hands its receiver: found songs in the order they are
// listed, and, in its last report, how it ended.
struct SearchReport {
  uint64_t search = 0;  // the number start() gave the search
  std::vector<FoundSong> songs;
  bool finished = false;
  SearchEnd end = SearchEnd::Done;
  uint32_t found = 0;  // songs found in all (in the last report)
};

// Hands a batch of found songs on.
using FoundSongsSink = std::function<void(std::vector<FoundSong>&&)>;

// Searches the song table while the caller holds exclusive use under
// BusyCode::SearchWindow: opens it for reading, sets buildState to 10 unless
// it is 0 (a search ends offline mode, the table having opened), reads,
// closes it. `deliver` gets the found songs in batches, in the order they are
// listed (a cancelled search drops what it has not handed over yet);
// `cancelled` is asked between slots. Gives up (Lost) once
// BusyCode::SearchWindow is no longer the busy code.
SearchEnd searchSongTable(PlayContext& app, const SearchOrder& order, const std::function<bool()>& cancelled,
                          const FoundSongsSink& deliver);

// The same with the wait for exclusive use (BusyCode::SearchWindow) first:
// asked for while no thread is posting and no job holds the table, looked at
// again whenever the run state changes (at least every kSearchRetryMs), until
// it is granted or `cancelled` holds. Waits, so it runs on a job thread.
SearchEnd runSongSearch(PlayContext& app, const SearchOrder& order, const std::function<bool()>& cancelled,
                        const FoundSongsSink& deliver);

class SongSearch {
public:
  using Receiver = std::function<void(SearchReport&&)>;

  explicit SongSearch(PlayContext& app);
  // Cancels the running search; its reports stop before this returns.
  ~SongSearch();
  SongSearch(const SongSearch&) = delete;
  SongSearch& operator=(const SongSearch&) = delete;

  // Where the reports go; called on the search's job thread. Any thread.
  void setReceiver(Receiver receiver);
  // Cancels the running search and starts `order` on a job thread. Its
  // number (every report carries it), or 0 when no thread could start.
  uint64_t start(const SearchOrder& order);
  // Cancels the running search: it stops at its next look and reports no
  // more songs.
  void cancel();

private:
  struct Shared;
  PlayContext& app_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace plinka::play
