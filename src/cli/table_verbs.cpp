#include "cli/table_verbs.h"

#include "cli/data_verbs.h"
#include "cli/verbs.h"
#include "db/records.h"
#include "db/search.h"
#include "db/table_file.h"
#include "platform/file_lock.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace plinka::cli {

namespace {

// Opens FILE read-only into a new handle; on failure says why on standard
// error and gives nothing.
std::unique_ptr<db::TableHandle> openTable(const char* path) {
  auto h = std::make_unique<db::TableHandle>();
  if (std::strlen(path) >= sizeof h->path) {
    std::fprintf(stderr, "plinkactl: cannot open song table %s: path too long\n", path);
    return nullptr;
  }
  std::strcpy(h->path, path);
  h->writable = 0;
  if (db::openMapped(*h)) {
    if (h->unlockedFolder)
      std::fprintf(stderr, "plinkactl: %s: %s\n", path, platform::kNoLockingText);
    return h;
  }
  const char* reason = "not a table file";
  if (h->refusal == db::OpenRefusal::NotAFile)
    reason = "not a regular file";
  else if (h->refusal == db::OpenRefusal::TooManySlots)
    reason = "it declares more records than this computer's memory can hold";
  else if (h->refusal == db::OpenRefusal::Busy)
    reason = "another program keeps it busy";
  else if (access(path, R_OK) != 0)
    reason = std::strerror(errno);
  std::fprintf(stderr, "plinkactl: cannot open song table %s: %s\n", path, reason);
  return nullptr;
}

// The table a verb works on: FILE when given, else the data folder's song
// table. False when the data folder cannot be used (message given).
bool tablePathOf(int argc, char** argv, std::string& path) {
  if (argc == 2) {
    path = argv[1];
    return true;
  }
  return dataFolderSongTable(path) == 0;
}

// Opens the table of an info or dump verb (FILE, else the data folder's).
std::unique_ptr<db::TableHandle> openVerbTable(int argc, char** argv) {
  std::string path;
  if (!tablePathOf(argc, argv, path))
    return nullptr;
  return openTable(path.c_str());
}

}  // namespace

int runCreateVerb(int argc, char** argv) {
  if (argc != 2)
    return usage("create FILE");
  // Only a new file is made: whatever the name already stands for (a table
  // full of songs, a text file, a link) is kept.
  struct stat st {};
  if (lstat(argv[1], &st) == 0) {
    std::fprintf(stderr, "plinkactl: %s already exists; create only makes a new song table\n", argv[1]);
    return 2;
  }
  if (!db::createSongTable(argv[1])) {
    std::fprintf(stderr, "plinkactl: cannot create song table %s\n", argv[1]);
    return 1;
  }
  return 0;
}

int runInfoVerb(int argc, char** argv) {
  if (argc > 2)
    return usage("info [FILE]");
  auto h = openVerbTable(argc, argv);
  if (!h)
    return 1;
  std::printf("fields=%u slots=%u inuse=%u occupied=%u bytes=%llu\n", h->fieldCount, h->slotCount, db::countInUse(*h),
              db::countOccupied(*h), static_cast<unsigned long long>(h->map.size()));
  db::closeTable(*h);
  return 0;
}

int runDumpVerb(int argc, char** argv) {
  if (argc > 2)
    return usage("dump [FILE]");
  auto h = openVerbTable(argc, argv);
  if (!h)
    return 1;
  for (uint32_t s = 0; s < h->slotCount; ++s) {
    if (db::getStatus(*h, s) != static_cast<int32_t>(db::kStatusInUse))
      continue;
    std::printf("%u", s);
    for (uint32_t f = 1; f <= h->fieldCount; ++f) {
      const int32_t type = db::readField(*h, s, f);
      if (db::isNumberType(static_cast<uint32_t>(type)))
        std::printf("\t%u", h->value);
      else
        std::printf("\t%s", h->text);
    }
    std::putchar('\n');
  }
  db::closeTable(*h);
  return 0;
}

int runFindVerb(int argc, char** argv) {
  if (argc != 3)
    return usage("find FILE TEXT");
  auto h = openTable(argv[1]);
  if (!h)
    return 1;
  if (std::strlen(argv[2]) >= sizeof h->searchText) {
    std::fprintf(stderr, "plinkactl: search text longer than %zu characters\n", sizeof h->searchText - 1);
    return 2;
  }
  std::strcpy(h->searchText, argv[2]);
  // A search looks at the slots after the one it is given, so slot 0 is
  // tested on its own first.
  if (db::getStatus(*h, 0) == static_cast<int32_t>(db::kStatusInUse) && db::recordMatches(*h, 0))
    std::printf("0\n");
  for (uint32_t s : db::findAllMatches(*h, 0, std::thread::hardware_concurrency()))
    std::printf("%u\n", s);
  db::closeTable(*h);
  return 0;
}

}  // namespace plinka::cli
