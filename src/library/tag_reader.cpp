#include "library/tag_reader.h"

#include "library/file_access.h"
#include "library/folder_names.h"
#include "library/id3v2_walk.h"
#include "platform/container_tags.h"
#include "text/text.h"

#include <taglib/fileref.h>
#include <taglib/mpegfile.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>

#include <cstring>
#include <string_view>

namespace plinka::library {

namespace {

void setDefaults(TagResult& r, const char* path) {
  const std::string_view name = lastComponentOf(path);
  keepText(r.title, sizeof r.title, name.data(), name.size());
  for (char* text : {r.artist, r.album, r.comment, r.year})
    std::memcpy(text, kNoData, sizeof kNoData);
}

// The first value that is not empty, as UTF-8, into dst; false when there
// is none (dst keeps its default).
bool takeFirstOf(const TagLib::StringList& values, char* dst) {
  for (const TagLib::String& value : values) {
    if (value.isEmpty())
      continue;
    const std::string utf8 = value.to8Bit(true);
    // A text that is only its ending zeros counts as missing.
    const size_t n = std::strlen(utf8.c_str());
    if (n == 0)
      continue;
    keepText(dst, kTagTextSize, utf8.data(), n);
    return true;
  }
  return false;
}

void takeFirst(const TagLib::PropertyMap& properties, const char* key, char* dst) {
  const auto found = properties.find(key);
  if (found != properties.end())
    takeFirstOf(found->second, dst);
}

// The comment: the one without a description first, else the first one
// that has a description (named "COMMENT:<description>"); only its text is
// taken, never the description.
void takeComment(const TagLib::PropertyMap& properties, char* dst) {
  const auto plain = properties.find("COMMENT");
  if (plain != properties.end() && takeFirstOf(plain->second, dst))
    return;
  for (const auto& [key, values] : properties)
    if (key.startsWith("COMMENT:") && takeFirstOf(values, dst))
      return;
}

// Matroska and WebM, whose tags the tag library does not read.
bool containerOnlyTheFrameworkReads(const char* path) {
  const std::string_view p(path);
  auto endsWith = [&](std::string_view e) {
    if (p.size() < e.size())
      return false;
    for (size_t i = 0; i < e.size(); ++i) {
      char c = p[p.size() - e.size() + i];
      if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
      if (c != e[i])
        return false;
    }
    return true;
  };
  return endsWith(".mkv") || endsWith(".mka") || endsWith(".webm");
}

void takeText(const std::string& text, char* dst) {
  if (!text.empty())
    keepText(dst, kTagTextSize, text.data(), std::strlen(text.c_str()));
}

void readFromTheFramework(const char* path, TagResult& r) {
  platform::ContainerTags tags;
  if (!platform::readContainerTags(path, tags))
    return;
  takeText(tags.title, r.title);
  takeText(tags.artist, r.artist);
  takeText(tags.album, r.album);
  takeText(tags.comment, r.comment);
  takeText(tags.date, r.year);
}

// The texts of whatever tag the file's type carries: ID3 versions 1 and 2
// (2.2, 2.3, 2.4), Vorbis comments, MP4 atoms, APE and ASF. Multi-value
// texts keep their first value; the comment is the comment's own text (in
// ID3, the comment frame without a description; its language and
// description are not part of it).
void readTexts(int fd, const char* path, TagResult& r) {
  const TagLib::FileRef ref(path, false);
  if (ref.isNull() || ref.file() == nullptr || !ref.file()->isValid()) {
    if (containerOnlyTheFrameworkReads(path))
      readFromTheFramework(path, r);
    return;
  }
  TagLib::PropertyMap properties = ref.file()->properties();
  // A leading ID3v2 tag the library stopped reading at an empty frame is
  // read again past it. In an MPEG file that tag is the one read (it comes
  // before an APE tag or a version 1 block); in other files its texts stand
  // in only for what the file's own tag lacks.
  TagLib::PropertyMap walked;
  if (readId3v2PastEmptyFrames(fd, walked)) {
    if (dynamic_cast<TagLib::MPEG::File*>(ref.file()) != nullptr && !walked.isEmpty()) {
      properties = walked;
    } else {
      for (const auto& [key, values] : walked)
        if (!properties.contains(key))
          properties.insert(key, values);
    }
  }
  takeFirst(properties, "TITLE", r.title);
  takeFirst(properties, "ARTIST", r.artist);
  takeFirst(properties, "ALBUM", r.album);
  takeComment(properties, r.comment);
  takeFirst(properties, "DATE", r.year);
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
  // Only a regular file that opens counts; a folder, pipe or device is
  // refused before the tag library sees it (it would block on a pipe).
  const int fd = openForReading(path);
  if (fd >= 0) {
    FileCloser closer(fd);
    readTexts(fd, path, r);
  }
  reader.busy.exchange(0, std::memory_order_release);
  return fd >= 0 ? 1 : 0;
}

}  // namespace plinka::library
