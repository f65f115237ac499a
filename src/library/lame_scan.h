// The scan for the text "LAME" near the start of a file: such songs may be
// given a start point that skips their beginning.
#pragma once

#include <cstdint>

namespace plinka::library {

// The start point (milliseconds) given to a song whose file carries the marker.
constexpr uint32_t kLameStartPoint = 540;

// True when "LAME" begins at one of the file's first 5000 bytes (its last
// letters may lie beyond them). The file is read from the start; a byte that
// breaks a partly matched sequence is passed over and not taken as the start
// of a new one. False too when the file cannot be opened.
bool lameMarkerFound(const char* path);

// The start point a song keeps after the scan: 540 when the marker was found
// and no start point is set, otherwise the current one, so that a start point
// set by hand is never replaced.
inline uint32_t startPointAfterLameScan(bool markerFound, uint32_t current) {
  return markerFound && current == 0 ? kLameStartPoint : current;
}

}  // namespace plinka::library
