// plinkactl verbs over media files: "checksum FILE" and "tags FILE".
#pragma once

namespace plinka::cli {

// argv[0] is "checksum", argv[1] the file. Prints the file's checksum as 0x and
// eight upper-case hex digits. Returns 0, 1 when the file cannot be read, 2 on
// bad arguments.
int runChecksumVerb(int argc, char** argv);

// argv[0] is "tags", argv[1] the file. Prints the tag reading as the lines
// title=, artist=, album=, comment= and year=, then the ReplayGain gains
// (track_gain=, album_gain=: "-6.20 dB" or "none") and what the data
// folder's song table stores of its loudness (stored_loudness=). Returns 0,
// 1 when the file cannot be read, 2 on bad arguments.
int runTagsVerb(int argc, char** argv);

}  // namespace plinka::cli
