// plinkactl's verbs. Each takes the verb's own words (argv[0] is the verb's
// name), prints its results on standard output and returns the exit code:
// 0 done, 1 the file could not be used (message on standard error), 2 bad
// arguments (a one-line usage on standard error).
#pragma once

namespace plinka::cli {

using VerbFunction = int (*)(int argc, char** argv);

struct Verb {
  const char* name;
  VerbFunction run;
  const char* summary;  // one line for the list of verbs
};

// Prints "usage: plinkactl WORDS" on standard error and returns 2.
int usage(const char* words);

}  // namespace plinka::cli
