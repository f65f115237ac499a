// Copying one song into the fill directory. The bytes go to a temporary file
// in that directory first, which is flushed to the medium and only then
// renamed to the song's name: a medium that fills up, a pulled cable or a
// stopped run leaves no half song under a song's name, only (at worst) the
// temporary file, which the next copy replaces and a failed copy removes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace plinka::filler {

// The temporary file's name inside the fill directory begins with this,
// followed by "." and the copying process's id, "." and a random part, so
// that two copies (two filler windows, plinkactl) never write into one
// file. Hidden, and with no media ending, so that no player lists it.
constexpr const char* kCopyTempName = ".plinka-fill.part";

enum class CopyEnd {
  Copied,
  MediumFull,    // no room left on the medium (or its quota)
  SourceFailed,  // the song could not be read
  TargetFailed,  // the fill directory could not be written (missing, read-only, gone)
  Stopped,       // the run was asked to stop during the copy
};

struct CopyResult {
  CopyEnd end = CopyEnd::Copied;
  int error = 0;  // the system's error number when it failed
};

// Copies `source` to `target` (replacing a file of that name) through a new
// temporary file named `temp` + "." + process id + "." + random part beside
// it. Once renamed, the folder itself is synced, so the song's name is on
// the medium too. `stop`, when given, is looked at between blocks.
CopyResult copySong(const std::string& source, const std::string& target, const std::string& temp,
                    const std::atomic<uint32_t>* stop);

// Removes the temporary files that copies of ended processes left in the
// folder (`folder` ends in '/'): the one named kCopyTempName alone (left by
// earlier versions) and those whose process id names no running process.
void removeLeftTemporaryFiles(const std::string& folder);

}  // namespace plinka::filler
