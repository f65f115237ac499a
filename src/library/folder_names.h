// Names taken from the folders that hold a media file ("Dir -> ID"), and the
// rules that turn a tag reading into the texts a new song record gets.
#pragma once

#include "core/settings_record.h"
#include "library/tag_reader.h"

#include <cstddef>
#include <string_view>

namespace plinka::library {

// The last component of a path text: a final '/' is ignored and the component
// is what follows the last remaining '/'. When there is no such '/', the text
// has two characters or fewer, or the component has fewer than two
// characters, the whole text is the result. The result views the input.
std::string_view lastComponentOf(std::string_view text);

// The album (the name of the folder holding the file) and the artist (the
// name of the folder above it) that the folders of path suggest. Where there
// is no such folder to take the name from (the file lies in "/" or in a folder
// whose name is too short to be told apart), the text is "No Data".
void folderNames(const char* path, char* album, size_t albumCap, char* artist, size_t artistCap);

// The texts a song record gets from its file.
struct RecordTexts {
  char name[kTagTextSize];
  char artist[kTagTextSize];
  char album[kTagTextSize];
  char comment[kTagTextSize];
};

// Turns a tag reading of the file at path into the record's texts: a title
// that still ends in an enabled media type loses everything from its last
// '.'; with "Dir -> ID" on, an album or artist the tag did not give ("No
// Data") comes from the folder names.
void applyRecordRules(const SettingsRecord& settings, const char* path, const TagResult& tag, RecordTexts& out);

}  // namespace plinka::library
