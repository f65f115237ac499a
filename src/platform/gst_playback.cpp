#include "platform/gst_playback.h"

#include <gst/gst.h>
#include <gst/video/videooverlay.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plinka::platform {

bool gstreamerReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = gst_init_check(nullptr, nullptr, nullptr); });
  return ready;
}

namespace {

// How long open() waits for a file to be readied before giving up on it.
constexpr GstClockTime kOpenTimeout = 10 * GST_SECOND;

uint32_t toMs(gint64 ns) {
  if (ns <= 0) {
    return 0;
  }
  const gint64 ms = ns / GST_MSECOND;
  return ms > gint64{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(ms);
}

bool envSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

bool displayAvailable() { return envSet("DISPLAY") || envSet("WAYLAND_DISPLAY"); }

// Takes ownership of a freshly made element (floating or not) so that the
// caller holds exactly one plain reference.
GstElement* owned(GstElement* element) {
  if (element != nullptr) {
    gst_object_ref_sink(element);
  }
  return element;
}

// A sink that throws the data away at the pace of the clock, so that the
// position still runs as it would on a real output.
GstElement* makePacedNullSink() {
  GstElement* sink = owned(gst_element_factory_make("fakesink", nullptr));
  if (sink != nullptr) {
    g_object_set(sink, "sync", TRUE, nullptr);
  }
  return sink;
}

// The stream time, in ns, of a buffer's time stamp plus `extra`, by the
// segment it came in; -1 when it carries no time.
gint64 streamTimeOf(const GstSegment& segment, GstBuffer* buffer, GstClockTime extra) {
  if (!GST_BUFFER_PTS_IS_VALID(buffer)) {
    return -1;
  }
  const guint64 stream = gst_segment_to_stream_time(&segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer) + extra);
  return stream == GST_CLOCK_TIME_NONE ? -1 : static_cast<gint64>(stream);
}

// The first X video sink that can reach the display, or null (the video is
// then not shown). The scaling Xv sink comes first. A sink is tried twice:
// opening the display now and then fails for no lasting reason.
GstElement* makeScreenSink() {
  for (const char* name : {"xvimagesink", "ximagesink"}) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      GstElement* sink = owned(gst_element_factory_make(name, nullptr));
      if (sink == nullptr) {
        break;
      }
      const bool usable = gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
      gst_element_set_state(sink, GST_STATE_NULL);
      if (usable) {
        return sink;
      }
      gst_object_unref(sink);
    }
  }
  return nullptr;
}

// Keeps the video to the target's rectangle, or lets it fill the whole
// window in full screen (and while the front end gave no rectangle).
void placeVideo(GstVideoOverlay* overlay, const VideoTarget& target, bool fullScreen) {
  if (fullScreen || target.width <= 0 || target.height <= 0) {
    gst_video_overlay_set_render_rectangle(overlay, 0, 0, -1, -1);
  } else {
    gst_video_overlay_set_render_rectangle(overlay, target.x, target.y, target.width, target.height);
  }
}

// A stream without a container (an MP3 file, say) announces no length until
// much of it has played. Its parser can still tell how long the bytes that
// reach it last, going by the frames it has seen; this asks every parser in
// the pipeline and takes the longest answer, in ms (0 when none can tell).
uint32_t lengthFromParsers(GstElement* playbin) {
  uint32_t longest = 0;
  GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(playbin));
  GValue item = G_VALUE_INIT;
  while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
    auto* element = GST_ELEMENT(g_value_get_object(&item));
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* kind =
        factory != nullptr ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    GstPad* in = nullptr;
    GstPad* out = nullptr;
    if (kind != nullptr && std::strstr(kind, "Parser") != nullptr) {
      in = gst_element_get_static_pad(element, "sink");
      out = gst_element_get_static_pad(element, "src");
    }
    gint64 bytes = 0;
    gint64 ns = 0;
    if (in != nullptr && out != nullptr && gst_pad_peer_query_duration(in, GST_FORMAT_BYTES, &bytes) && bytes > 0 &&
        gst_pad_query_convert(out, GST_FORMAT_BYTES, bytes, GST_FORMAT_TIME, &ns) && toMs(ns) > longest) {
      longest = toMs(ns);
    }
    if (in != nullptr) {
      gst_object_unref(in);
    }
    if (out != nullptr) {
      gst_object_unref(out);
    }
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(elements);
  return longest;
}

// The gains rgvolume takes, in dB; anything else is taken as the nearer end,
// and a value that is not a number as 0.
double clampGain(double db) { return std::isfinite(db) ? std::clamp(db, -60.0, 60.0) : 0.0; }

