// The playback service over GStreamer: one playbin per open file. The
// GStreamer types stay inside gst_playback.cpp.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/playback.h"

namespace plinka::platform {

// Every public call may come from any thread; calls are serialised inside.
// The player thread normally makes all of them.
class GstPlayback : public PlaybackService {
public:
  GstPlayback();
  ~GstPlayback() override;
  GstPlayback(const GstPlayback&) = delete;
  GstPlayback& operator=(const GstPlayback&) = delete;

  bool open(const char* path) override;
  void play() override;
  void playFrom(uint32_t ms) override;
  uint32_t position() override;
  uint32_t length() override;
  void close() override;
  bool isOpen() const override;
  void setVideoTarget(const VideoTarget& target) override;
  void setFullScreen(bool on) override;
  void setEventHook(std::function<void()> hook) override;
  bool setNext(const char* path) override;
  std::string takeFollowOn() override;
  // Levelling runs through a filter that a file gets when it is opened with
  // levelling on. A file opened with levelling off plays without one, and
  // then cannot be followed on by a file that is to be levelled: setNext
  // refuses it, and the caller opens that file itself.
  void setLevelling(const Levelling& levelling) override;
  void setVolume(double linear) override;

  // How much of the open file has been played, in ms, by what the null
  // sinks were given to play (the silent output, and video not shown on
  // screen) since the open or the last playFrom: from the earliest start to
  // the furthest end of the buffers either played. 0 while they played
  // nothing. A check of the output itself, apart from the position the
  // pipeline reports and wherever the stream's clock starts.
  uint32_t playedAtSink();

  // Where the sound of the files opened from now on goes instead of the
  // usual output: a pipeline description whose first element takes the
  // sound, such as "level interval=50000000 ! fakesink sync=false". Empty
  // puts the usual output back. False, with nothing changed, when the
  // description cannot be made. For checks of what is heard.
  bool setAudioOutput(const std::string& description);
  // What the `level` elements of that output reported for each stream that
  // reached it since the open or the last playFrom (a file that followed on
  // is a stream of its own), in order, in dBFS. A stream's first report
  // after another stream or a seek is left out, as it may hold sound from
  // before. Minus infinity for a stream with no report.
  struct MeteredLevel {
    double rmsDb;   // averaged as energy over the stream and its channels
    double peakDb;  // the highest of any channel
  };
  std::vector<MeteredLevel> meteredLevels();

  struct Impl;

private:
  std::unique_ptr<Impl> impl_;
};

// GStreamer keeps one plugin registry per process; the first caller, on
// whichever thread, sets it up. False when it cannot be set up.
bool gstreamerReady();

// Whether the environment asks for the silent output (PLINKA_SILENT set to
// anything but empty or "0").
bool silentOutputRequested();

}  // namespace plinka::platform
