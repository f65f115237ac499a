#include "library/folder_names.h"

#include "library/media_types.h"

#include <cstring>

namespace plinka::library {

std::string_view lastComponentOf(std::string_view text) {
  if (text.size() <= 2)
    return text;
  std::string_view rest = text;
  if (rest.back() == '/')
    rest.remove_suffix(1);
  const size_t slash = rest.rfind('/');
  if (slash == std::string_view::npos)
    return text;
  const std::string_view component = rest.substr(slash + 1);
  return component.size() < 2 ? text : component;
}

namespace {

void put(char* dst, size_t cap, std::string_view text) { keepText(dst, cap, text.data(), text.size()); }

}  // namespace

void folderNames(const char* path, char* album, size_t albumCap, char* artist, size_t artistCap) {
  const std::string_view whole(path);
  const size_t lastSlash = whole.rfind('/');
  if (lastSlash == std::string_view::npos) {
    // A bare file name: no folder to name anything after.
    put(album, albumCap, kNoData);
    put(artist, artistCap, kNoData);
    return;
  }
  // The folder path, final '/' included, and the name of that folder.
  const std::string_view folder = whole.substr(0, lastSlash + 1);
  const std::string_view albumName = lastComponentOf(folder);
  put(album, albumCap, albumName);

  // The parent folder's path without its final '/' is what is left after
  // cutting off the folder's name and the '/' on either side of it. A file in
  // "/", or in a folder whose name came back as the whole path, leaves
  // nothing to cut; the root folder itself has no name either.
  const size_t folderLen = folder.size();
  const size_t nameLen = albumName.size();
  if (folderLen < nameLen + 2 || folderLen - nameLen - 2 == 0) {
    put(artist, artistCap, kNoData);
    return;
  }
  put(artist, artistCap, lastComponentOf(folder.substr(0, folderLen - nameLen - 2)));
}

void applyRecordRules(const SettingsRecord& settings, const char* path, const TagResult& tag, RecordTexts& out) {
  put(out.name, sizeof out.name, tag.title);
  if (mediaType(settings, out.name) != kMediaNone) {
    // Still a file name (or a title ending like one): drop the extension.
    if (char* dot = std::strrchr(out.name, '.'))
      *dot = 0;
  }

  const bool dirToId = settings.dirToId != 0;
  const bool noAlbum = std::strcmp(tag.album, kNoData) == 0;
  const bool noArtist = std::strcmp(tag.artist, kNoData) == 0;
  if (dirToId && (noAlbum || noArtist)) {
    char folderAlbum[kTagTextSize];
    char folderArtist[kTagTextSize];
    folderNames(path, folderAlbum, sizeof folderAlbum, folderArtist, sizeof folderArtist);
    put(out.album, sizeof out.album, noAlbum ? folderAlbum : tag.album);
    put(out.artist, sizeof out.artist, noArtist ? folderArtist : tag.artist);
  } else {
    put(out.album, sizeof out.album, tag.album);
    put(out.artist, sizeof out.artist, tag.artist);
  }
  put(out.comment, sizeof out.comment, tag.comment);
}

}  // namespace plinka::library
