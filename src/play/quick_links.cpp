#include "play/quick_links.h"

#include "core/current_state.h"
#include "core/exclusive_access.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "library/media_types.h"
#include "play/play_context.h"
#include "play/song_details.h"
#include "text/text.h"

#include <algorithm>
#include <optional>

namespace plinka::play {

namespace {

struct KindInfo {
  const char* heading;
  uint32_t field;
};

// Kinds 10-13 in order.
constexpr KindInfo kKinds[kQuickLinkKinds] = {
    {"Other songs from this album", db::Album},
    {"Other songs from the same artist", db::Artist},
    {"Other songs with same name", db::Name},
    {"Other songs with same comment", db::Comment},
};

constexpr char kRateSeparator[] = " - ";
constexpr char kVideoMark[] = " (V)";

size_t indexOf(uint32_t kind) { return kind - kQuickLinksAlbum; }

// The current song's text a list of `kind` looks for.
std::string keyOf(const CurrentSongTexts& song, uint32_t kind) {
  switch (kind) {
  case kQuickLinksAlbum:
    return song.album;
  case kQuickLinksArtist:
    return song.artist;
  case kQuickLinksTitle:
    return song.title;
  case kQuickLinksComment:
    return song.comment;
  default:
    return std::string();
  }
}

// The kinds the two areas ask for now, each once.
std::vector<uint32_t> wantedKinds(PlayContext& app) {
  std::vector<uint32_t> kinds;
  for (const PictureSetting area : {PictureSetting::CoverChoice, PictureSetting::QuickLinkChoice}) {
    const uint32_t choice = pictureSetting(app, area);
    if (isQuickLinkKind(choice) && std::find(kinds.begin(), kinds.end(), choice) == kinds.end())
      kinds.push_back(choice);
  }
  return kinds;
}

bool anyListAsked(PlayContext& app) {
  return pictureSetting(app, PictureSetting::CoverChoice) >= kQuickLinksAlbum ||
         pictureSetting(app, PictureSetting::QuickLinkChoice) >= kQuickLinksAlbum;
}

// A search gives way as soon as anything waits in the command slot: the
// player's next song, a list command, the end of the run.
bool mustGiveWay(const PlayContext& app) { return app.run.commandSlot.load() != 0 || app.run.appEnding.load() != 0; }

uint64_t outOfDateCount(const PlayContext& app) {
  std::lock_guard lock(app.quickLinks.mutex);
  return app.quickLinks.outOfDate;
}

// One build under quickLinks.busy. `startedAt` receives the out-of-date count
// the build started from.
QuickLinkResult buildOnce(PlayContext& app, uint64_t& startedAt) {
  startedAt = outOfDateCount(app);
  const std::vector<uint32_t> kinds = wantedKinds(app);
  std::vector<QuickLinkList> built;
  {
    ExclusiveAccess access(app, BusyCode::QuickLinks, kQuickLinkPatience);
    if (!access.held())
      return QuickLinkResult::NotGranted;
    const CurrentSongTexts song = copyCurrentSong(app);
    db::SongTableOpen table(app, db::SongTableOpen::Mode::Reading);
    for (const uint32_t kind : kinds) {
      QuickLinkList list;
      list.kind = kind;
      // A table that does not open gives empty lists: the lists of the song
      // before must not be shown for this one.
      if (table.isOpen() && !findQuickLinks(app, kind, keyOf(song, kind), list))
        return QuickLinkResult::GaveWay;
      built.push_back(std::move(list));
    }
  }

  QuickLinkState& state = app.quickLinks;
  {
    std::lock_guard lock(state.mutex);
    if (state.outOfDate != startedAt)
      return QuickLinkResult::Superseded;
    for (QuickLinkList& list : built)
      state.lists[indexOf(list.kind)] = std::move(list);
    app.quickLinks.ready.store(1);
  }
  if (app.ui && !kinds.empty())
    app.ui->repaint(RepaintArea::Picture);
  return QuickLinkResult::Built;
}

// Builds with quickLinks.busy held, and clears it.
QuickLinkResult buildWithFlagHeld(PlayContext& app) {
  for (;;) {
    uint64_t startedAt = 0;
    const QuickLinkResult result = buildOnce(app, startedAt);
    app.quickLinks.busy.store(0);
    // A song start or a View change during the build found this builder
    // still running and started none: this one builds again for it.
    const bool changed = outOfDateCount(app) != startedAt;
    if (!changed || app.run.playerRunning.load() == 0 || app.run.appEnding.load() != 0 || !anyListAsked(app))
      return result;
    if (app.quickLinks.busy.exchange(1) != 0)
      return result;
  }
}

}  // namespace

const char* quickLinkHeading(uint32_t kind) { return isQuickLinkKind(kind) ? kKinds[indexOf(kind)].heading : ""; }

uint32_t quickLinkField(uint32_t kind) { return isQuickLinkKind(kind) ? kKinds[indexOf(kind)].field : 0; }

bool findQuickLinks(PlayContext& app, uint32_t kind, const std::string& key, QuickLinkList& out) {
  out = QuickLinkList{};
  out.kind = kind;
  const uint32_t field = quickLinkField(kind);
  if (key.empty() || field == 0)
    return true;
  db::TableHandle& h = app.songTable;
  const SettingsRecord& s = app.settings;
  const uint32_t scoreField = db::scoreField(currentUser(app));

  // One walk over the matching records in slot order, then the best ratings
  // first: the same order as walking the table once per rating from 10 down,
  // for the price of a single walk.
  struct Found {
    uint32_t rating;
    uint32_t slot;
  };
  std::vector<Found> found;
  if (text::copy(h.searchText, key.c_str()) >= sizeof h.searchText)
    return true;  // longer than any field: nothing can equal it
  for (int32_t slot = db::findByFieldForwards(h, 0, field); slot >= 0;
       slot = db::findByFieldForwards(h, static_cast<uint32_t>(slot) + 1, field)) {
    if (mustGiveWay(app))
      return false;
    const auto at = static_cast<uint32_t>(slot);
    if (!db::isInUse(static_cast<uint32_t>(db::getStatus(h, at))) || db::readField(h, at, scoreField) < 0)
      continue;
    found.push_back({db::ratingOfScore(s, h.value), at});
  }
  std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.rating > b.rating; });
  if (found.size() > kQuickLinkRowLimit)
    found.resize(kQuickLinkRowLimit);

  for (const Found& song : found) {
    std::string row = db::readField(h, song.slot, db::Name) >= 0 ? text::fixedText(h.text) : std::string();
    if (s.showRate != 0) {
      row += kRateSeparator;
      row += std::to_string(song.rating);
    }
    std::string file = db::readField(h, song.slot, db::FileName) >= 0 ? text::fixedText(h.text) : std::string();
    if (s.markVideo != 0 && library::isVideo(library::mediaType(s, file.c_str())))
      row += kVideoMark;
    out.rows.push_back(std::move(row));
    out.records.push_back(static_cast<int32_t>(song.slot));
    out.files.push_back(std::move(file));
  }
  return true;
}

