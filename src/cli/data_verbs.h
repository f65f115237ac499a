// Verbs over the data folder (the one named by --data, else the player's
// own): importing music into its song table, and finding that song table for
// the table verbs when they are given no FILE.
#pragma once

#include <string>

namespace plinka::cli {

// plinkactl [--data DIR] import SOURCE: imports a folder (every media file in
// it and its sub-folders) or a playlist (.m3u or .txt) into the data folder's
// song table, as the Database window's import does. Progress goes to standard
// error; the last line on standard output is "added=N skipped=M". A SOURCE
// that names an existing folder is taken as that folder whether or not it
// ends in '/'. 0 done, 1 the source or the data folder cannot be used, 2 bad
// arguments.
int runImportVerb(int argc, char** argv);
// rate FILE RATING: sets the current user's rating (0-10) of the song
// stored as FILE.
int runRateVerb(int argc, char** argv);

// Opens the data folder (a first use creates the settings and the song table
// as the player would) and gives the path of its song table. 0, or 1 with a
// message on standard error.
int dataFolderSongTable(std::string& path);

}  // namespace plinka::cli