// Whether a tag list gives a ReplayGain gain, the track's or the album's.
bool carriesGain(const GstTagList* tags) {
  double gain = 0;
  return gst_tag_list_get_double(tags, GST_TAG_TRACK_GAIN, &gain) ||
         gst_tag_list_get_double(tags, GST_TAG_ALBUM_GAIN, &gain);
}

// The levelling filter: the sound is made floating point first, so that a
// gain above 0 dB cannot clip before the limiter, which takes the peaks that
// would pass full scale down smoothly.
constexpr const char* kLevellingFilter = G_BYTE_ORDER == G_LITTLE_ENDIAN
                                             ? "audioconvert ! audio/x-raw,format=F32LE ! rgvolume name=gain ! "
                                               "rglimiter name=limiter ! audioconvert"
                                             : "audioconvert ! audio/x-raw,format=F32BE ! rgvolume name=gain ! "
                                               "rglimiter name=limiter ! audioconvert";

// A bin made from a pipeline description, its free ends as its pads; null
// when the description cannot be made.
GstElement* binFromDescription(const char* description) {
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
  if (bin == nullptr || error != nullptr) {
    g_clear_error(&error);
    if (bin != nullptr) {
      gst_object_unref(gst_object_ref_sink(bin));
    }
    return nullptr;
  }
  return owned(bin);
}

}  // namespace

