#include "library/tag_reader.h"

#include "library/file_access.h"
#include "library/folder_names.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace plinka::library {

namespace {

constexpr size_t kMaxTextBytes = kTagTextSize - 1;
constexpr int kMaxFrames = 15;
// A wanted frame is read up to this many bytes: far more than a 599-byte text
// needs in any encoding, with room for a comment's description before it.
constexpr size_t kFrameReadLimit = 16 * 1024;
constexpr size_t kV1BlockSize = 128;

// Collects UTF-8 text into a tag text buffer, up to 599 bytes, stopping
// before a character that would not fit whole.
class TextSink {
public:
  explicit TextSink(char* dst) : dst_(dst) { dst_[0] = 0; }

  void put(uint32_t cp) {
    if (full_)
      return;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      cp = 0xFFFD;
    char enc[4];
    size_t n;
    if (cp < 0x80) {
      enc[0] = static_cast<char>(cp);
      n = 1;
    } else if (cp < 0x800) {
      enc[0] = static_cast<char>(0xC0 | (cp >> 6));
      enc[1] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 2;
    } else if (cp < 0x10000) {
      enc[0] = static_cast<char>(0xE0 | (cp >> 12));
      enc[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      enc[2] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 3;
    } else {
      enc[0] = static_cast<char>(0xF0 | (cp >> 18));
      enc[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      enc[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      enc[3] = static_cast<char>(0x80 | (cp & 0x3F));
      n = 4;
    }
    if (len_ + n > kMaxTextBytes) {
      full_ = true;
      return;
    }
    std::memcpy(dst_ + len_, enc, n);
    len_ += n;
    dst_[len_] = 0;
  }

private:
  char* dst_;
  size_t len_ = 0;
  bool full_ = false;
};

// Each decoder takes one zero-terminated value from p[0..n), hands its
// characters to sink (when given) and returns the bytes it took, terminator
// included (n when the value runs to the end).

size_t decodeLatin1(const uint8_t* p, size_t n, TextSink* sink) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == 0)
      return i + 1;
    if (sink)
      sink->put(p[i]);
  }
  return n;
}

// A byte order mark at the start decides the byte order; without one the
// order carried in bigEndian stands (the frame's earlier value, or the
// encoding's default). The mark found is carried on to the frame's next value.
size_t decodeUtf16(const uint8_t* p, size_t n, TextSink* sink, bool& bigEndian) {
  size_t i = 0;
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    bigEndian = false;
    i = 2;
  } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    bigEndian = true;
    i = 2;
  }
  auto unitAt = [&](size_t k) -> uint32_t {
    return bigEndian ? (uint32_t{p[k]} << 8 | p[k + 1]) : (uint32_t{p[k + 1]} << 8 | p[k]);
  };
  while (i + 1 < n) {
    const uint32_t u = unitAt(i);
    i += 2;
    if (u == 0)
      return i;
    uint32_t cp = u;
    if (u >= 0xD800 && u <= 0xDBFF) {
      cp = 0xFFFD;
      if (i + 1 < n) {
        const uint32_t low = unitAt(i);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
    }
    if (sink)
      sink->put(cp);
  }
  return n;
}

// Length of the well-formed UTF-8 character at p[0..n), or 0 when it is not one.
size_t utf8Sequence(const uint8_t* p, size_t n, uint32_t& cp) {
  const uint8_t c = p[0];
  size_t len;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
    if (c == 0xE0)
      lo = 0xA0;  // no overlong forms
    if (c == 0xED)
      hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
    if (c == 0xF0)
      lo = 0x90;
    if (c == 0xF4)
      hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (len > n || p[1] < lo || p[1] > hi)
    return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((p[k] & 0xC0) != 0x80)
      return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  return len;
}

// Bytes that do not form UTF-8 are taken as Latin-1 characters, which is what
// writers that mislabel their texts usually meant.
size_t decodeUtf8(const uint8_t* p, size_t n, TextSink* sink) {
  size_t i = 0;
  while (i < n) {
    if (p[i] == 0)
      return i + 1;
    uint32_t cp = p[i];
    size_t len = 1;
    if (cp >= 0x80) {
      len = utf8Sequence(p + i, n - i, cp);
      if (len == 0) {
        cp = p[i];
        len = 1;
      }
    }
    if (sink)
      sink->put(cp);
    i += len;
  }
  return n;
}

// Encodings: 0 Latin-1, 1 UTF-16 with byte order mark, 2 UTF-16 big-endian,
// 3 UTF-8. An unknown encoding byte is read as Latin-1.
size_t decodeValue(uint8_t encoding, const uint8_t* p, size_t n, TextSink* sink, bool& bigEndian) {
  switch (encoding) {
  case 1:
  case 2:
    return decodeUtf16(p, n, sink, bigEndian);
  case 3:
    return decodeUtf8(p, n, sink);
  default:
    return decodeLatin1(p, n, sink);
  }
}

