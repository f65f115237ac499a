// Verbs over song table files.
#pragma once

namespace plinka::cli {

// plinkactl create FILE: a new, empty song table (replacing any file there).
int runCreateVerb(int argc, char** argv);
// plinkactl info FILE: "fields=F slots=N inuse=I occupied=O bytes=B".
// Without FILE, the data folder's song table (dump likewise).
int runInfoVerb(int argc, char** argv);
// plinkactl dump FILE: one line per record in use: the slot, then every
// field in order, tab-separated (texts as stored, numbers in decimal).
int runDumpVerb(int argc, char** argv);
// plinkactl find FILE TEXT: every record that matches TEXT, one slot per
// line, as the "Find" and "Find More" buttons step through them: slot 0 is
// tested first, then each search starts after the previous match.
int runFindVerb(int argc, char** argv);

}  // namespace plinka::cli
