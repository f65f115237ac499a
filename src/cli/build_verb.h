// plinkactl build: builds a State's list of upcoming songs the way the
// player does, printing each song as it is chosen.
#pragma once

namespace plinka::cli {

// plinkactl [--data DIR] build [--state N] [--count N]: N of --state counts
// the States from 1 to 10; both default to the settings' current State and
// list length. Prints "RATING<TAB>FILENAME" for each chosen song, writes the
// State's list file once the list is full and saves the settings (the
// builder's memory lists live there). Exit 1 when no list can be built.
int runBuildVerb(int argc, char** argv);

}  // namespace plinka::cli
