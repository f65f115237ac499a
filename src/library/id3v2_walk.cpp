#include "library/id3v2_walk.h"

#include "library/file_access.h"

#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/id3v2tag.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace plinka::library {

namespace {

constexpr unsigned int kTagHeaderSize = 10;
// Size bytes of an extended header.
constexpr unsigned int kExtendedSizeBytes = 4;

// Frame IDs are three (version 2.2) or four capital letters and digits;
// anything else is damage, where the walk ends as the library's reading
// does.
bool validFrameId(const TagLib::ByteVector& id, unsigned int version) {
  if (id.size() != (version < 3 ? 3u : 4u))
    return false;
  for (const char c : id)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
      return false;
  return true;
}

// The frames whose texts are taken: text frames ("T...") and comments.
bool textOrComment(const TagLib::ByteVector& id) { return id.startsWith("T") || id == "COMM" || id == "COM"; }

// The tag's bytes after its header, as far as the file holds them, with a
// whole-tag unsynchronisation (versions 2.2 and 2.3) undone.
bool readTagBody(int fd, const TagLib::ID3v2::Header& header, TagLib::ByteVector& body) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size <= static_cast<off_t>(kTagHeaderSize))
    return false;
  const uint64_t inFile = static_cast<uint64_t>(st.st_size) - kTagHeaderSize;
  const uint64_t wanted = header.tagSize() < inFile ? header.tagSize() : inFile;
  std::string bytes(static_cast<size_t>(wanted), '\0');
  bytes.resize(readAt(fd, bytes.data(), bytes.size(), kTagHeaderSize));
  body = TagLib::ByteVector(bytes.data(), static_cast<unsigned int>(bytes.size()));
  if (header.unsynchronisation() && header.majorVersion() <= 3)
    body = TagLib::ID3v2::SynchData::decode(body);
  return true;
}

// Where the first frame starts: after the extended header when there is
// one (version 2.3 gives its size without the size bytes, 2.4 with them, as
// a sync-safe number). False when it does not fit.
bool firstFrameAt(const TagLib::ID3v2::Header& header, const TagLib::ByteVector& body, unsigned int& at) {
  at = 0;
  if (!header.extendedHeader())
    return true;
  // In version 2.2 the flag means compression, which no reader knows.
  if (header.majorVersion() < 3 || body.size() < kExtendedSizeBytes)
    return false;
  const TagLib::ByteVector sizeBytes = body.mid(0, kExtendedSizeBytes);
  const uint64_t size = header.majorVersion() == 3 ? uint64_t{kExtendedSizeBytes} + sizeBytes.toUInt()
                                                   : TagLib::ID3v2::SynchData::toUInt(sizeBytes);
  if (size > body.size())
    return false;
  at = static_cast<unsigned int>(size);
  return true;
}

// One frame's header as the library reads it.
struct FrameHead {
  TagLib::ByteVector id;
  unsigned int size = 0;    // of the content after the header
  bool dataLength = false;  // version 2.4: the content starts with its own length
};

// The header of the frame at the start of `rest` (the rest of the tag).
// Version 2.4 sizes are sync-safe, but some writers put plain numbers there:
// as the library does, a plain size is taken when the sync-safe one does
// not lead to another frame and the plain one does.
FrameHead frameHead(const TagLib::ByteVector& rest, unsigned int version, unsigned int headerSize) {
  FrameHead h;
  if (version < 3) {
    h.id = rest.mid(0, 3);
    h.size = rest.toUInt(3, 3, true);
    return h;
  }
  h.id = rest.mid(0, 4);
  const TagLib::ByteVector sizeBytes = rest.mid(4, 4);
  if (version == 3) {
    h.size = sizeBytes.toUInt(true);
    return h;
  }
  h.size = TagLib::ID3v2::SynchData::toUInt(sizeBytes);
  h.dataLength = (static_cast<unsigned char>(rest[9]) & 0x01) != 0;
  if (h.size > 127 && !validFrameId(rest.mid(headerSize + h.size, 4), version)) {
    const unsigned int plain = sizeBytes.toUInt(true);
    if (validFrameId(rest.mid(headerSize + plain, 4), version))
      h.size = plain;
  }
  return h;
}

}  // namespace

bool readId3v2PastEmptyFrames(int fd, TagLib::PropertyMap& properties) {
  properties.clear();
  char head[kTagHeaderSize];
  if (readAt(fd, head, sizeof head, 0) != sizeof head)
    return false;
  const TagLib::ByteVector headBytes(head, sizeof head);
  if (!headBytes.startsWith("ID3"))
    return false;
  const TagLib::ID3v2::Header header(headBytes);
  const unsigned int version = header.majorVersion();
  if (version < 2 || version > 4)
    return false;
  TagLib::ByteVector body;
  unsigned int at = 0;
  if (!readTagBody(fd, header, body) || !firstFrameAt(header, body, at))
    return false;

  // The walk: every frame inside the tag, one after the other, until the
  // padding (a zero byte where an ID would start), damage, or the end.
  const unsigned int frameHeaderSize = TagLib::ID3v2::Frame::headerSize(version);
  bool emptySeen = false;
  std::vector<unsigned int> wanted;
  while (body.size() >= frameHeaderSize && at <= body.size() - frameHeaderSize) {
    if (body[at] == 0)
      break;
    // Read from the whole rest of the tag, as the library reads it: it
    // corrects some writers' frame sizes by looking past the frame.
    const TagLib::ByteVector rest = body.mid(at);
    const FrameHead frame = frameHead(rest, version, frameHeaderSize);
    if (!validFrameId(frame.id, version))
      break;
    const unsigned int size = frame.size;
    if (size > rest.size() - frameHeaderSize)
      break;
    // No content (a data length of its own is 4 bytes): passed over, where
    // the library would stop.
    if (size <= (frame.dataLength ? 4u : 0u))
      emptySeen = true;
    else if (textOrComment(frame.id))
      wanted.push_back(at);
    at += frameHeaderSize + size;
  }
  if (!emptySeen)
    return false;

  // The frames go into a tag of the same version, so that the library
  // names their texts (and joins a version 2.3 date) as it does for a tag
  // it read whole.
  TagLib::ID3v2::Tag tag;
  tag.header()->setMajorVersion(version);
  const TagLib::ID3v2::FrameFactory* factory = TagLib::ID3v2::FrameFactory::instance();
  for (const unsigned int start : wanted) {
    if (TagLib::ID3v2::Frame* made = factory->createFrame(body.mid(start), &header))
      tag.addFrame(made);
  }
  factory->rebuildAggregateFrames(&tag);
  properties = tag.properties();
  return true;
}

}  // namespace plinka::library
