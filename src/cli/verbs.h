// plinkactl's verbs. Each takes the verb's own words (argv[0] is the verb's
// name), prints its results on standard output and returns the exit code:
// 0 done, 1 the file could not be used (message on standard error), 2 bad
// arguments (a one-line usage on standard error).
#pragma once

#include <cstdint>

namespace plinka::cli {

using VerbFunction = int (*)(int argc, char** argv);

struct Verb {
  const char* name;
  VerbFunction run;
  const char* summary;  // one line for the list of verbs
};

// Prints "usage: plinkactl WORDS" on standard error and returns 2.
int usage(const char* words);

// A whole decimal number (at most 12 digits) from lowest to highest into
// out; false for anything else (out unchanged).
bool parseWholeNumber(const char* text, uint64_t lowest, uint64_t highest, uint64_t& out);

}  // namespace plinka::cli
