// Playing one media file at a time, audio or video: the seam between the
// player thread and the system's media framework. The player opens a song,
// starts it (from the beginning or from a position), polls the position until
// it reaches the end, and closes it; pausing is closing and later opening
// again and playing from the saved position. Tests substitute their own
// implementation; the program uses makeSystemPlayback().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plinka::platform {

// Where a video is drawn: a native window of the front end (on X11 its window
// id) and a rectangle inside it, in pixels. Window 0 means hidden: the video
// is decoded in step with the sound but shown nowhere.
struct VideoTarget {
  uintptr_t window = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// How loud the files opened or queued from now on are levelled: by the
// ReplayGain tags a file carries (its track gain by song, its album gain by
// album, the other one when only that one is there), and otherwise by
// fallbackGainDb. A tagged file is raised no further than its tagged peak
// reaching full scale; an untagged file, whose peak is not known, is
// raised by its whole gain with its peaks limited below full scale. No
// file is raised by more than 20 dB.
struct Levelling {
  enum class Mode : uint8_t {
    Off,    // files play as they were recorded
    Song,   // every song about as loud as the next
    Album,  // every album about as loud as the next, its songs kept apart as mastered
  };
  Mode mode = Mode::Off;
  // The gain for a file without ReplayGain tags: the song's or album's
  // measured gain, or the library's median.
  double fallbackGainDb = 0;
  // Extra gain on top, for tagged and untagged files alike.
  double preAmpDb = 0;
};

class PlaybackService {
public:
  virtual ~PlaybackService() = default;

  // Opens a media file by path, closing any file open before, and readies it
  // at position 0 without playing. False when the file is missing, is not
  // media, or no decoder for it is at hand; nothing is open then.
  virtual bool open(const char* path) = 0;
  // Starts (or continues) playing from the current position.
  virtual void play() = 0;
  // Plays from a position in milliseconds; a position at or past the end ends
  // the song.
  virtual void playFrom(uint32_t ms) = 0;
  // The current position in milliseconds; 0 when nothing is open. It never
  // passes a known length(), and once the file has played to its end, or
  // failed while playing, it equals length(), so a caller that polls sees the
  // song as over.
  virtual uint32_t position() = 0;
  // The end position in milliseconds; 0 while unknown or when nothing is open.
  virtual uint32_t length() = 0;
  // Stops and releases the file. Harmless when nothing is open.
  virtual void close() = 0;
  virtual bool isOpen() const = 0;

  // Where video goes, for the file open now and the ones opened later. Audio
  // files ignore it.
  virtual void setVideoTarget(const VideoTarget& target) = 0;
  // Full screen: the video fills the whole target window, whose owner makes
  // the window cover the screen; off: the video keeps to the target's
  // rectangle.
  virtual void setFullScreen(bool on) = 0;

  // Called, from any thread, as soon as the open file reaches its end or
  // fails while playing, so that the caller need not wait for its next poll
  // to find the position at the end. It must only note the event and wake
  // its owner (no calls back into the service). An empty hook removes it;
  // once that call returns the old hook is never called again. Services
  // that cannot tell keep the default: the caller's polling still finds the
  // end.
  virtual void setEventHook(std::function<void()> hook) { (void)hook; }

  // Queues a file to follow the open one without a break, as the open one's
  // sound ends (null or empty: none). Meant for files of sound alone.
  // The queue is dropped by open() and close(). Returns false when this
  // service cannot follow on (or no longer can: the open file was already
  // read to its end); the caller then starts the next file itself.
  virtual bool setNext(const char* path) {
    (void)path;
    return false;
  }
  // Once the queued file has taken over: its path, once; from then on
  // position() and length() are the new file's. Empty otherwise. The event
  // hook is called as the queued file's stream enters the playback, shortly
  // before it is heard.
  virtual std::string takeFollowOn() { return {}; }

  // The file already open keeps the levelling it was opened with; a file
  // queued with setNext keeps the one in force when it was queued. Services
  // that cannot level keep the default and play files as they are.
  virtual void setLevelling(const Levelling& levelling) { (void)levelling; }

  // The output volume, linear from 0 (silent) to 1 (full); the caller
  // converts from the slider's scale with linearFromCubic. Applied at once to
  // the open file and to every file opened later. Values outside 0..1 are
  // taken as the nearer end; a value that is not a number is ignored.
  virtual void setVolume(double linear) { (void)linear; }
};

// A volume slider moves on a cubic scale, so that equal steps sound like
// equal steps: linear = cubic^3. Both take and give 0..1; a value outside is
// taken as the nearer end and one that is not a number as 0.
double linearFromCubic(double cubic);
double cubicFromLinear(double linear);

// The system's playback, over GStreamer. Sound goes to the default output;
// with the environment setting PLINKA_SILENT=1 sound and video go nowhere
// while time still runs (tests, machines without sound or display).
std::unique_ptr<PlaybackService> makeSystemPlayback();

}  // namespace plinka::platform
