// The passes over the song table behind the maintenance functions: each one
// walks the open table and changes it, reporting its progress to the
// Database window. Used by maintenance.cpp only.
#pragma once

#include "library/maintenance.h"

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// Runs the function's pass on app.songTable, which the caller has opened for
// writing while it holds BusyCode::Maintenance. Counts into `result` and sets
// its `stopped` when the pass ended early; Save DB as Playlist sets the outcome
// PlaylistNotWritten when its file could not be written. The inputs are valid
// (maintenanceInputsValid).
void runMaintenancePass(LibraryContext& app, MaintenanceFunction function, const MaintenanceInputs& inputs,
                        MaintenanceResult& result);

}  // namespace plinka::library
