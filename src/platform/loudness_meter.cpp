// The loudness meter: filesrc ! decodebin ! audioconvert ! appsink (32-bit
// float, interleaved), pulled as fast as it decodes and fed to libebur128.
//
// Priority: the decoding runs on GStreamer streaming threads. GStreamer
// normally takes those from GLib's shared thread pool, which hands an idle
// thread to the next pipeline that wants one, playback's among them; a
// thread lowered here would then go on playing at the lowest priority. So
// every streaming task of this pipeline gets a thread of the meter's own
// (a task pool set as each task is created), lowered before it runs and
// joined when the task stops.
#include "platform/loudness_meter.h"

#include <ebur128.h>
#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "platform/gst_playback.h"

namespace plinka::platform {
namespace {

// The lowest priority for the calling thread: nice 19, and the idle class,
// which runs only when no other thread wants the processor. Neither can be
// undone by an unprivileged thread.
void lowerThisThread() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
  sched_param param{};
  param.sched_priority = 0;
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

}  // namespace
}  // namespace plinka::platform

// A GStreamer task pool that runs each task on a new thread of its own,
// lowered first, and joins it when the task stops.
struct PlinkaLowTaskPool {
  GstTaskPool parent;
};
struct PlinkaLowTaskPoolClass {
  GstTaskPoolClass parent_class;
};
G_DEFINE_TYPE(PlinkaLowTaskPool, plinka_low_task_pool, GST_TYPE_TASK_POOL)

namespace {

void lowPoolPrepare(GstTaskPool*, GError**) {}
void lowPoolCleanup(GstTaskPool*) {}

// A task is started on one thread and joined on another; GStreamer passes
// the handle between them under locks of its own. This lock hands it over
// in this file's own terms as well, so that the race checker sees the order.
std::mutex handleMutex;

gpointer lowPoolPush(GstTaskPool*, GstTaskPoolFunction func, gpointer data, GError** error) {
  try {
    const std::lock_guard lock(handleMutex);
    return new std::thread([func, data] {
      plinka::platform::lowerThisThread();
      func(data);
    });
  } catch (const std::system_error& e) {
    g_set_error(error, G_THREAD_ERROR, G_THREAD_ERROR_AGAIN, "cannot start a decoding thread: %s", e.what());
    return nullptr;
  }
}

std::thread takeHandle(gpointer id) {
  const std::lock_guard lock(handleMutex);
  std::unique_ptr<std::thread> handle(static_cast<std::thread*>(id));
  return std::move(*handle);
}

void lowPoolJoin(GstTaskPool*, gpointer id) {
  std::thread thread = takeHandle(id);
  if (thread.joinable())
    thread.join();
}

// A handle the task will not join: the thread ends by itself.
void lowPoolDispose(GstTaskPool*, gpointer id) {
  std::thread thread = takeHandle(id);
  if (thread.joinable())
    thread.detach();
}

}  // namespace

static void plinka_low_task_pool_class_init(PlinkaLowTaskPoolClass* klass) {
  GstTaskPoolClass* pool = GST_TASK_POOL_CLASS(klass);
  pool->prepare = lowPoolPrepare;
  pool->cleanup = lowPoolCleanup;
  pool->push = lowPoolPush;
  pool->join = lowPoolJoin;
  pool->dispose_handle = lowPoolDispose;
}

static void plinka_low_task_pool_init(PlinkaLowTaskPool*) {}

