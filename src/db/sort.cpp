#include "db/sort.h"

#include "db/records.h"
#include "db/slot_store.h"
#include "db/table_file.h"
#include "platform/collate.h"
#include "platform/files.h"
#include "text/text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace plinka::db {

namespace {

// What the name of a sorted table ends with until it replaces the table.
constexpr char kMakingSuffix[] = ".sorting";

// Bytes gathered before one write to the new file.
constexpr size_t kWriteBatchBytes = size_t{1} << 20;

// Where the sorted table goes, slot by slot: slot p of the new file is slot
// source[p] of the old one, its status made free (5) where `freed[p]` is
// set (a record that compaction moved away leaves a free slot behind).
struct Layout {
  std::vector<uint32_t> source;
  std::vector<uint8_t> freed;
};

// The layout compaction would leave: the occupied records in their order
// from slot 0, then every other slot as it was, the moved-away ones free.
// Without compaction (the table is held) every slot stays where it is.
// Returns whether slot p of the layout is occupied, per slot.
std::vector<uint8_t> startingLayout(const TableHandle& h, bool compacting, Layout& layout) {
  const uint32_t n = h.slotCount;
  layout.source.resize(n);
  layout.freed.assign(n, 0);
  std::vector<uint8_t> occupied(n, 0);
  uint32_t to = 0;
  for (uint32_t s = 0; s < n; ++s) {
    layout.source[s] = s;
    if (isOccupied(detail::statusAt(h, s))) {
      occupied[s] = 1;
      ++to;
    }
  }
  if (!compacting)
    return occupied;
  const uint32_t count = to;
  to = 0;
  for (uint32_t s = 0; s < n; ++s)
    if (occupied[s])
      layout.source[to++] = s;
  for (uint32_t p = count; p < n; ++p) {
    layout.source[p] = p;
    layout.freed[p] = occupied[p];
  }
  std::fill(occupied.begin(), occupied.end(), 0);
  std::fill(occupied.begin(), occupied.begin() + count, 1);
  return occupied;
}

// The collation key of the field of slot s: its text, or its number written
// as signed decimal text.
std::string keyOf(TableHandle& h, uint32_t s, uint32_t field) {
  const int32_t type = readField(h, s, field);
  if (type >= 0 && isNumberType(static_cast<uint32_t>(type))) {
    char number[12];
    text::fromNumber(static_cast<int32_t>(h.value), number, sizeof number);
    return platform::collationKey(number);
  }
  return platform::collationKey(h.text);
}

// Orders each run of neighbouring occupied slots of the layout by key,
// equal keys keeping their order. False when the hook said stop.
bool orderRuns(TableHandle& h, uint32_t field, const std::vector<uint8_t>& occupied, Layout& layout,
               const SortProgress& progress) {
  const uint32_t n = h.slotCount;
  std::vector<std::string> keys;
  std::vector<uint32_t> run;
  uint32_t sinceReport = 0;
  for (uint32_t first = 0; first < n;) {
    if (!occupied[first]) {
      ++first;
      continue;
    }
    uint32_t end = first;
    while (end < n && occupied[end])
      ++end;
    const uint32_t count = end - first;
    keys.resize(count);
    run.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
      keys[k] = keyOf(h, layout.source[first + k], field);
      run[k] = k;
      if (++sinceReport == kSortProgressEvery) {
        sinceReport = 0;
        if (progress && !progress())
          return false;
      }
    }
    std::stable_sort(run.begin(), run.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    std::vector<uint32_t> sources(count);
    for (uint32_t k = 0; k < count; ++k)
      sources[k] = layout.source[first + run[k]];
    std::copy(sources.begin(), sources.end(), layout.source.begin() + first);
    first = end;
  }
  return true;
}

bool syncFile(int fd) {
  int rc;
  do {
    rc = fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// Writes the header and field table, then every slot as the layout says,
// to the open new file. False on a failed write or when the hook said stop.
bool writeSorted(const TableHandle& h, const Layout& layout, int fd, const SortProgress& progress) {
  if (!detail::writeBytes(fd, h.map.data(), h.slotAreaOffset, 0))
    return false;
  std::vector<uint8_t> batch;
  batch.reserve(kWriteBatchBytes + h.slotSize);
  uint64_t at = h.slotAreaOffset;
  for (uint32_t p = 0; p < h.slotCount; ++p) {
    const uint8_t* slot = detail::slotAddress(h, layout.source[p]);
    const size_t start = batch.size();
    batch.insert(batch.end(), slot, slot + h.slotSize);
    if (layout.freed[p])
      detail::writeWord(batch.data() + start, kStatusFree);
    const bool last = p + 1 == h.slotCount;
    if (batch.size() >= kWriteBatchBytes || last) {
      if (!detail::writeBytes(fd, batch.data(), batch.size(), at))
        return false;
      at += batch.size();
      batch.clear();
    }
    if ((p + 1) % kSortProgressEvery == 0 && progress && !progress())
      return false;
  }
  return true;
}

// The file the handle's path finally names (a link followed to its target),
// so that the sorted table replaces the table and not a link to it.
std::string targetOf(const TableHandle& h) {
  char* resolved = realpath(h.path, nullptr);
  if (!resolved)
    return h.path;
  std::string target(resolved);
  std::free(resolved);
  return target;
}

// Removes what sorts killed before they finished left beside the table.
// The caller holds the table's write lock, so no other sort of it is under
// way.
void removeUnfinishedSorts(const std::string& target) {
  const std::filesystem::path table(target);
  const std::string prefix = table.filename().string() + ".";
  const size_t suffix = sizeof kMakingSuffix - 1;
  std::vector<std::filesystem::path> left;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(table.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > prefix.size() + suffix && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - suffix, suffix, kMakingSuffix) == 0)
      left.push_back(it->path());
  }
  for (const auto& path : left)
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec)))
      std::filesystem::remove(path, ec);
}

