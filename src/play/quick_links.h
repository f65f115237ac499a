// Quick-link lists: the other songs that share the current song's album,
// artist, title or comment, best rated first for the State's user. Either
// picture area of the now-playing area can show one instead of a picture;
// clicking a row plays its song at once.
//
// A short-lived builder finds them in the song table under its own busy code
// whenever the lists are out of date: after every song start and every change
// of the View choice. The window paints copies of the finished lists.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

// The list kinds, as coverChoice (upper area) and quickLinkChoice (lower
// area) name them.
// Most songs a list holds and shows.
constexpr size_t kQuickLinkRowLimit = 25;

constexpr uint32_t kQuickLinksAlbum = 10;
constexpr uint32_t kQuickLinksArtist = 11;
constexpr uint32_t kQuickLinksTitle = 12;
constexpr uint32_t kQuickLinksComment = 13;
constexpr uint32_t kQuickLinkKinds = 4;
constexpr bool isQuickLinkKind(uint32_t choice) { return choice >= kQuickLinksAlbum && choice <= kQuickLinksComment; }

// Patience of the builder's request for exclusive use.
constexpr uint32_t kQuickLinkPatience = 10;

// The heading a list of `kind` is shown under ("" for any other value), and
// the song field its key is looked up in (0 for any other value).
const char* quickLinkHeading(uint32_t kind);
uint32_t quickLinkField(uint32_t kind);

// One list as built: its songs' row texts, records and FileNames, best
// rated first and in record order within a rating, at most
// kQuickLinkRowLimit of them. A click plays a row's song by its FileName:
// the record may hold another song by then.
struct QuickLinkList {
  uint32_t kind = 0;  // 10-13; 0 for a list never built
  std::vector<std::string> rows;
  std::vector<int32_t> records;
  std::vector<std::string> files;
};

// The quick-link lists and their builder's flags.
//
// The lists are guarded by `mutex`, held only for a copy: the builder
// writes the lists and sets `ready` under it, the player and the
// View commands bump `outOfDate` and clear `ready` under it (see
// markQuickLinksOutOfDate), and the painting and the click read a list under
// it. So a list marked ready was built after the last change that made it
// out of date, and nobody sees a list half written.
struct QuickLinkState {
  // Lists ready, builder running. Written by the builder and the commands
  // that change the lists; read by the heartbeat.
  std::atomic<uint32_t> ready{0};
  std::atomic<uint32_t> busy{0};
  mutable std::mutex mutex;
  // The last list built of each kind (index kind - 10), kept until rebuilt.
  std::array<QuickLinkList, kQuickLinkKinds> lists;
  // Counts the changes that put the lists out of date.
  uint64_t outOfDate = 0;
};

// How a build ended.
enum class QuickLinkResult {
  Built,       // the wanted lists are ready (or none is wanted)
  Running,     // another builder is under way
  NotGranted,  // no exclusive use; the heartbeat tries again
  GaveWay,     // a request came while searching; nothing kept, tried again
  Superseded,  // the song or the View changed meanwhile; nothing kept
};

// Finds the songs of a list of `kind` whose field equals `key` (ASCII letters
// in either case) in the open song table, and makes their row texts: the
// Name, then " - " and the rating when showRate is on, then " (V)" for a
// video when markVideo is on. An empty key finds nothing. False when it gave
// way to a request in the command slot (the list is then partial).
bool findQuickLinks(PlayContext& app, uint32_t kind, const std::string& key, QuickLinkList& out);

// One build on the calling thread: takes quickLinks.busy, builds the list of
// each area that asks for one from the current song under exclusive use 33,
// and, unless the lists went out of date meanwhile, keeps them, marks them
// ready and has them painted. Goes round again when they went out of date
// during the build.
QuickLinkResult buildQuickLinks(PlayContext& app);

// The heartbeat's start of the builder: runs buildQuickLinks on a job thread
// unless one runs already. Returns at once.
void startQuickLinkBuilder(PlayContext& app);

// Puts the lists out of date: `ready` 0 until the next build.
void markQuickLinksOutOfDate(PlayContext& app);

// Starts the builder now, through the installed hook, when the player runs,
// an area asks for a list, the lists are out of date and no builder runs:
// the song start and the View commands need not wait for the heartbeat.
void askForQuickLinks(PlayContext& app);

// A copy of the list of `kind` for painting; false when the lists are out of
// date or that kind was not built.
bool copyQuickLinks(const PlayContext& app, uint32_t kind, QuickLinkList& out);

}  // namespace plinka::play
