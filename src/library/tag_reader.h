// Reading a media file's descriptive texts (title, artist, album, comment,
// year) from its ID3 tag: version 2 at the start of the file, or else the
// 128-byte version 1 block at its end. Every text comes out as UTF-8.
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
// Version 2 tags of versions 2.2, 2.3 and 2.4 are read within the size their
// header declares, at most 15 frames deep; a later frame of a kind already
// seen replaces the earlier text. Text frames are decoded from their declared
// encoding and only their first value is kept; the comment is the comment
// frame's text after its language code and description. A file with a
// version 2 tag is not searched for a version 1 block.
int readTag(TagReader& reader, const char* path);

// Copies at most cap - 1 bytes of the n-byte text src into dst and terminates
// it, ending early rather than cutting a UTF-8 character in two. Returns the
// number of bytes copied.
size_t keepText(char* dst, size_t cap, const char* src, size_t n);

}  // namespace plinka::library