uint32_t bigEndian24(const uint8_t* p) { return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]; }
uint32_t bigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
// Sync-safe number: seven bits in each of four bytes.
uint32_t syncSafe32(const uint8_t* p) {
  return uint32_t{p[0] & 0x7Fu} << 21 | uint32_t{p[1] & 0x7Fu} << 14 | uint32_t{p[2] & 0x7Fu} << 7 | (p[3] & 0x7Fu);
}

// Undoes unsynchronisation in place (each 0xFF 0x00 becomes 0xFF); returns the new length.
size_t resynchronise(uint8_t* p, size_t n) {
  size_t out = 0;
  for (size_t i = 0; i < n; ++i) {
    p[out++] = p[i];
    if (p[i] == 0xFF && i + 1 < n && p[i + 1] == 0)
      ++i;
  }
  return out;
}

// The bytes of a version 2 tag after its header, read through a buffer and
// never past the tag's end. With unsynchronisation on (versions 2.2 and 2.3
// apply it to the whole tag), each 0xFF 0x00 pair reads as 0xFF.
class TagStream {
public:
  TagStream(int fd, uint64_t begin, uint64_t end, bool unsync) : fd_(fd), pos_(begin), end_(end), unsync_(unsync) {}

  // Reads up to n bytes; fewer at the tag's end.
  size_t read(uint8_t* dst, size_t n) {
    size_t i = 0;
    uint8_t c;
    while (i < n && next(c))
      dst[i++] = c;
    return i;
  }

  void skip(uint64_t n) {
    if (unsync_) {
      uint8_t c;
      while (n > 0 && next(c))
        --n;
      return;
    }
    const size_t buffered = len_ - at_;
    if (n <= buffered) {
      at_ += static_cast<size_t>(n);
      return;
    }
    n -= buffered;
    at_ = len_ = 0;
    pos_ = n >= end_ - pos_ ? end_ : pos_ + n;
  }

private:
  bool next(uint8_t& c) {
    for (;;) {
      if (at_ == len_ && !refill())
        return false;
      c = buf_[at_++];
      if (!unsync_)
        return true;
      if (afterFF_ && c == 0) {
        afterFF_ = false;
        continue;
      }
      afterFF_ = c == 0xFF;
      return true;
    }
  }

  bool refill() {
    if (pos_ >= end_)
      return false;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof buf_, end_ - pos_));
    const size_t got = readAt(fd_, buf_, want, pos_);
    if (got == 0) {
      pos_ = end_;
      return false;
    }
    pos_ += got;
    at_ = 0;
    len_ = got;
    return true;
  }

  int fd_;
  uint64_t pos_;  // file offset of the first byte not yet buffered
  uint64_t end_;
  bool unsync_;
  bool afterFF_ = false;
  uint8_t buf_[8192];
  size_t at_ = 0, len_ = 0;
};

enum class Wanted { None, Title, Artist, Album, Comment };

Wanted wantedFrame(int major, const uint8_t* id) {
  if (major == 2) {
    const std::string_view s(reinterpret_cast<const char*>(id), 3);
    return s == "TT2"   ? Wanted::Title
           : s == "TP1" ? Wanted::Artist
           : s == "TAL" ? Wanted::Album
           : s == "COM" ? Wanted::Comment
                        : Wanted::None;
  }
  const std::string_view s(reinterpret_cast<const char*>(id), 4);
  return s == "TIT2"   ? Wanted::Title
         : s == "TPE1" ? Wanted::Artist
         : s == "TALB" ? Wanted::Album
         : s == "COMM" ? Wanted::Comment
                       : Wanted::None;
}

char* fieldOf(TagResult& r, Wanted w) {
  switch (w) {
  case Wanted::Title:
    return r.title;
  case Wanted::Artist:
    return r.artist;
  case Wanted::Album:
    return r.album;
  default:
    return r.comment;
  }
}

// Decodes one wanted frame's payload (as far as it was read) into its text.
void takeFrame(int major, uint8_t format, bool allUnsynchronised, Wanted w, uint8_t* p, size_t n, TagResult& r) {
  // Bytes the format flags add before the data; compressed or encrypted
  // frames cannot be read and leave the text as it was.
  size_t added = 0;
  if (major == 3) {
    if (format & 0xC0)
      return;
    if (format & 0x20)
      added = 1;  // group identifier
  } else if (major == 4) {
    if (format & 0x0C)
      return;
    if (format & 0x40)
      added += 1;  // group identifier
    if (format & 0x01)
      added += 4;  // data length indicator
  }
  added = std::min(added, n);
  p += added;
  n -= added;
  if (major == 4 && ((format & 0x02) || allUnsynchronised))
    n = resynchronise(p, n);

  TextSink sink(fieldOf(r, w));
  if (n == 0)
    return;
  const uint8_t encoding = p[0];
  ++p;
  --n;
  bool bigEndian = encoding == 2;
  if (w == Wanted::Comment) {
    // Language code, then a description, then the comment itself.
    if (n <= 3)
      return;
    p += 3;
    n -= 3;
    const size_t description = decodeValue(encoding, p, n, nullptr, bigEndian);
    p += description;
    n -= description;
  }
  decodeValue(encoding, p, n, &sink, bigEndian);
}