bool silentOutputRequested() {
  const char* value = std::getenv("PLINKA_SILENT");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

struct GstPlayback::Impl {
  // Held by every public call for its whole length, so calls never interleave.
  std::mutex calls;

  // Guards target, fullScreen and overlay. Written by the public calls; read
  // by the GStreamer streaming thread when the video sink asks for a window.
  std::mutex video;
  VideoTarget target;
  bool fullScreen = false;
  GstVideoOverlay* overlay = nullptr;  // the sink drawing on screen, once it asked for a window
  uintptr_t overlayWindow = 0;         // the window that sink was given

  // The owner's event hook. Guarded by `hook`; written by setEventHook, called
  // by the GStreamer streaming threads when the end of the stream or an
  // error is posted.
  std::mutex hook;
  std::function<void()> onEvent;

  // The file queued to follow on, and the one that was handed to the
  // pipeline. Guarded by `next`; written by setNext / the open and close,
  // and by the streaming thread in onAboutToFinish.
  std::mutex next;
  std::string nextPath;
  std::string nextUri;
  std::string switchingTo;  // handed over, its stream not started yet
  bool finishing = false;   // the open file was read to its end: too late to queue

  // Levelling, guarded by `next` as well. `levelling` is written by
  // setLevelling and read by the open and setNext; `queuedLevelling` goes
  // with the queued file (written by setNext); `startingLevelling` is for
  // the stream that starts next at the filter, written by the open and by
  // onAboutToFinish as it hands the queued file over, and read by the
  // streaming thread as that stream starts. `filtered` says whether the
  // open file has the levelling filter (written by the open and the close,
  // read by setNext). `bypass`: the stream passing the filter now is not to
  // be levelled (written and read by the streaming thread, reset by the
  // open).
  Levelling levelling;
  Levelling queuedLevelling;
  Levelling startingLevelling;
  bool filtered = false;
  bool bypass = false;

  // The filter's gain and limiter elements, while the open file has the
  // filter. Set by the open before any streaming thread runs and cleared by
  // the close after they all stopped; used by the streaming thread.
  GstElement* gain = nullptr;
  GstElement* limiter = nullptr;
  // Streams that started at the filter, and whether the end of stream
  // leaving the gain element is the one sent to make it forget the stream
  // before. Guarded by `next`: reset by the open, used by the streaming
  // threads, which GStreamer hands from file to file through its own pool.
  int streamsLevelled = 0;
  bool forgetting = false;

  // What the level elements of a test output reported, one entry per
  // stream that reached that output. Guarded by `meter`; an entry is added
  // by the streaming thread as a stream starts there and filled as reports
  // are posted; read by meteredLevels; cleared by the open and the close.
  struct Metered {
    double energySeconds = 0;  // mean square times seconds, summed over the reports
    double seconds = 0;
    double peakDb = -std::numeric_limits<double>::infinity();
    bool skipFirst = false;  // the next report may still hold the stream before
  };
  std::mutex meter;
  std::vector<Metered> metered;

  // What the null sinks played. Each sink's watch keeps the segment its
  // data comes in; of the buffers played (handed off at their time on the
  // clock), sinkStartNs is the earliest stream time one started at and
  // sinkEndNs the furthest one reached. Guarded by `sink`; the segments and
  // the span are written by the streaming threads, the span read by
  // playedAtSink and reset by the open, the close and a seek. A watch's
  // owner is set once, when this object is made and before any streaming
  // thread exists, and never written again.
  struct SinkWatch {
    Impl* owner = nullptr;
    GstSegment segment{};
    bool segmentSeen = false;
  };
  std::mutex sink;
  SinkWatch sinkWatches[2]{{this, {}, false}, {this, {}, false}};
  gint64 sinkStartNs = -1;
  gint64 sinkEndNs = -1;

  // A null sink made here reports what it plays: its segments through a
  // probe, its buffers as it hands them off, which is when their time on the
  // clock has come.
  GstElement* makeWatchedNullSink(SinkWatch& watch) {
    GstElement* made = makePacedNullSink();
    if (made == nullptr) {
      return made;
    }
    g_object_set(made, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(made, "handoff", G_CALLBACK(&Impl::onSinkHandoff), &watch);
    GstPad* pad = gst_element_get_static_pad(made, "sink");
    if (pad != nullptr) {
      gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &Impl::onSinkEvent, &watch, nullptr);
      gst_object_unref(pad);
    }
    return made;
  }

  static GstPadProbeReturn onSinkEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* watch = static_cast<SinkWatch*>(data);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event != nullptr && GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
      const GstSegment* segment = nullptr;
      gst_event_parse_segment(event, &segment);
      std::lock_guard lock(watch->owner->sink);
      gst_segment_copy_into(segment, &watch->segment);
      watch->segmentSeen = segment->format == GST_FORMAT_TIME;
    }
    return GST_PAD_PROBE_OK;
  }

  static void onSinkHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
    auto* watch = static_cast<SinkWatch*>(data);
    std::lock_guard lock(watch->owner->sink);
    if (watch->segmentSeen) {
      Impl& owner = *watch->owner;
      const gint64 start = streamTimeOf(watch->segment, buffer, 0);
      const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
      const gint64 end = streamTimeOf(watch->segment, buffer, duration);
      if (start >= 0 && (owner.sinkStartNs < 0 || start < owner.sinkStartNs)) {
        owner.sinkStartNs = start;
      }
      if (end > owner.sinkEndNs) {
        owner.sinkEndNs = end;
      }
    }
  }

  void forgetSinkData() {
    std::lock_guard lock(sink);
    sinkStartNs = -1;
    sinkEndNs = -1;
    for (SinkWatch& watch : sinkWatches) {
      watch.segmentSeen = false;
    }
  }

  // The rest belongs to the thread holding `calls`.
  GstElement* playbin = nullptr;
  double volume = 1;        // linear, given to every playbin
  std::string audioOutput;  // a test's output for files opened later; empty: the usual one
  std::string path;
  std::string arriving;      // queued file whose stream entered the pipeline
  std::string followedOn;    // the file that took over, until taken
  bool screenVideo = false;  // video of this playbin goes to the screen, not to a null sink
  bool playing = false;      // play or playFrom was asked since the open
  bool ended = false;        // end of stream or an error arrived
  uint32_t lengthMs = 0;
  uint32_t lastMs = 0;  // the last position reported to the caller
  // Where the stream's own clock stands at its beginning, in ns. Most files
  // start at 0; an MPEG program stream starts where its first time stamp
  // lies (half a second, say). Positions are told from there and seeks go
  // there, so that a position runs from 0 to the length the pipeline
  // announces (which counts from the first time stamp), and the end is not
  // reached half a second before the stream's own end.
  gint64 originNs = 0;

  bool wantsScreenVideo() {
    std::lock_guard lock(video);
    return target.window != 0 && !silentOutputRequested() && displayAvailable();
  }

  // Runs on the thread that posts the end of the stream or an error, before
  // the message reaches the bus queue (where drainBus still takes it): wakes
  // the owner at once. The message itself is left to GStreamer.
  static void onEndOrError(GstBus*, GstMessage*, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    std::lock_guard lock(self->hook);
    if (self->onEvent) {
      self->onEvent();
    }
  }

  // playbin asks, from its streaming thread, for what follows the stream
  // that is about to run out: the queued file, if any.
  static void onAboutToFinish(GstElement* playbin, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    std::lock_guard lock(self->next);
    self->finishing = true;
    if (!self->nextUri.empty()) {
      g_object_set(playbin, "uri", self->nextUri.c_str(), nullptr);
      self->switchingTo = self->nextPath;
      self->startingLevelling = self->queuedLevelling;
      self->nextUri.clear();
      self->nextPath.clear();
    }
  }

  // A stream started: when it is the queued file's, the owner is woken to
  // take note.
  static void onStreamStart(GstBus* bus, GstMessage* message, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    bool switching = false;
    {
      std::lock_guard lock(self->next);
      switching = !self->switchingTo.empty();
    }
    if (switching) {
      onEndOrError(bus, message, data);
    }
  }

  void clearNext() {
    std::lock_guard lock(next);
    nextPath.clear();
    nextUri.clear();
    switchingTo.clear();
    finishing = false;
  }

  // Sets the filter for the stream that starts now, on the streaming thread
  // and before any of its sound passes: the levelling that goes with its
  // file.
  void levelStartingStream() {
    bool forget = false;
    {
      std::lock_guard lock(next);
      forget = streamsLevelled++ > 0;
    }
    if (forget) {
      forgetStreamBefore();
    }
    Levelling wanted;
    {
      std::lock_guard lock(next);
      wanted = startingLevelling;
      bypass = wanted.mode == Levelling::Mode::Off;
    }
    const bool on = wanted.mode != Levelling::Mode::Off;
    const double fallback = on ? clampGain(wanted.fallbackGainDb) : 0.0;
    const double preAmp = on ? clampGain(wanted.preAmpDb) : 0.0;
    // rgvolume keeps a file without ReplayGain tags from rising above where
    // it is, taking its peak to be at full scale: a quiet file would never be
    // raised to its gain. The room given here lets that gain through in full,
    // and the limiter takes down the peaks that would pass full scale. A
    // file with tags gets no room (see onFilterEvent): its peak is known, and
    // its gain is held where that peak stays below full scale.
    const double headroom = std::clamp(fallback + preAmp, 0.0, 60.0);
    g_object_set(gain, "album-mode", static_cast<gboolean>(wanted.mode == Levelling::Mode::Album), "fallback-gain",
                 fallback, "pre-amp", preAmp, "headroom", headroom, nullptr);
    g_object_set(limiter, "enabled", static_cast<gboolean>(on), nullptr);
  }

  // rgvolume keeps the ReplayGain tags it has seen until the end of the
  // stream, and a file that follows on ends none: the file before's gain
  // would go on into it. An end of stream sent to the gain element alone
  // makes it forget them; it is stopped as it leaves the element, and the
  // new stream's start, passing next, lifts the end from the pads again.
  void forgetStreamBefore() {
    GstPad* in = gst_element_get_static_pad(gain, "sink");
    if (in != nullptr) {
      // Not held while the event passes: onGainOutEvent, on this very
      // thread, takes the lock itself.
      setForgetting(true);
      gst_pad_send_event(in, gst_event_new_eos());
      setForgetting(false);
      gst_object_unref(in);
    }
  }

  void setForgetting(bool on) {
    std::lock_guard lock(next);
    forgetting = on;
  }

  static GstPadProbeReturn onGainOutEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event == nullptr || GST_EVENT_TYPE(event) != GST_EVENT_EOS) {
      return GST_PAD_PROBE_OK;
    }
    std::lock_guard lock(self->next);
    return self->forgetting ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
  }

  // Events entering the levelling filter, on the streaming thread.
  static GstPadProbeReturn onFilterEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event == nullptr) {
      return GST_PAD_PROBE_OK;
    }
    if (GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START) {
      self->levelStartingStream();
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_TAG) {
      GstTagList* tags = nullptr;
      gst_event_parse_tag(event, &tags);
      bool bypass = false;
      {
        std::lock_guard lock(self->next);
        bypass = self->bypass;
      }
      if (bypass) {
        // A stream not to be levelled: the gain element never sees its
        // ReplayGain tags, so it stays at 0 dB.
        GstTagList* kept = gst_tag_list_copy(tags);
        for (const char* tag : {GST_TAG_TRACK_GAIN, GST_TAG_TRACK_PEAK, GST_TAG_ALBUM_GAIN, GST_TAG_ALBUM_PEAK,
                                GST_TAG_REFERENCE_LEVEL}) {
          gst_tag_list_remove_tag(kept, tag);
        }
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_tag(kept);
      } else if (carriesGain(tags)) {
        g_object_set(self->gain, "headroom", 0.0, nullptr);
      }
    }
    return GST_PAD_PROBE_OK;
  }

  // A test's output: each stream that reaches it starts an entry of its
  // own, and a seek starts the count afresh. The first report after either
  // may still hold sound from before.
  static GstPadProbeReturn onOutputEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event == nullptr) {
      return GST_PAD_PROBE_OK;
    }
    std::lock_guard lock(self->meter);
    if (GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START) {
      Metered entry;
      entry.skipFirst = !self->metered.empty();
      self->metered.push_back(entry);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
      Metered entry;
      entry.skipFirst = true;
      self->metered.assign(1, entry);
    }
    return GST_PAD_PROBE_OK;
  }

  // The numbers of a level report's field, one per channel.
  static std::vector<double> perChannel(const GValue* field) {
    std::vector<double> values;
    if (field == nullptr) {
      return values;
    }
    if (GST_VALUE_HOLDS_ARRAY(field)) {
      for (guint i = 0; i < gst_value_array_get_size(field); ++i) {
        values.push_back(g_value_get_double(gst_value_array_get_value(field, i)));
      }
    } else if (G_VALUE_TYPE(field) == g_type_from_name("GValueArray")) {
      // The older form of the report, still the one posted today.
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      auto* array = static_cast<GValueArray*>(g_value_get_boxed(field));
      for (guint i = 0; array != nullptr && i < array->n_values; ++i) {
        values.push_back(g_value_get_double(g_value_array_get_nth(array, i)));
      }
      G_GNUC_END_IGNORE_DEPRECATIONS
    }
    return values;
  }

  // A level element's report, on the thread that posts it: adds its energy
  // to the stream passing the output now.
  static void onElementMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    const GstStructure* report = gst_message_get_structure(message);
    if (report == nullptr || !gst_structure_has_name(report, "level")) {
      return;
    }
    GstClockTime duration = 0;
    const GValue* rms = gst_structure_get_value(report, "rms");
    if (rms == nullptr || !gst_structure_get_clock_time(report, "duration", &duration) || duration == 0) {
      return;
    }
    const std::vector<double> channels = perChannel(rms);
    const std::vector<double> peaks = perChannel(gst_structure_get_value(report, "peak"));
    if (channels.empty()) {
      return;
    }
    double energy = 0;
    for (double db : channels) {
      energy += std::pow(10.0, db / 10.0);
    }
    energy /= static_cast<double>(channels.size());
    std::lock_guard lock(self->meter);
    if (self->metered.empty()) {
      self->metered.emplace_back();
    }
    Metered& stream = self->metered.back();
    if (stream.skipFirst) {
      stream.skipFirst = false;
      return;
    }
    const double seconds = static_cast<double>(duration) / GST_SECOND;
    stream.energySeconds += energy * seconds;
    stream.seconds += seconds;
    for (double db : peaks) {
      stream.peakDb = std::max(stream.peakDb, db);
    }
  }

  // A video sink asking for a window gets it here, on its own thread.
  static GstBusSyncReply onSyncMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    if (!gst_is_video_overlay_prepare_window_handle_message(message)) {
      return GST_BUS_PASS;
    }
    GstVideoOverlay* overlay = GST_VIDEO_OVERLAY(GST_MESSAGE_SRC(message));
    {
      std::lock_guard lock(self->video);
      if (self->overlay != overlay) {
        if (self->overlay != nullptr) {
          gst_object_unref(self->overlay);
        }
        self->overlay = GST_VIDEO_OVERLAY(gst_object_ref(overlay));
      }
      self->overlayWindow = self->target.window;
      gst_video_overlay_set_window_handle(overlay, self->overlayWindow);
      placeVideo(overlay, self->target, self->fullScreen);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
  }

  void closePipeline() {
    if (playbin != nullptr) {
      gst_element_set_state(playbin, GST_STATE_NULL);
      GstBus* bus = gst_element_get_bus(playbin);
      gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
      g_signal_handlers_disconnect_by_data(bus, this);
      gst_bus_disable_sync_message_emission(bus);
      gst_object_unref(bus);
      g_signal_handlers_disconnect_by_data(playbin, this);
      gst_object_unref(playbin);
      playbin = nullptr;
      // Callbacks that ran on GStreamer's threads before the pipeline
      // stopped did their work under these locks: taking them once orders
      // their end before whatever follows, down to freeing this object.
      { const std::lock_guard fence(hook); }
      { const std::lock_guard fence(next); }
    }
    for (GstElement** element : {&gain, &limiter}) {
      if (*element != nullptr) {
        gst_object_unref(*element);
        *element = nullptr;
      }
    }
    {
      std::lock_guard lock(next);
      filtered = false;
      bypass = false;
    }
    {
      std::lock_guard lock(meter);
      metered.clear();
    }
    forgetSinkData();
    {
      std::lock_guard lock(video);
      if (overlay != nullptr) {
        gst_object_unref(overlay);
        overlay = nullptr;
      }
      overlayWindow = 0;
    }
    path.clear();
    arriving.clear();
    followedOn.clear();
    clearNext();
    screenVideo = false;
    playing = false;
    ended = false;
    lengthMs = 0;
    lastMs = 0;
    originNs = 0;
  }

  // Learns the length while it is unknown, or when the pipeline announced a
  // new one. The length never shrinks while a file is open: callers keep the
  // first one they were told, and the end must still count as reached.
  void queryLength(bool announced = false) {
    if (lengthMs != 0 && !announced) {
      return;
    }
    gint64 ns = 0;
    uint32_t found = gst_element_query_duration(playbin, GST_FORMAT_TIME, &ns) ? toMs(ns) : 0;
    if (found == 0) {
      found = lengthFromParsers(playbin);
    }
    if (found > lengthMs) {
      lengthMs = found;
    }
  }

  // Takes what the pipeline reported since the last look: the end of the
  // stream, a failure, or a newly known length.
  void drainBus() {
    GstBus* bus = gst_element_get_bus(playbin);
    while (GstMessage* message = gst_bus_pop(bus)) {
      switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_EOS:
      case GST_MESSAGE_ERROR:
        ended = true;
        break;
      case GST_MESSAGE_DURATION_CHANGED:
        queryLength(true);
        break;
      case GST_MESSAGE_STREAM_START:
        streamStarted();
        break;
      default:
        break;
      }
      gst_message_unref(message);
    }
    gst_object_unref(bus);
  }

  // The queued file's stream has entered the pipeline. The old file is still
  // heard until its last buffers have played; the position, still the old
  // file's, then falls back to the start of the new one. Until that fall the
  // old file stays the open one.
  void streamStarted() {
    std::lock_guard lock(next);
    if (!switchingTo.empty()) {
      arriving.swap(switchingTo);
      switchingTo.clear();
    }
  }

  // The position fell back while a queued file was arriving: it plays now.
  void takeOver() {
    path = arriving;
    followedOn.swap(arriving);
    arriving.clear();
    ended = false;
    lengthMs = 0;
    lastMs = 0;
    originNs = 0;  // sound follows sound, and sound files start at 0
    {
      std::lock_guard lock(next);
      finishing = false;
    }
    queryLength(true);
  }

  // Puts a probe for the events entering an element (a bin's first pad).
  void watchEvents(GstElement* element, GstPadProbeCallback callback) {
    GstPad* pad = element != nullptr ? gst_element_get_static_pad(element, "sink") : nullptr;
    if (pad != nullptr) {
      const auto kinds =
          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH);
      gst_pad_add_probe(pad, kinds, callback, this, nullptr);
      gst_object_unref(pad);
    }
  }

  // Gives the new playbin the levelling filter when the file is to be
  // levelled. Without the elements it needs, the file plays as it is.
  void addLevellingFilter() {
    Levelling wanted;
    {
      std::lock_guard lock(next);
      wanted = levelling;
      startingLevelling = levelling;
      streamsLevelled = 0;
      forgetting = false;
    }
    if (wanted.mode == Levelling::Mode::Off) {
      return;
    }
    GstElement* filter = binFromDescription(kLevellingFilter);
    if (filter == nullptr) {
      return;
    }
    gain = gst_bin_get_by_name(GST_BIN(filter), "gain");
    limiter = gst_bin_get_by_name(GST_BIN(filter), "limiter");
    if (gain == nullptr || limiter == nullptr) {
      gst_object_unref(filter);
      return;  // the close lets go of whichever was found
    }
    watchEvents(filter, &Impl::onFilterEvent);
    if (GstPad* out = gst_element_get_static_pad(gain, "src")) {
      gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &Impl::onGainOutEvent, this, nullptr);
      gst_object_unref(out);
    }
    g_object_set(playbin, "audio-filter", filter, nullptr);
    gst_object_unref(filter);
    std::lock_guard lock(next);
    filtered = true;
  }

  bool openPipeline(const char* file) {
    closePipeline();
    if (file == nullptr || file[0] == '\0' || !gstreamerReady()) {
      return false;
    }
    struct stat info {};
    if (stat(file, &info) != 0 || !S_ISREG(info.st_mode) || access(file, R_OK) != 0) {
      return false;
    }
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(file, &error);
    if (uri == nullptr) {
      g_clear_error(&error);
      return false;
    }
    playbin = owned(gst_element_factory_make("playbin", nullptr));
    if (playbin == nullptr) {
      g_free(uri);
      return false;
    }
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);

    GstElement* audioSink = nullptr;
    if (!audioOutput.empty()) {
      audioSink = binFromDescription(audioOutput.c_str());
      watchEvents(audioSink, &Impl::onOutputEvent);
    } else if (silentOutputRequested()) {
      audioSink = makeWatchedNullSink(sinkWatches[0]);
    }
    if (audioSink != nullptr) {
      g_object_set(playbin, "audio-sink", audioSink, nullptr);
      gst_object_unref(audioSink);
    }
    g_object_set(playbin, "volume", volume, nullptr);
    addLevellingFilter();
    GstElement* videoSink = wantsScreenVideo() ? makeScreenSink() : nullptr;
    screenVideo = videoSink != nullptr;
    if (videoSink == nullptr) {
      videoSink = makeWatchedNullSink(sinkWatches[1]);
    }
    g_object_set(playbin, "video-sink", videoSink, nullptr);
    gst_object_unref(videoSink);

    GstBus* bus = gst_element_get_bus(playbin);
    if (screenVideo) {
      gst_bus_set_sync_handler(bus, &Impl::onSyncMessage, this, nullptr);
    }
    gst_bus_enable_sync_message_emission(bus);
    g_signal_connect(bus, "sync-message::eos", G_CALLBACK(&Impl::onEndOrError), this);
    g_signal_connect(bus, "sync-message::error", G_CALLBACK(&Impl::onEndOrError), this);
    g_signal_connect(bus, "sync-message::stream-start", G_CALLBACK(&Impl::onStreamStart), this);
    if (!audioOutput.empty()) {
      g_signal_connect(bus, "sync-message::element", G_CALLBACK(&Impl::onElementMessage), this);
    }
    g_signal_connect(playbin, "about-to-finish", G_CALLBACK(&Impl::onAboutToFinish), this);
    bool ready = false;
    switch (gst_element_set_state(playbin, GST_STATE_PAUSED)) {
    case GST_STATE_CHANGE_FAILURE:
      break;
    case GST_STATE_CHANGE_ASYNC: {
      const auto wanted = static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS);
      GstMessage* message = gst_bus_timed_pop_filtered(bus, kOpenTimeout, wanted);
      ready = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE;
      if (message != nullptr) {
        gst_message_unref(message);
      }
      break;
    }
    default:
      ready = true;
      break;
    }
    gst_object_unref(bus);
    if (!ready) {
      closePipeline();
      return false;
    }
    path = file;
    // Readied, the stream waits at its beginning: its position now is where
    // its clock starts.
    gint64 startNs = 0;
    if (gst_element_query_position(playbin, GST_FORMAT_TIME, &startNs) && startNs > 0)
      originNs = startNs;
    queryLength();
    return true;
  }

  void start() {
    playing = true;
    gst_element_set_state(playbin, GST_STATE_PLAYING);
  }

  void seekAndStart(uint32_t ms) {
    ended = false;
    forgetSinkData();
    lastMs = lengthMs != 0 && ms > lengthMs ? lengthMs : ms;
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek_simple(playbin, GST_FORMAT_TIME, flags, originNs + gint64{ms} * GST_MSECOND)) {
      // A stream that cannot seek only plays from its beginning; a position
      // beyond its end still means the song is over.
      queryLength();
      if (lengthMs != 0 && ms >= lengthMs) {
        ended = true;
      }
    }
    start();
  }

  // The position never passes a known length, and once the stream is over
  // it is the length itself: a stream may run a little past, or stop a
  // little short of, the length it announced, and either way the caller sees
  // the song reach its end. Without a known length, the end is where the
  // stream stopped.
  uint32_t currentPosition() {
    drainBus();
    queryLength();
    if (ended) {
      if (lengthMs == 0) {
        lengthMs = lastMs;
      }
      lastMs = lengthMs;
      return lastMs;
    }
    gint64 ns = 0;
    if (gst_element_query_position(playbin, GST_FORMAT_TIME, &ns) && ns >= 0) {
      const uint32_t now = toMs(ns - originNs);
      if (!arriving.empty() && now < lastMs) {
        takeOver();
      }
      lastMs = now;
    }
    if (lengthMs != 0 && lastMs > lengthMs) {
      lastMs = lengthMs;
    }
    return lastMs;
  }

  // Applies a new video target to the open file: redraws in place when the
  // video already goes to the screen, or reopens at the same position when
  // it has to move between the screen and the null sink.
  void retarget() {
    if (playbin == nullptr || ended) {
      return;
    }
    if (wantsScreenVideo() != screenVideo) {
      gint videoStreams = 0;
      g_object_get(playbin, "n-video", &videoStreams, nullptr);
      if (videoStreams == 0) {
        return;  // sound only: nothing to show or hide
      }
      const std::string file = path;
      const bool wasPlaying = playing;
      const uint32_t at = currentPosition();
      if (openPipeline(file.c_str()) && wasPlaying) {
        seekAndStart(at);
      }
      return;
    }
    GstVideoOverlay* sink = nullptr;
    VideoTarget where;
    bool full = false;
    bool moved = false;
    {
      std::lock_guard lock(video);
      if (overlay != nullptr) {
        sink = GST_VIDEO_OVERLAY(gst_object_ref(overlay));
        moved = overlayWindow != target.window;
        overlayWindow = target.window;
      }
      where = target;
      full = fullScreen;
    }
    if (sink != nullptr) {
      if (moved) {
        gst_video_overlay_set_window_handle(sink, where.window);
      }
      placeVideo(sink, where, full);
      gst_video_overlay_expose(sink);
      gst_object_unref(sink);
    }
  }
};

