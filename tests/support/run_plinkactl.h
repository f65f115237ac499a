// Runs the plinkactl program built beside the tests, as a user would.
#pragma once

#include "support/temp_dir.h"

#include <string>
#include <vector>

namespace plinka::test {

struct ProgramResult {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out, err;
};

// Runs plinkactl with `args` in folder `cwd` (the scratch folder when empty),
// with no standard input; its output is caught in files of `scratch`.
ProgramResult runPlinkactl(const TempDir& scratch, const std::vector<std::string>& args, const std::string& cwd = "");

// Text split into lines (a CR before the LF dropped).
std::vector<std::string> lines(const std::string& text);

}  // namespace plinka::test