void readVersion2(int fd, uint64_t fileSize, const uint8_t* header, TagResult& r) {
  const int major = header[3];
  const uint8_t flags = header[5];
  if (major < 2 || major > 4)
    return;  // a version this reader does not know: the tag is left alone
  if (major == 2 && (flags & 0x40))
    return;  // 2.2 compression has no defined scheme
  const uint64_t end = std::min<uint64_t>(10 + uint64_t{syncSafe32(header + 6)}, fileSize);
  const bool headerUnsync = (flags & 0x80) != 0;
  TagStream stream(fd, 10, end, major < 4 && headerUnsync);

  if (major >= 3 && (flags & 0x40)) {
    uint8_t ext[4];
    if (stream.read(ext, 4) < 4)
      return;
    if (major == 3) {
      stream.skip(bigEndian32(ext));  // the size leaves out its own four bytes
    } else {
      const uint32_t size = syncSafe32(ext);  // the size counts its own four bytes
      stream.skip(size > 4 ? size - 4 : 0);
    }
  }

  const size_t headerSize = major == 2 ? 6 : 10;
  uint8_t payload[kFrameReadLimit];
  for (int frame = 0; frame < kMaxFrames; ++frame) {
    uint8_t h[10];
    if (stream.read(h, headerSize) < headerSize || h[0] == 0)
      break;  // the end of the tag, or padding
    uint64_t size;
    uint8_t format = 0;
    if (major == 2) {
      size = bigEndian24(h + 3);
    } else {
      size = major == 3 ? bigEndian32(h + 4) : syncSafe32(h + 4);
      format = h[9];
    }
    const Wanted w = wantedFrame(major, h);
    if (w == Wanted::None) {
      stream.skip(size);
      continue;
    }
    // A frame that claims more than the tag holds is read as far as the tag goes.
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, sizeof payload));
    const size_t got = stream.read(payload, want);
    stream.skip(size - want);
    takeFrame(major, format, headerUnsync, w, payload, got, r);
  }
}

void readVersion1(int fd, uint64_t fileSize, TagResult& r) {
  if (fileSize < kV1BlockSize)
    return;
  uint8_t block[kV1BlockSize];
  if (readAt(fd, block, sizeof block, fileSize - kV1BlockSize) < sizeof block || std::memcmp(block, "TAG", 3) != 0)
    return;
  struct Field {
    size_t offset, size;
    char* dst;
  } const fields[] = {{3, 30, r.title}, {33, 30, r.artist}, {63, 30, r.album}, {93, 4, r.year}, {97, 30, r.comment}};
  for (const Field& f : fields) {
    TextSink sink(f.dst);
    decodeLatin1(block + f.offset, f.size, &sink);
  }
}

void setDefaults(TagResult& r, const char* path) {
  const std::string_view name = lastComponentOf(path);
  keepText(r.title, sizeof r.title, name.data(), name.size());
  for (char* text : {r.artist, r.album, r.comment, r.year})
    std::memcpy(text, kNoData, sizeof kNoData);
}

}  // namespace

size_t keepText(char* dst, size_t cap, const char* src, size_t n) {
  if (cap == 0)
    return 0;
  const size_t keep = text::utf8Fit(src, n, cap - 1);
  std::memmove(dst, src, keep);
  dst[keep] = 0;
  return keep;
}

int readTag(TagReader& reader, const char* path) {
  if (reader.busy.exchange(1, std::memory_order_acquire) != 0)
    return 0;
  TagResult& r = reader.result;
  setDefaults(r, path);
  uint64_t size = 0;
  const int fd = openForReading(path, &size);
  if (fd >= 0) {
    FileCloser closer(fd);
    uint8_t header[10];
    const size_t got = readAt(fd, header, sizeof header, 0);
    if (got >= 3 && std::memcmp(header, "ID3", 3) == 0) {
      if (got == sizeof header)
        readVersion2(fd, size, header, r);
    } else {
      readVersion1(fd, size, r);
    }
  }
  reader.busy.exchange(0, std::memory_order_release);
  return fd >= 0 ? 1 : 0;
}

}  // namespace plinka::library