GstPlayback::GstPlayback() : impl_(std::make_unique<Impl>()) {}

GstPlayback::~GstPlayback() { impl_->closePipeline(); }

bool GstPlayback::open(const char* path) {
  std::lock_guard lock(impl_->calls);
  return impl_->openPipeline(path);
}

void GstPlayback::play() {
  std::lock_guard lock(impl_->calls);
  if (impl_->playbin != nullptr) {
    impl_->start();
  }
}

void GstPlayback::playFrom(uint32_t ms) {
  std::lock_guard lock(impl_->calls);
  if (impl_->playbin != nullptr) {
    impl_->seekAndStart(ms);
  }
}

uint32_t GstPlayback::position() {
  std::lock_guard lock(impl_->calls);
  return impl_->playbin != nullptr ? impl_->currentPosition() : 0;
}

uint32_t GstPlayback::length() {
  std::lock_guard lock(impl_->calls);
  if (impl_->playbin == nullptr) {
    return 0;
  }
  impl_->currentPosition();  // takes news from the pipeline and settles the end once over
  return impl_->lengthMs;
}

void GstPlayback::close() {
  std::lock_guard lock(impl_->calls);
  impl_->closePipeline();
}

bool GstPlayback::isOpen() const {
  std::lock_guard lock(impl_->calls);
  return impl_->playbin != nullptr;
}

