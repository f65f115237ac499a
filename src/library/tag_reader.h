// Reading a media file's descriptive texts (title, artist, album, comment,
// year) from whatever tag its type carries. The tag library reads the tag:
// ID3 versions 2.2, 2.3 and 2.4 at the start of the file and the version 1
// block at its end, Vorbis comments (FLAC, Ogg, Opus), MP4 atoms, APE and
// ASF; Matroska and WebM are looked over by the media framework. Our own
// rules sit on top of it: the defaults for what a tag does not give, the
// first value of a multi-value text, the comment's own text, an ID3v2 tag
// read on past an empty frame (where the library stops), texts kept to 599
// bytes. Every text comes out as UTF-8.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace plinka::library {

// Each text holds at most 599 bytes and its terminating zero.
constexpr size_t kTagTextSize = 600;

// The text of a detail the tag does not give.
constexpr char kNoData[] = "No Data";

struct TagResult {
  char title[kTagTextSize];
  char artist[kTagTextSize];
  char album[kTagTextSize];
  char comment[kTagTextSize];
  char year[kTagTextSize];
};

struct TagReader {
  // 1 while a reading fills `result`. Taken by exchange and released by the
  // thread doing the reading; any thread that reads tags writes and reads it.
  std::atomic<uint32_t> busy{0};
  // Written only by the thread that holds `busy`; valid from the end of one
  // reading until the next one starts, so callers copy what they need at once.
  TagResult result{};
};

// Reads the tag of the file at path into reader.result. First the defaults:
// the title is the last component of the path (extension included), every
// other text "No Data". Returns 1 when the file could be opened, whether or
// not it has a tag; 0 when it cannot be opened or another reading holds the
// reader (then nothing is waited for and the result is left alone).
//
// ID3 version 2 tags are read within the size their header declares, every
// frame of them, empty frames passed over; of a frame that comes twice the
// first text is kept. Text frames are decoded from their declared encoding
// and only their first value is kept; the comment is the text of the comment
// frame without a description (else of the first one with one), never its
// language code or description. Of a file with both a version 2 tag and a
// version 1 block, only the version 2 tag is read.
int readTag(TagReader& reader, const char* path);

// Copies at most cap - 1 bytes of the n-byte text src into dst and terminates
// it, ending early rather than cutting a UTF-8 character in two. Returns the
// number of bytes copied.
size_t keepText(char* dst, size_t cap, const char* src, size_t n);

}  // namespace plinka::library
