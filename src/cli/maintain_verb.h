// plinkactl's "maintain" verb: the Database window's maintenance functions
// run on the data folder's song table without a window.
#pragma once

namespace plinka::cli {

// plinkactl [--data DIR] maintain FUNCTION [ARGS]. FUNCTION is one of
// save-playlist FILE, remove-duplicates, copy-ratings FROM TO, upscore USER,
// remove-missing, reload, redefault START, undelete, reset-start-points,
// sort-name, sort-artist (users 1-10, START from 1). Nothing is asked: the
// command is the confirmation. Prints the two status lines the function ends
// with on standard output, its counts on standard error. 0 done; 1 the data
// folder, the song table or the playlist file could not be used (message on
// standard error); 2 bad arguments (the usage line; nothing is changed).
int runMaintainVerb(int argc, char** argv);

}  // namespace plinka::cli
