// Starting another program that lives on by itself (the Media Filler runs as
// a second process of this program).
#pragma once

#include <string>
#include <vector>

namespace plinka::platform {

// Starts `program` (a path) with `args` in `workingFolder` and does not wait
// for it. The started program is not this process's child, so it leaves no
// zombie behind when it ends. True when the program was started; false when
// it could not be (no such file, not executable, no process to give, a bad
// working folder).
bool startDetached(const std::string& program, const std::vector<std::string>& args, const std::string& workingFolder);

}  // namespace plinka::platform