namespace plinka::platform {
namespace {

// decodebin's answer to autoplug-select (its values are not in a public
// header).
enum AutoplugSelect : gint { AutoplugTry = 0, AutoplugExpose = 1 };

// The name of the application message that says the file has no sound.
constexpr const char* kNoSound = "plinka-no-sound";

struct ObjectUnref {
  void operator()(gpointer object) const { gst_object_unref(object); }
};
struct PipelineStop {
  void operator()(GstElement* pipeline) const {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
  }
};
struct SampleUnref {
  void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
struct MessageUnref {
  void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct MeterFree {
  void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using Sample = std::unique_ptr<GstSample, SampleUnref>;
using Message = std::unique_ptr<GstMessage, MessageUnref>;

// Maps a buffer for reading for as long as it lives.
class BufferMap {
public:
  explicit BufferMap(GstBuffer* buffer) : buffer_(buffer) { mapped_ = gst_buffer_map(buffer_, &info_, GST_MAP_READ); }
  ~BufferMap() {
    if (mapped_)
      gst_buffer_unmap(buffer_, &info_);
  }
  BufferMap(const BufferMap&) = delete;
  BufferMap& operator=(const BufferMap&) = delete;
  bool mapped() const { return mapped_; }
  const float* data() const { return reinterpret_cast<const float*>(info_.data); }
  size_t size() const { return info_.size; }

private:
  GstBuffer* buffer_;
  GstMapInfo info_{};
  bool mapped_ = false;
};

// What the streaming threads tell the measuring thread. Each field is
// written by decodebin's signal handlers on a streaming thread and read by
// the measuring thread.
struct Streams {
  GstElement* convert = nullptr;  // set before the pipeline starts, read only after
  GstTaskPool* pool = nullptr;    // likewise
  std::atomic<bool> audioLinked{false};
  std::atomic<bool> allPadsKnown{false};
  std::atomic<bool> soundUndecodable{false};  // a stream of sound no decoder at hand takes
};

// Only streams of sound are decoded: a picture decoder is not plugged in,
// its stream is exposed still encoded and left unlinked.
gint onAutoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory, gpointer) {
  const gchar* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
  if (klass != nullptr && std::strstr(klass, "Decoder") != nullptr && std::strstr(klass, "Audio") == nullptr)
    return AutoplugExpose;
  return AutoplugTry;
}

// The first decoded stream of sound goes to the converter; others stay
// unlinked, which decodebin allows while one of its streams is linked.
void onPadAdded(GstElement*, GstPad* pad, gpointer data) {
  auto* streams = static_cast<Streams*>(data);
  if (streams->audioLinked.load())
    return;
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (caps == nullptr)
    caps = gst_pad_query_caps(pad, nullptr);
  const bool sound = caps != nullptr && gst_caps_get_size(caps) > 0 &&
                     g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "audio/x-raw");
  if (caps != nullptr)
    gst_caps_unref(caps);
  if (!sound)
    return;
  GstPad* sink = gst_element_get_static_pad(streams->convert, "sink");
  if (gst_pad_link(pad, sink) == GST_PAD_LINK_OK)
    streams->audioLinked.store(true);
  gst_object_unref(sink);
}

void onUnknownType(GstElement*, GstPad*, GstCaps* caps, gpointer data) {
  if (caps != nullptr && gst_caps_get_size(caps) > 0 &&
      g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "audio/"))
    static_cast<Streams*>(data)->soundUndecodable.store(true);
}

void onNoMorePads(GstElement* decoder, gpointer data) {
  auto* streams = static_cast<Streams*>(data);
  streams->allPadsKnown.store(true);
  if (!streams->audioLinked.load())
    gst_element_post_message(decoder,
                             gst_message_new_application(GST_OBJECT(decoder), gst_structure_new_empty(kNoSound)));
}

// Runs on the thread that posts each message. Streaming tasks get the
// meter's own threads as they are created; only the messages the
// measuring thread reads stay on the bus, so it never fills.
GstBusSyncReply onSyncMessage(GstBus*, GstMessage* message, gpointer data) {
  auto* streams = static_cast<Streams*>(data);
  switch (GST_MESSAGE_TYPE(message)) {
  case GST_MESSAGE_STREAM_STATUS: {
    GstStreamStatusType type;
    GstElement* owner = nullptr;
    gst_message_parse_stream_status(message, &type, &owner);
    const GValue* object = gst_message_get_stream_status_object(message);
    if (type == GST_STREAM_STATUS_TYPE_CREATE && object != nullptr && G_VALUE_HOLDS(object, GST_TYPE_TASK))
      gst_task_set_pool(GST_TASK(g_value_get_object(object)), streams->pool);
    return GST_BUS_DROP;
  }
  case GST_MESSAGE_ERROR:
  case GST_MESSAGE_APPLICATION:
    return GST_BUS_PASS;
  default:
    return GST_BUS_DROP;
  }
}

// A short reason for the user from a GStreamer error.
std::string reasonOf(GstMessage* message) {
  GError* error = nullptr;
  gst_message_parse_error(message, &error, nullptr);
  std::string reason = "cannot decode the file";
  if (error != nullptr) {
    if (error->domain == GST_STREAM_ERROR &&
        (error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND || error->code == GST_STREAM_ERROR_WRONG_TYPE))
      reason = "not a media file";
    else if ((error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND) ||
             (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN))
      reason = "no decoder for the file's sound";
    else if (error->domain == GST_STREAM_ERROR)
      reason = "the file is damaged";
    else if (error->domain == GST_RESOURCE_ERROR)
      reason = "cannot read the file";
    g_error_free(error);
  }
  return reason;
}

// The meter's channel for each position of the decoded layout. A mono
// stream is counted on both loudspeakers; the low-frequency channel not at
// all; surround channels with their extra weight.
bool mapChannels(ebur128_state* meter, const GstAudioInfo& info) {
  const int channels = GST_AUDIO_INFO_CHANNELS(&info);
  if (GST_AUDIO_INFO_IS_UNPOSITIONED(&info))
    return channels != 1 || ebur128_set_channel(meter, 0, EBUR128_DUAL_MONO) == EBUR128_SUCCESS;
  for (int i = 0; i < channels; ++i) {
    int channel = EBUR128_CENTER;
    switch (GST_AUDIO_INFO_POSITION(&info, i)) {
    case GST_AUDIO_CHANNEL_POSITION_MONO:
      channel = EBUR128_DUAL_MONO;
      break;
    case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT:
      channel = EBUR128_LEFT;
      break;
    case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT:
      channel = EBUR128_RIGHT;
      break;
    case GST_AUDIO_CHANNEL_POSITION_LFE1:
    case GST_AUDIO_CHANNEL_POSITION_LFE2:
      channel = EBUR128_UNUSED;
      break;
    case GST_AUDIO_CHANNEL_POSITION_REAR_LEFT:
    case GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT:
      channel = EBUR128_LEFT_SURROUND;
      break;
    case GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT:
    case GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT:
      channel = EBUR128_RIGHT_SURROUND;
      break;
    default:
      break;
    }
    if (ebur128_set_channel(meter, static_cast<unsigned>(i), channel) != EBUR128_SUCCESS)
      return false;
  }
  return true;
}

uint32_t msOf(double seconds) { return static_cast<uint32_t>(std::lround(seconds * 1000)); }

LoudnessResult failed(std::string reason, double seconds = 0) {
  LoudnessResult result;
  result.outcome = LoudnessResult::Outcome::Failed;
  result.error = std::move(reason);
  result.durationMs = msOf(seconds);
  return result;
}

// Only a regular file (or a link to one) is handed to the decoder: a FIFO
// would block the reader for good, a device may never end. Empty when it
// may be read.
std::string refusal(const char* path) {
  if (path == nullptr || path[0] == '\0')
    return "no file given";
  struct stat st {};
  if (stat(path, &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? "file not found"
                                               : std::string("cannot read the file: ") + std::strerror(errno);
  if (S_ISDIR(st.st_mode))
    return "a folder, not a file";
  if (!S_ISREG(st.st_mode))
    return "not a regular file (a pipe or a device)";
  if (access(path, R_OK) != 0)
    return "cannot read the file: " + std::string(std::strerror(errno));
  return {};
}

// GStreamer's shared streaming threads (those of every other pipeline) are
// started by a helper thread of GLib's, which passes its own priority on to
// them; it is made along with GStreamer's first task. That first task is
// made here, on a thread not yet lowered, so that the helper never inherits
// the meter's priority.
void readyTheSharedThreads() {
  static std::once_flag once;
  std::call_once(once, [] {
    GstTask* task = gst_task_new([](gpointer) {}, nullptr, nullptr);
    gst_object_unref(task);
  });
}

}  // namespace

LoudnessResult measureLoudness(const char* path, const std::atomic<uint32_t>* cancel,
                               const LoudnessProgress& progress) {
  if (!gstreamerReady()) {
    lowerThisThread();
    return failed("the media framework is not available");
  }
  readyTheSharedThreads();
  lowerThisThread();
  if (std::string reason = refusal(path); !reason.empty())
    return failed(std::move(reason));

  std::unique_ptr<GstElement, PipelineStop> pipeline(
      static_cast<GstElement*>(gst_object_ref_sink(gst_pipeline_new("loudness"))));
  GstElement* source = gst_element_factory_make("filesrc", nullptr);
  GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
  GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
  GstElement* sinkElement = gst_element_factory_make("appsink", nullptr);
  if (!pipeline || !source || !decoder || !convert || !sinkElement) {
    for (GstElement* e : {source, decoder, convert, sinkElement})
      if (e != nullptr)
        gst_object_unref(gst_object_ref_sink(e));
    return failed("the media framework lacks a part the meter needs");
  }
  gst_bin_add_many(GST_BIN(pipeline.get()), source, decoder, convert, sinkElement, nullptr);
  GstAppSink* sink = GST_APP_SINK(sinkElement);

  g_object_set(source, "location", path, nullptr);
  GstCaps* floats = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, GST_AUDIO_NE(F32), "layout",
                                        G_TYPE_STRING, "interleaved", nullptr);
  gst_app_sink_set_caps(sink, floats);
  gst_caps_unref(floats);
  // As fast as it decodes, a few pieces ahead at most.
  g_object_set(sinkElement, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
  gst_app_sink_set_max_buffers(sink, 16);
  gst_app_sink_set_drop(sink, FALSE);
  if (!gst_element_link(source, decoder) || !gst_element_link(convert, sinkElement))
    return failed("the media framework lacks a part the meter needs");

  std::unique_ptr<GstTaskPool, ObjectUnref> pool(
      static_cast<GstTaskPool*>(g_object_new(plinka_low_task_pool_get_type(), nullptr)));
  gst_object_ref_sink(pool.get());
  Streams streams;
  streams.convert = convert;
  streams.pool = pool.get();
  g_signal_connect(decoder, "autoplug-select", G_CALLBACK(onAutoplugSelect), nullptr);
  g_signal_connect(decoder, "pad-added", G_CALLBACK(onPadAdded), &streams);
  g_signal_connect(decoder, "unknown-type", G_CALLBACK(onUnknownType), &streams);
  g_signal_connect(decoder, "no-more-pads", G_CALLBACK(onNoMorePads), &streams);
  std::unique_ptr<GstBus, ObjectUnref> bus(gst_element_get_bus(pipeline.get()));
  gst_bus_set_sync_handler(bus.get(), &onSyncMessage, &streams, nullptr);
  // The pipeline is stopped (its threads joined) and the bus let go of
  // `streams` before `streams` and the pool go: the guard declared last runs
  // first.
  struct Stop {
    GstElement* pipeline;
    GstBus* bus;
    ~Stop() {
      gst_element_set_state(pipeline, GST_STATE_NULL);
      gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    }
  } stop{pipeline.get(), bus.get()};

  if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    Message error(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    return failed(error ? reasonOf(error.get()) : "cannot decode the file");
  }

  std::unique_ptr<ebur128_state, MeterFree> meter;
  GstCaps* caps = nullptr;  // of the samples measured now; held by the current sample's caps
  GstAudioInfo info;
  gst_audio_info_init(&info);
  int64_t frames = 0;  // at the current rate
  double seconds = 0;  // of sound measured before the current rate began
  uint32_t reportedMs = 0;
  uint32_t totalMs = 0;
  auto decodedSeconds = [&] { return seconds + (info.rate > 0 ? static_cast<double>(frames) / info.rate : 0.0); };
  auto length = [&] {
    gint64 end = 0;
    if (totalMs == 0 && gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &end) && end > 0)
      totalMs = static_cast<uint32_t>(end / GST_MSECOND);
    return totalMs;
  };

  Sample held;  // keeps `caps` alive
  for (;;) {
    if (cancel != nullptr && cancel->load() != 0) {
      LoudnessResult result;
      result.outcome = LoudnessResult::Outcome::Cancelled;
      result.durationMs = msOf(decodedSeconds());
      return result;
    }
    Sample sample(gst_app_sink_try_pull_sample(sink, 100 * GST_MSECOND));
    if (!sample) {
      if (gst_app_sink_is_eos(sink))
        break;
      // Nothing came for a while: an error, or a file without sound, stops
      // the stream; otherwise the decoder is still starting.
      if (Message message{gst_bus_pop_filtered(
              bus.get(), static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION))}) {
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_APPLICATION ||
            (streams.allPadsKnown.load() && !streams.audioLinked.load()))
          return failed(streams.soundUndecodable.load() ? "no decoder for the file's sound" : "no sound in the file");
        return failed(reasonOf(message.get()), decodedSeconds());
      }
      continue;
    }
    GstCaps* sampleCaps = gst_sample_get_caps(sample.get());
    if (sampleCaps != caps && (caps == nullptr || sampleCaps == nullptr || !gst_caps_is_equal(sampleCaps, caps))) {
      GstAudioInfo next;
      if (sampleCaps == nullptr || !gst_audio_info_from_caps(&next, sampleCaps) || next.rate <= 0 || next.channels <= 0)
        return failed("cannot decode the file", decodedSeconds());
      seconds = decodedSeconds();
      frames = 0;
      const auto channels = static_cast<unsigned>(next.channels);
      const auto rate = static_cast<unsigned long>(next.rate);
      if (!meter)
        meter.reset(ebur128_init(channels, rate, EBUR128_MODE_I));
      else if (ebur128_change_parameters(meter.get(), channels, rate) == EBUR128_ERROR_NOMEM)
        meter.reset();
      if (!meter || !mapChannels(meter.get(), next))
        return failed("out of memory", seconds);
      info = next;
    }
    caps = sampleCaps;
    held = std::move(sample);

