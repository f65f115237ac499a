// The loudness of one media file: EBU R 128 integrated loudness (LUFS) of
// its sound, decoded by GStreamer as fast as it decodes and measured with
// libebur128. It runs at the lowest priority so that it never takes time
// from playback. The GStreamer and libebur128 types stay inside
// loudness_meter.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace plinka::platform {

struct LoudnessResult {
  enum class Outcome : uint8_t {
    Measured,   // lufs holds the integrated loudness
    Silent,     // no 0.4 s block rose above the measure's absolute gate (-70 LUFS):
                // silence, or a sound shorter than 0.4 s
    Failed,     // error says why
    Cancelled,  // the caller's cancel flag stopped it
  };
  Outcome outcome = Outcome::Failed;
  double lufs = 0;          // integrated loudness; Measured only
  uint32_t durationMs = 0;  // length of the sound decoded so far
  std::string error;        // Failed: a short reason fit to show the user
};

// Progress as the sound is decoded: the decoded position and the file's
// length, in ms (length 0 while unknown). Called on the measuring thread.
using LoudnessProgress = std::function<void(uint32_t doneMs, uint32_t totalMs)>;

// Measures the loudness of the file at `path`: audio, or the sound of a
// video (the picture is not decoded). Only regular files are opened: a
// folder, a FIFO or a device is refused before anything reads it. A mono
// file is measured as the same sound on both loudspeakers (as it is played),
// so that it comes out as loud as the same sound stored in stereo.
//
// `cancel` is read between pieces of decoded sound (and at least every
// tenth of a second while none comes); once it reads nonzero the measuring
// stops with Cancelled. `progress` is called about once per second of
// decoded sound and once at the end.
//
// The calling thread is lowered to the lowest priority for good (an
// unprivileged thread cannot raise it again): call it from a worker thread
// kept for such work, never from the GUI or the player thread. The decoding
// threads are the meter's own and end with the call.
LoudnessResult measureLoudness(const char* path, const std::atomic<uint32_t>* cancel = nullptr,
                               const LoudnessProgress& progress = {});

}  // namespace plinka::platform
