// The settings words that threads share while the program runs.
//
// The settings record is the settings file's image: packed, with many 32-bit
// words at offsets that are not a multiple of four, so they cannot be used as
// atomics where they lie. A word that one thread writes while another reads
// it therefore has an atomic twin here. The twin is the value while the
// program runs: it is taken from the record once the record is loaded (or
// reset while threads run) and put back into the file image when the settings
// are saved, so the file stays byte for byte what the record layout says.
// While the program runs, code reads and writes the twin, never the record's
// word.
//
// currentState lies on a 4-byte boundary and keeps its home in the record:
// it is read and written through std::atomic_ref (see play/current_state.h),
// and stored under `imageLock`.
//
// The builder's memory lists (recentSongs, historySongs, recentArtists) and
// buildTime have one owner, the build pass (at most one runs); the save takes
// `imageLock` while it copies the record, and so does the pass while it
// changes them.
#pragma once

#include "core/settings_record.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace plinka {

struct CoreContext;

struct SharedSettings {
  // Per State: the listening user 0-9. Written by the User menu and the
  // digit keys (GUI thread) and by the list builder following an alt-mode
  // pattern; read by every thread.
  std::array<std::atomic<uint32_t>, kStateCount> stateUser{};
  // Per State: the alt mode, 0 = single user. Written by the Mode menu and
  // the digit keys (GUI thread); read by every thread.
  std::array<std::atomic<uint32_t>, kStateCount> stateAltMode{};
  // The ID worker's hash count. Written by the details loader (down) and the
  // ID worker; read by the background worker.
  std::atomic<uint32_t> hashStat{0};
  // The buffer cache's re-buffer value. Written by the list builder, the
  // State switch and the buffer cache; read by the background worker.
  std::atomic<uint32_t> rebufferValue{0};
  // Per State: the volume's cut (stateVolumeCut). Written by the volume
  // controls and the Options reset (GUI thread); read by the State switch
  // and the player.
  std::array<std::atomic<uint32_t>, kStateCount> stateVolumeCut{};
  // Loudness levelling (a Levelling). Written by the Options window (GUI
  // thread); read by the player at every start.
  std::atomic<uint32_t> levelling{0};

  // Held by the save while it copies the record into the file image, and by
  // the build pass while it changes its memory lists and buildTime.
  std::mutex imageLock;
};

// Takes the twins' values from app.settings. Called once the record is
// loaded, and by whatever resets the record while threads run.
void shareSettings(CoreContext& app);

// The picture settings that the cover loader and the heartbeat read while the
// GUI thread changes them (the C key, the picture menus and clicks). Their
// home stays the record: the GUI thread changes them only through
// setPictureSetting, and any other thread reads them through
// pictureSetting; both hold imageLock (quickLinkChoice lies at an odd offset,
// so it cannot be used as an atomic). The GUI thread, their only writer,
// may read the record's words directly.
enum class PictureSetting { CoverArt, CoverChoice, QuickLinkChoice };
uint32_t pictureSetting(CoreContext& app, PictureSetting which);
void setPictureSetting(CoreContext& app, PictureSetting which, uint32_t value);

// Lowers hashStat by `step`, not below 0 (the details loader, for each
// loaded song that has no ID yet).
void lowerHashStat(CoreContext& app, uint32_t step);

}  // namespace plinka
