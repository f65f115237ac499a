#include "cli/library_verbs.h"

#include "library/file_checksum.h"
#include "library/tag_reader.h"

#include <cstdio>

namespace plinka::cli {

namespace {

int usage(const char* verb) {
  std::fprintf(stderr, "usage: plinkactl %s FILE\n", verb);
  return 2;
}

int cannotRead(const char* path) {
  std::fprintf(stderr, "plinkactl: cannot read %s\n", path);
  return 1;
}

}  // namespace

int runChecksumVerb(int argc, char** argv) {
  if (argc != 2)
    return usage("checksum");
  const uint32_t sum = library::fileChecksum(argv[1]);
  if (sum == 0)
    return cannotRead(argv[1]);
  std::printf("0x%08X\n", sum);
  std::fflush(stdout);
  return 0;
}

int runTagsVerb(int argc, char** argv) {
  if (argc != 2)
    return usage("tags");
  library::TagReader reader;
  if (library::readTag(reader, argv[1]) == 0)
    return cannotRead(argv[1]);
  const library::TagResult& r = reader.result;
  std::printf("title=%s\nartist=%s\nalbum=%s\ncomment=%s\nyear=%s\n", r.title, r.artist, r.album, r.comment, r.year);
  std::fflush(stdout);
  return 0;
}

}  // namespace plinka::cli