// Writes the sorted table beside the old one, syncs it and renames it over
// the old one. False, with the old table untouched and nothing left behind,
// when any step fails or the hook says stop.
bool replaceWithSorted(const TableHandle& h, const Layout& layout, const SortProgress& progress) {
  const std::string target = targetOf(h);
  struct stat old {};
  if (stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
    return false;
  removeUnfinishedSorts(target);
  const std::string making = platform::uniqueNameBeside(target, kMakingSuffix);
  const int fd = ::open(making.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  bool made = fchmod(fd, old.st_mode & 07777) == 0 && writeSorted(h, layout, fd, progress) && syncFile(fd);
  made = ::close(fd) == 0 && made;
  // The last moment the sort can still be given up without a trace.
  made = made && (!progress || progress());
  made = made && std::rename(making.c_str(), target.c_str()) == 0;
  if (!made) {
    ::unlink(making.c_str());
    return false;
  }
  // The new name on disk too, so that after a power cut the folder does not
  // name the old table (or neither).
  platform::syncFolderOf(target);
  return true;
}

}  // namespace

bool sortByField(TableHandle& h, uint32_t field, const SortProgress& progress) {
  if (!detail::recordsWritable(h) || h.slotCount < 3 || h.inUseCount == 0 || field == 0 || field > h.fieldCount)
    return false;
  // Compaction is skipped while the table is held: then each run sorts alone.
  const bool compacting = h.holdCount == 0 && h.lastingHolds.load() == 0;
  Layout layout;
  try {
    const std::vector<uint8_t> occupied = startingLayout(h, compacting, layout);
    if (!orderRuns(h, field, occupied, layout, progress))
      return false;
    if (!replaceWithSorted(h, layout, progress))
      return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The handle still maps the old file, which no name leads to any more.
  if (!detail::mapKeepingCounts(h))
    return false;
  detail::recountAll(h);
  return true;
}

}  // namespace plinka::db