QuickLinkResult buildQuickLinks(PlayContext& app) {
  if (app.quickLinks.busy.exchange(1) != 0)
    return QuickLinkResult::Running;
  return buildWithFlagHeld(app);
}

void startQuickLinkBuilder(PlayContext& app) {
  if (app.quickLinks.busy.exchange(1) != 0)
    return;
  if (!app.jobThreads.start([&app] { buildWithFlagHeld(app); }))
    app.quickLinks.busy.store(0);
}

void markQuickLinksOutOfDate(PlayContext& app) {
  std::lock_guard lock(app.quickLinks.mutex);
  ++app.quickLinks.outOfDate;
  app.quickLinks.ready.store(0);
}

void askForQuickLinks(PlayContext& app) {
  if (app.run.playerRunning.load() == 0 || app.quickLinks.ready.load() != 0 || app.quickLinks.busy.load() != 0 ||
      !anyListAsked(app) || !app.hooks.startQuickLinkBuilder)
    return;
  app.hooks.startQuickLinkBuilder();
}

bool copyQuickLinks(const PlayContext& app, uint32_t kind, QuickLinkList& out) {
  if (!isQuickLinkKind(kind))
    return false;
  const QuickLinkState& state = app.quickLinks;
  std::lock_guard lock(state.mutex);
  const QuickLinkList& list = state.lists[indexOf(kind)];
  if (app.quickLinks.ready.load() != 1 || list.kind != kind)
    return false;
  out = list;
  return true;
}

}  // namespace plinka::play
