// plinkactl fill: fills a folder with songs the way the Media Filler does,
// without its window, printing a progress line for each copy.
#pragma once

namespace plinka::cli {

// plinkactl [--data DIR] fill FOLDER --size MB [--number] [--state N]
// Copies songs chosen by the list builder for State N (1-10; the current
// State by default: its user or alt-mode pattern, its filters, and the
// settings' file types) into FOLDER until MB megabytes are used ("--size
// fill": until the medium is full). --number puts the running number 000,
// 001 ... before each name. Prints "N<TAB>TARGET<TAB>PROGRESS" for each
// copy. Like the Media Filler it writes neither the settings file nor the
// filler's own settings. Exit 0 at the budget (or a full medium with "fill"),
// 1 when the fill could not go on (message on standard error), 2 for bad
// arguments.
int runFillVerb(int argc, char** argv);

}  // namespace plinka::cli
