// A second reading of an ID3v2 tag for the tags the tag library gives up on.
//
// The tag library ends its reading of an ID3v2 tag at the first frame that
// has no content: a tag whose first frame is empty (seen in real files)
// seems to hold nothing, and an empty frame in the middle hides every frame
// after it. This walk goes over every frame inside the size the tag's header
// declares, passes over the empty ones, and has the library's own frame
// reader decode the text and comment frames, so their texts come out exactly
// as they would have.
#pragma once

#include <taglib/tpropertymap.h>

namespace plinka::library {

// Reads the ID3v2 tag at the start of the open file fd, when it holds an
// empty frame before its end, into `properties` (the same keys the library
// gives: "TITLE", "ARTIST", "ALBUM", "DATE", "COMMENT" ...), from the text
// frames and comment frames of the whole tag. False, with `properties` left
// empty, when the file starts with no ID3v2 tag or its tag has no empty
// frame (the library's own reading then stands).
bool readId3v2PastEmptyFrames(int fd, TagLib::PropertyMap& properties);

}  // namespace plinka::library
