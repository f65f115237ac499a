// plinkactl play: the player in the terminal. It plays the current State's
// list as the main program would, shows the status texts and the song
// playing, and takes single keys: p play/pause, s skip, r back to the start,
// b the last song again, 0-9 rate the current song (0 is 10), q quit.
#pragma once

namespace plinka::cli {

int runPlayVerb(int argc, char** argv);

}  // namespace plinka::cli