void GstPlayback::setVideoTarget(const VideoTarget& target) {
  std::lock_guard lock(impl_->calls);
  {
    std::lock_guard videoLock(impl_->video);
    impl_->target = target;
  }
  impl_->retarget();
}

void GstPlayback::setFullScreen(bool on) {
  std::lock_guard lock(impl_->calls);
  {
    std::lock_guard videoLock(impl_->video);
    impl_->fullScreen = on;
  }
  impl_->retarget();
}

void GstPlayback::setEventHook(std::function<void()> hook) {
  std::lock_guard lock(impl_->hook);
  impl_->onEvent = std::move(hook);
}

bool GstPlayback::setNext(const char* path) {
  std::string uri;
  if (path != nullptr && path[0] != '\0') {
    GError* error = nullptr;
    gchar* made = gstreamerReady() ? gst_filename_to_uri(path, &error) : nullptr;
    if (made == nullptr) {
      g_clear_error(&error);
      return false;
    }
    uri = made;
    g_free(made);
  }
  std::lock_guard lock(impl_->next);
  if (impl_->finishing && !uri.empty()) {
    return false;  // playbin asked for the next file already; it ends instead
  }
  if (!uri.empty() && impl_->levelling.mode != Levelling::Mode::Off && !impl_->filtered) {
    return false;  // the open file has no filter to level this one with
  }
  impl_->nextUri = uri;
  impl_->nextPath = uri.empty() ? std::string() : std::string(path);
  impl_->queuedLevelling = impl_->levelling;
  return true;
}

