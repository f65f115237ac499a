// plinkactl [--data DIR] loudness [--all]: finds the loudness of the data
// folder's songs as the player's background job does (from ReplayGain tags,
// else measured), the songs not yet measured or, with --all, every song
// again. A progress line goes to standard error; the last line on standard
// output is "measured=N failed=M known=K songs=S".
#pragma once

namespace plinka::cli {

int runLoudnessVerb(int argc, char** argv);

}  // namespace plinka::cli
