// The volume: one per State, kept in the settings as a cut below full
// volume, on the slider's cubic scale (the scale desktop players use, so
// that the slider's middle sounds half as loud). The player thread alone
// sets the playback's volume; everyone else asks through the player state
// and wakes it. A State switch moves to the new State's volume over half a
// second; the slider, the keys, the wheel and the media controls at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace plinka {
struct CoreContext;
struct PlayContext;
}  // namespace plinka

namespace plinka::play {

// How long a State switch takes to move the volume, and the step of that
// move.
constexpr uint32_t kVolumeFadeMs = 500;
constexpr uint32_t kVolumeFadeStepMs = 20;
// The change of one key press or one notch of the mouse wheel.
constexpr double kVolumeStep = 0.05;

// The player state's volume request: the slider's value in thousandths, and
// whether to move there gradually.
constexpr uint32_t kVolumeFadeBit = 1u << 16;
constexpr uint32_t kVolumeValueMask = 0xFFFF;

// The volume of State `state` on the slider's scale, 0 (silent) to 1 (full).
double stateVolume(const CoreContext& app, uint32_t state);
// The current State's volume.
double currentVolume(const CoreContext& app);

// Sets the current State's volume (clamped to 0-1; not a number changes
// nothing): kept for the State, set
// on the playback at once, shown in the status bar and told to the front
// end. `show` false leaves the status bar alone.
void setCurrentVolume(PlayContext& app, double volume, bool show = true);
// Moves the playback to the current State's volume over kVolumeFadeMs (after
// a State switch or a reset), and tells the front end.
void fadeToStateVolume(PlayContext& app);

// Player thread: applies a new volume request, or the next step of a move.
// The time of the next step while a move goes on.
std::optional<std::chrono::steady_clock::time_point> stepVolume(PlayContext& app);

// The status bar's words for a volume: "Volume 30%".
std::string volumeText(double volume);

}  // namespace plinka::play
