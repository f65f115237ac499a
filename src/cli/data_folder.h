// The data folder plinkactl's verbs work in: the one named by the global
// option --data DIR, else the player's own. Opening it loads the settings as
// the player does (a first use creates the settings and the song table).
#pragma once

#include <string>

namespace plinka {
struct App;
}

namespace plinka::cli {

// Set by main() from --data; empty when not given.
void setDataFolderOption(const std::string& folder);
// Whether --data was given.
bool dataFolderOptionGiven();

// Settles app.folders, sets app.ui to the given front end and loads the
// settings. 0 when the settings and the song table can be used, else 1 with
// a message on standard error.
int openDataFolder(App& app);

// Makes this process the folder's player (the terminal player): 0, or 1
// with a message when another player runs on the folder.
int claimPlayer(App& app);

// Saves the settings record (and the State's list file) back. 0 or 1. While
// another process is the folder's player nothing is saved (the settings are
// its alone) and the verb still succeeds.
int saveDataFolder(App& app);

}  // namespace plinka::cli