void GstPlayback::setLevelling(const Levelling& levelling) {
  std::lock_guard lock(impl_->next);
  impl_->levelling = levelling;
}

void GstPlayback::setVolume(double linear) {
  if (std::isnan(linear)) {
    return;
  }
  std::lock_guard lock(impl_->calls);
  impl_->volume = std::clamp(linear, 0.0, 1.0);
  if (impl_->playbin != nullptr) {
    g_object_set(impl_->playbin, "volume", impl_->volume, nullptr);
  }
}

bool GstPlayback::setAudioOutput(const std::string& description) {
  std::lock_guard lock(impl_->calls);
  if (!description.empty()) {
    if (!gstreamerReady()) {
      return false;
    }
    GstElement* trial = binFromDescription(description.c_str());
    if (trial == nullptr) {
      return false;
    }
    gst_object_unref(trial);
  }
  impl_->audioOutput = description;
  return true;
}

std::vector<GstPlayback::MeteredLevel> GstPlayback::meteredLevels() {
  std::lock_guard lock(impl_->meter);
  std::vector<MeteredLevel> levels;
  for (const Impl::Metered& stream : impl_->metered) {
    const double rms = stream.seconds > 0 && stream.energySeconds > 0
                           ? 10.0 * std::log10(stream.energySeconds / stream.seconds)
                           : -std::numeric_limits<double>::infinity();
    levels.push_back({rms, stream.peakDb});
  }
  return levels;
}

std::string GstPlayback::takeFollowOn() {
  std::lock_guard lock(impl_->calls);
  if (impl_->playbin == nullptr) {
    return {};
  }
  impl_->currentPosition();  // takes news and notices the fall back to a new start
  std::string file;
  file.swap(impl_->followedOn);
  return file;
}

uint32_t GstPlayback::playedAtSink() {
  std::lock_guard lock(impl_->calls);
  std::lock_guard sinkLock(impl_->sink);
  const Impl& impl = *impl_;
  return impl.sinkStartNs < 0 || impl.sinkEndNs < 0 ? 0 : toMs(impl.sinkEndNs - impl.sinkStartNs);
}

std::unique_ptr<PlaybackService> makeSystemPlayback() { return std::make_unique<GstPlayback>(); }

}  // namespace plinka::platform
