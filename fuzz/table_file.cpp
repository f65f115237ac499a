// Hands any bytes to the song table's open as the database file and, when it
// opens, reads every slot: its status and each field, the walks forwards and
// backwards over the records in use, and the n-th record in use. A table that
// opens must answer every read from inside the file, and its kept counts must
// agree with the slots. The table is searched, and then one record is added
// to it, as import does.
#include "app/app.h"
#include "db/search.h"
#include "db/song_table_open.h"
#include "db/table.h"
#include "scratch_folder.h"
#include "text/text.h"

#include <cstdint>
#include <cstring>
#include <string>

using namespace plinka;

namespace {

void walk(db::TableHandle& h) {
  uint32_t inUse = 0, occupied = 0;
  for (uint32_t s = 0; s < h.slotCount; ++s) {
    // A status word is given back as it lies (a damaged one may read as a
    // negative number); getStatus refuses only while no record is in use.
    const int32_t raw = db::slotStatus(h, s);
    fuzz::require(db::getStatus(h, s) == (h.inUseCount == 0 ? -1 : raw));
    inUse += db::isInUse(static_cast<uint32_t>(raw));
    occupied += db::isOccupied(static_cast<uint32_t>(raw));
    for (uint32_t f = 1; f <= h.fieldCount; ++f) {
      const int32_t type = db::readField(h, s, f);
      if (type >= 10)
        fuzz::require(std::memchr(h.text, 0, sizeof h.text) != nullptr);
    }
  }
  fuzz::require(db::countInUse(h) == inUse && db::countOccupied(h) == occupied);
  // Fields and slots beyond the table are refused.
  fuzz::require(db::readField(h, 0, 0) == -1 && db::readField(h, 0, h.fieldCount + 1) == -1);
  fuzz::require(db::readField(h, h.slotCount, 1) == -1);

  // Forwards over the records in use, then backwards: each step lands on a
  // record in use, and both walks meet every one of them.
  uint32_t seen = 0;
  int32_t at = -1;
  if (h.slotCount > 0)
    at = db::getStatus(h, 0) == static_cast<int32_t>(db::kStatusInUse) ? 0 : db::nextInUse(h, 0);
  if (at == 0 && db::getStatus(h, 0) != static_cast<int32_t>(db::kStatusInUse))
    at = -1;
  while (at >= 0) {
    fuzz::require(db::getStatus(h, static_cast<uint32_t>(at)) == static_cast<int32_t>(db::kStatusInUse));
    ++seen;
    fuzz::require(db::nthInUse(h, seen) == at);
    const int32_t next = db::nextInUse(h, static_cast<uint32_t>(at));
    fuzz::require(next >= at);
    if (next == at)
      break;
    at = next;
  }
  fuzz::require(seen == inUse);
  uint32_t back = 0;
  at = db::lastInUse(h);
  while (at >= 0) {
    ++back;
    const int32_t previous = db::previousInUse(h, static_cast<uint32_t>(at));
    fuzz::require(previous <= at);
    if (previous == at)
      break;
    at = previous;
  }
  fuzz::require(back == inUse);
  fuzz::require(db::nthInUse(h, inUse + 1) == -1);
}

// The searches over the table: by field from either end, and the next
// record matching in any field, for a few texts (one of them taken from the
// table itself). Every slot they give lies in the table and is what they
// promise.
void search(db::TableHandle& h) {
  std::string taken;
  if (h.inUseCount != 0 && db::readField(h, static_cast<uint32_t>(db::nthInUse(h, 1)), 1) >= 10)
    taken = h.text;
  for (const std::string& text : {std::string("a"), std::string("5"), std::string(""), taken}) {
    text::copy(h.searchText, text.c_str());
    for (uint32_t f = 0; f <= h.fieldCount + 1; ++f) {
      const int32_t last = db::findByFieldBackwards(h, f);
      fuzz::require(last < 0 || (static_cast<uint32_t>(last) < h.slotCount &&
                                 db::isOccupied(static_cast<uint32_t>(db::slotStatus(h, last)))));
      const int32_t first = db::findByFieldForwards(h, 0, f);
      fuzz::require((first < 0) == (last < 0) && first <= last);
    }
    uint32_t from = 0;
    for (int32_t at = db::findNextMatch(h, from); at >= 0; at = db::findNextMatch(h, from)) {
      fuzz::require(static_cast<uint32_t>(at) > from || (from == 0 && at == 0));
      fuzz::require(db::getStatus(h, static_cast<uint32_t>(at)) == static_cast<int32_t>(db::kStatusInUse) &&
                    db::recordMatches(h, static_cast<uint32_t>(at)));
      from = static_cast<uint32_t>(at);
      if (from + 1 >= h.slotCount)
        break;
    }
  }
}

// The same file opened for writing: taking a slot for a new record runs the
// capacity rule first, which may grow, compact or shrink the file. The table
// must open again afterwards, with exactly one more record in use when a
// slot was given, and pass the same walk. (A grow clears the bytes it takes
// in from behind the declared slots, so stray records there never count.)
void takeOneSlot(App& app) {
  uint32_t before = 0;
  int32_t slot = -1;
  {
    db::SongTableOpen open(app, db::SongTableOpen::Mode::Writing);
    if (!open)
      return;
    db::TableHandle& h = app.songTable;
    before = db::countInUse(h);
    slot = db::allocate(h);
    if (slot >= 0) {
      text::copy(h.text, "/music/New Song.mp3");
      db::writeField(h, static_cast<uint32_t>(slot), 1);
      fuzz::require(db::countInUse(h) == before + 1);
    }
  }
  db::SongTableOpen again(app, db::SongTableOpen::Mode::Reading);
  fuzz::require(again.isOpen());
  walk(app.songTable);
  fuzz::require(db::countInUse(app.songTable) == before + (slot >= 0 ? 1 : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static App app;
  static const std::string path = fuzz::scratchFolder() + "Plinka.cvf";
  fuzz::writeInput(path, data, size);
  text::copy(app.settings.databasePath, path.c_str());
  app.settings.networkMode = 0;
  {
    db::SongTableOpen open(app, db::SongTableOpen::Mode::Reading);
    if (!open)
      return 0;
    walk(app.songTable);
    search(app.songTable);
  }
  takeOneSlot(app);
  return 0;
}