    GstBuffer* buffer = gst_sample_get_buffer(held.get());
    if (buffer == nullptr)
      continue;
    const BufferMap map(buffer);
    if (!map.mapped())
      return failed("cannot decode the file", decodedSeconds());
    const size_t count = map.size() / static_cast<size_t>(GST_AUDIO_INFO_BPF(&info));
    if (count > 0 && ebur128_add_frames_float(meter.get(), map.data(), count) != EBUR128_SUCCESS)
      return failed("out of memory", decodedSeconds());
    frames += static_cast<int64_t>(count);

    const uint32_t doneMs = msOf(decodedSeconds());
    if (progress && doneMs >= reportedMs + 1000) {
      reportedMs = doneMs;
      progress(doneMs, length());
    }
  }

  LoudnessResult result;
  result.durationMs = msOf(decodedSeconds());
  if (!meter)
    return failed(streams.audioLinked.load() ? "no sound decoded from the file" : "no sound in the file");
  if (progress && result.durationMs != reportedMs)
    progress(result.durationMs, length() != 0 ? totalMs : result.durationMs);
  double lufs = -HUGE_VAL;
  if (ebur128_loudness_global(meter.get(), &lufs) != EBUR128_SUCCESS)
    return failed("cannot decode the file", decodedSeconds());
  if (!std::isfinite(lufs)) {
    result.outcome = LoudnessResult::Outcome::Silent;
    return result;
  }
  result.outcome = LoudnessResult::Outcome::Measured;
  result.lufs = lufs;
  return result;
}

}  // namespace plinka::platform
