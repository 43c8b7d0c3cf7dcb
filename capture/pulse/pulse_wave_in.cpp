#include "capture/pulse/pulse_wave_in.h"

#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "capture/capture_feed.h"
#include "capture/pulse/pulse_client.h"
#include "capture/stream_gap_counter.h"

namespace {
// Half a capture buffer per fragment: about ten wake-ups a second.
constexpr uint32_t kFragmentBytes = 4096 * 4;
// What the server may keep for us while this process does not run at all
// (SIGSTOP, a starved CPU): 25 s. PulseAudio keeps at most 4 MiB of a record
// stream (about 21.8 s of 48 kHz stereo), pipewire-pulse likewise. While the
// process runs, the loop thread reads on into the feed's slack, whatever the
// writing side does.
constexpr uint32_t kStreamSlackSeconds = 25;
// How long a stop waits for the server to say what it still holds for us
// (a server that answers does so within milliseconds; one that is frozen
// must not hold the stop up until the watchdog gives the device up).
constexpr auto kStopAnswerTimeout = std::chrono::milliseconds(300);
// How often the gap count asks the server what it holds for us.
constexpr auto kHeldAskInterval = std::chrono::milliseconds(250);
constexpr auto kSilentDeviceTimeout = std::chrono::seconds(2);
// A stream may take a while to deliver its first frames (a source waking
// from suspension); until then it is given longer.
constexpr auto kFirstFramesTimeout = std::chrono::seconds(10);
// The delivery thread looks at the watchdog this often when nothing arrives.
constexpr auto kWatchdogTick = std::chrono::milliseconds(250);
}  // namespace

class PulseWaveInService::Device : public WaveInDevice {
 public:
  Device(PulseWaveInService& service, WaveInProc callback, uintptr_t instance)
      : service_(service),
        client_(*service.client_),
        callback_(callback),
        instance_(instance),
        feed_(this, callback, instance, service.droppedFrames_),
        gaps_(48000) {}
  ~Device() override {
    DetachStream();
    feed_.StopDelivery();
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  /// Creates the record stream, corked, and waits (at most 2 s) until the
  /// server has set it up. Returns "" or the reason it failed.
  std::string OpenStream(const WAVEFORMATEX& format, const std::string& source) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, format.nSamplesPerSec, 2};
    gaps_ = StreamGapCounter(static_cast<int>(format.nSamplesPerSec));
    rate_ = format.nSamplesPerSec;
    PulseClient::Lock lock(client_);
    stream_ = pa_stream_new(client_.context(), "Tapewell recording", &spec, nullptr);
    if (!stream_) return "the sound server refused the stream: " + client_.ErrorText();
    pa_stream_set_state_callback(stream_, &Device::OnState, this);
    pa_stream_set_read_callback(stream_, &Device::OnRead, this);
    pa_stream_set_moved_callback(stream_, &Device::OnMoved, this);
    pa_buffer_attr attr{};
    attr.maxlength = kStreamSlackSeconds * format.nSamplesPerSec * 4;
    attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = kFragmentBytes;
    if (!feed_.ReserveSlack(format.nSamplesPerSec)) return "not enough memory for the recording's slack";
    // A named source is recorded or the recording ends; the default source
    // follows the server's default as it changes.
    const pa_stream_flags_t flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | (source.empty() ? 0 : PA_STREAM_DONT_MOVE));
    if (pa_stream_connect_record(stream_, source.empty() ? nullptr : source.c_str(), &attr, flags) < 0) {
      return "the sound server refused the stream: " + client_.ErrorText();
    }
    const bool settled = client_.WaitFor([this] {
      const pa_stream_state_t state = pa_stream_get_state(stream_);
      return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!settled) return "the sound server did not set up the recording stream within 2 s";
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
      if (pa_context_errno(client_.context()) == PA_ERR_NOENTITY) {
        return "the sound server has no input named '" + source + "'";
      }
      return "the sound server refused the stream: " + client_.ErrorText();
    }
    return {};
  }

  MMRESULT Prepare(WAVEHDR* header) override { return MarkPrepared(header); }
  MMRESULT Unprepare(WAVEHDR* header) override { return MarkUnprepared(header); }
  MMRESULT AddBuffer(WAVEHDR* header) override { return feed_.Add(header); }

  MMRESULT Start() override {
    if (feed_.Delivering()) return MMSYSERR_NOERROR;
    if (!stream_) return MMSYSERR_ERROR;  // stopped: a stream is not restarted
    feed_.StartDelivery(kWatchdogTick, [this](uint64_t seen, auto idle) { return Lost(seen, idle); });
    PulseClient::Lock lock(client_);
    // Sent at once; the server's answer is not awaited.
    pa_operation* uncork = pa_stream_cork(stream_, 0, nullptr, nullptr);
    if (!uncork) return MMSYSERR_ERROR;
    pa_operation_unref(uncork);
    return MMSYSERR_NOERROR;
  }
  MMRESULT Stop() override {
    DetachStream();
    feed_.StopDelivery();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    Stop();
    // The stream is gone and the delivery thread has ended: this thread owns
    // every buffer now.
    feed_.ReturnAll();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override {
    Stop();
    if (feed_.HoldsBuffers()) return WAVERR_STILLPLAYING;
    callback_(this, MM_WIM_CLOSE, instance_, 0, 0);
    return MMSYSERR_NOERROR;
  }

 private:
  // -- the loop thread (libpulse's callbacks, its lock held)
  static void OnState(pa_stream* stream, void* data) {
    auto* self = static_cast<Device*>(data);
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED) {
      self->service_.lossError_.store(pa_context_errno(pa_stream_get_context(stream)));
      self->failed_ = true;
      self->feed_.Wake();
    }
    self->client_.Signal();
  }

  static void OnRead(pa_stream* stream, size_t, void* data) {
    auto* self = static_cast<Device*>(data);
    for (;;) {
      const void* bytes = nullptr;
      size_t length = 0;
      if (pa_stream_peek(stream, &bytes, &length) < 0) return;  // a failing stream is the state callback's
      if (length == 0) {
        // Nothing more to read (an empty peek is not dropped).
        self->AskWhatIsHeld();
        return;
      }
      if (!bytes) {
        // A hole: that much audio never arrived. It is written as silence,
        // so the file keeps its timing, and counted as dropped.
        self->service_.droppedFrames_.fetch_add(length / 4, std::memory_order_relaxed);
      }
      // Every frame is taken at once: what finds no free buffer waits in
      // the feed's slack.
      self->received_ += length / 4;
      self->feed_.Pour(static_cast<const uint8_t*>(bytes), length);
      pa_stream_drop(stream);
      self->taken_[self->takenNext_] = {std::chrono::steady_clock::now(), self->received_};
      self->takenNext_ = (self->takenNext_ + 1) % kTakenRecords;
      self->takenCount_ = std::min(self->takenCount_ + 1, kTakenRecords);
    }
  }

 public:
  // -- the user-interface thread: where a take asked to end ends.
  //
  // "Captured before the stop" is what the server had delivered to us by the
  // stop's moment `when` (the stop may be marked a while after it was asked,
  // when the thread that tells was busy writing), found in the record of
  // the frames taken from the stream over the last seconds, and what the
  // server still held for us then: taken to be what it holds when it answers
  // the question asked here (a round trip of a few milliseconds; normally
  // less than a fragment). The frames still inside the source (a device's own
  // latency) reach the stream later and are left out. When the record does
  // not reach back to `when` (the whole process stood still), the frames
  // taken now are counted back to `when` by the clock. Until the answer
  // comes, and for good when the server does not answer within 300 ms,
  // the server's share is left out.
  void MarkStop(std::chrono::steady_clock::time_point when) {
    PulseClient::Lock lock(client_);
    if (!stream_ || stopMarked_) return;
    stopMarked_ = true;
    stopWhen_ = stopTaken_ = when;
    stopLocal_ = TakenBy(when);
    if (stopLocal_ < 0) {
      stopTaken_ = std::chrono::steady_clock::now();
      stopLocal_ = static_cast<int64_t>(received_);
    }
    timingAsked_ = pa_stream_update_timing_info(stream_, &Device::OnTiming, this);
  }

  int64_t StopPoint() {
    if (!stopMarked_) return kStopAtOnce;
    int64_t point = stopServer_.load();
    if (point < 0) {
      if (std::chrono::steady_clock::now() - stopTaken_ < kStopAnswerTimeout && timingAsked_) {
        return kStopPointPending;
      }
      point = CaptureFeed::FramesAt(stopLocal_, stopTaken_, stopWhen_, rate_);
    }
    return std::max<int64_t>(point - static_cast<int64_t>(feed_.FramesLost()), 0);
  }

  uint64_t FramesKept() const { return feed_.FramesSeen() - feed_.FramesLost(); }
  uint64_t FramesInRing() const { return FramesKept() - feed_.SlackFrames(); }

  bool TakeInputChange(std::string& input, int64_t& frame) {
    PulseClient::Lock lock(client_);
    if (!moved_) return false;
    moved_ = false;
    input = movedTo_;
    frame = movedAt_;
    return true;
  }

 private:
  // The loop thread: the server moved the stream to another source (the
  // default changed, or the source went away). Everything taken before came
  // from the old one.
  static void OnMoved(pa_stream* stream, void* data) {
    auto* self = static_cast<Device*>(data);
    const char* name = pa_stream_get_device_name(stream);
    std::snprintf(self->movedTo_, sizeof self->movedTo_, "%s", name ? name : "?");
    self->movedAt_ = static_cast<int64_t>(self->received_ - self->feed_.FramesLost());
    self->moved_ = true;
  }

  // Under the loop's lock: the frames taken from the stream by `when`, from
  // the record; -1 when the record does not reach back that far.
  int64_t TakenBy(std::chrono::steady_clock::time_point when) const {
    for (size_t i = 0; i < takenCount_; ++i) {
      const Taken& t = taken_[(takenNext_ + kTakenRecords - 1 - i) % kTakenRecords];
      if (t.at <= when) return static_cast<int64_t>(t.frames);
    }
    return -1;
  }

  // The loop thread: the server's answer to MarkStop's question.
  static void OnTiming(pa_stream* stream, int success, void* data) {
    auto* self = static_cast<Device*>(data);
    const pa_timing_info* timing = success ? pa_stream_get_timing_info(stream) : nullptr;
    int64_t held = 0;
    // What the server and libpulse hold for us: between the server's write
    // index and our read index. An answer that says less than nothing, or
    // more than the server can keep, tells nothing.
    if (timing && !timing->write_index_corrupt && !timing->read_index_corrupt) {
      const int64_t frames = (timing->write_index - timing->read_index) / 4;
      if (frames >= 0 && frames <= int64_t{kStreamSlackSeconds} * self->rate_) held = frames;
    }
    self->stopServer_.store(CaptureFeed::FramesAt(self->stopLocal_ + held, self->stopTaken_, self->stopWhen_, self->rate_));
  }

  // The loop thread: asks the server what it holds for us, at most one
  // question at a time and one every kHeldAskInterval, for the gap count.
  void AskWhatIsHeld() {
    const auto now = std::chrono::steady_clock::now();
    if (heldAsked_ || now - heldAskedAt_ < kHeldAskInterval) return;
    heldAsked_ = pa_stream_update_timing_info(stream_, &Device::OnHeld, this);
    heldAskedAt_ = now;
  }

  // The loop thread: the server's answer. Every frame it sent before it has
  // been taken by now (the connection keeps its order); with what it still
  // held, that is what it had for us at the moment it answered, however late
  // the answer is read here. A shortfall of that against the clock is a gap.
  static void OnHeld(pa_stream* stream, int success, void* data) {
    auto* self = static_cast<Device*>(data);
    pa_operation_unref(self->heldAsked_);
    self->heldAsked_ = nullptr;
    const pa_timing_info* timing = success ? pa_stream_get_timing_info(stream) : nullptr;
    if (!timing || timing->write_index_corrupt || timing->read_index_corrupt) return;
    const int64_t held = (timing->write_index - timing->read_index) / 4;
    if (held < 0 || held > int64_t{kStreamSlackSeconds} * self->rate_) return;  // tells nothing
    // When the server answered, by its clock: between the question and now.
    const auto now = std::chrono::steady_clock::now();
    const auto answered =
        std::clamp(now - std::chrono::microseconds(pa_timeval_age(&timing->timestamp)), self->heldAskedAt_, now);
    const uint64_t lost = self->gaps_.Told(answered, self->received_, static_cast<uint64_t>(held));
    if (lost > 0) self->service_.droppedFrames_.fetch_add(lost, std::memory_order_relaxed);
  }

  // -- the delivery thread: whether the stream failed or stopped delivering
  bool Lost(uint64_t seen, std::chrono::steady_clock::duration idle) {
    Loss loss = Loss::None;
    if (failed_) {
      loss = Loss::StreamFailed;
    } else if (seen == 0 && idle > kFirstFramesTimeout) {
      loss = Loss::NoFirstFrames;
    } else if (seen > 0 && idle > kSilentDeviceTimeout) {
      loss = Loss::NoFrames;
    }
    if (loss == Loss::None) return false;
    service_.loss_.store(loss);
    return true;
  }

  // Takes the stream away from the server's thread without waiting for the
  // server: after this, no callback of ours runs and no buffer is touched.
  void DetachStream() {
    if (!stream_) return;
    PulseClient::Lock lock(client_);
    for (pa_operation** asked : {&timingAsked_, &heldAsked_}) {
      if (!*asked) continue;
      pa_operation_cancel(*asked);
      pa_operation_unref(*asked);
      *asked = nullptr;
    }
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_moved_callback(stream_, nullptr, nullptr);
    if (pa_stream_get_state(stream_) == PA_STREAM_READY) pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }

  PulseWaveInService& service_;
  PulseClient& client_;
  WaveInProc callback_;
  uintptr_t instance_;
  pa_stream* stream_ = nullptr;     // user-interface thread, under the loop's lock
  CaptureFeed feed_;               // the queued buffers: poured into by the loop thread
  StreamGapCounter gaps_;          // loop thread (set up before the stream runs)
  uint64_t received_ = 0;          // loop thread: frames taken from the stream, holes included
  uint32_t rate_ = 0;
  // The record of the frames taken from the stream, one entry a read, the
  // last kTakenRecords of them (about 20 s): the loop thread, under its lock.
  struct Taken {
    std::chrono::steady_clock::time_point at;
    uint64_t frames;
  };
  static constexpr size_t kTakenRecords = 256;
  Taken taken_[kTakenRecords]{};
  size_t takenNext_ = 0, takenCount_ = 0;
  // The stop (MarkStop): asked and read on the user-interface thread, the
  // answer written on the loop thread.
  bool stopMarked_ = false;
  std::chrono::steady_clock::time_point stopWhen_{}, stopTaken_{};
  int64_t stopLocal_ = 0;            // frames taken from the stream by stopTaken_
  pa_operation* timingAsked_ = nullptr;  // under the loop's lock
  std::atomic<int64_t> stopServer_{-1};
  // The gap count's question to the server: the loop thread, under its lock.
  pa_operation* heldAsked_ = nullptr;
  std::chrono::steady_clock::time_point heldAskedAt_{};
  // The last move to another source, not yet taken: under the loop's lock.
  bool moved_ = false;
  char movedTo_[256] = {};
  int64_t movedAt_ = 0;
  std::atomic<bool> failed_{false};
};

PulseWaveInService::PulseWaveInService(std::string source) : source_(std::move(source)) {}

PulseWaveInService::~PulseWaveInService() {
  device_.reset();
  client_.reset();
}

bool PulseWaveInService::Connect() {
  device_.reset();
  client_ = std::make_unique<PulseClient>();
  std::string why;
  if (!client_->Connect(why)) {
    lastError_ = "cannot reach the sound server: " + why;
    slow_ = client_->ServerSlow();
    client_.reset();
    return false;
  }
  return true;
}

bool PulseWaveInService::ListInputs(std::vector<InputDevice>& inputs) {
  if (!client_ || !client_->Ready()) {
    if (device_) {
      lastError_ = "the sound server went away during the recording";
      return false;
    }
    if (!Connect()) return false;
  }
  std::string why;
  if (!client_->ListSources(inputs, why)) {
    lastError_ = "cannot list the sound server's inputs: " + why;
    return false;
  }
  return true;
}

MMRESULT PulseWaveInService::Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                                  uintptr_t instance) {
  if (device_) {
    lastError_ = "the audio input is already open";
    return MMSYSERR_ERROR;
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 2 || format.wBitsPerSample != 16) {
    lastError_ = "only 16-bit stereo PCM is captured";
    return MMSYSERR_INVALPARAM;
  }
  // A server that went away since the last recording is reached anew.
  if ((!client_ || !client_->Ready()) && !Connect()) return MMSYSERR_BADDEVICEID;
  droppedFrames_ = 0;
  loss_ = Loss::None;
  lossError_ = 0;
  lastError_.clear();
  auto device = std::make_unique<Device>(*this, callback, instance);
  const std::string why = device->OpenStream(format, source_);
  if (!why.empty()) {
    lastError_ = why;
    return MMSYSERR_BADDEVICEID;
  }
  device_ = std::move(device);
  *handle = device_.get();
  callback(*handle, MM_WIM_OPEN, instance, 0, 0);
  return MMSYSERR_NOERROR;
}

void PulseWaveInService::MarkStop(std::chrono::steady_clock::time_point when) {
  if (device_) device_->MarkStop(when);
}

int64_t PulseWaveInService::StopPoint() { return device_ ? device_->StopPoint() : kStopAtOnce; }

uint64_t PulseWaveInService::FramesKept() const { return device_ ? device_->FramesKept() : 0; }

uint64_t PulseWaveInService::FramesInRing() const { return device_ ? device_->FramesInRing() : 0; }

bool PulseWaveInService::TakeInputChange(std::string& input, int64_t& frame) {
  return device_ && device_->TakeInputChange(input, frame);
}

void PulseWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}

std::string PulseWaveInService::LastError() const {
  switch (loss_.load()) {
    case Loss::StreamFailed:
      return std::string("the sound server ended the recording stream: ") + pa_strerror(lossError_.load());
    case Loss::NoFrames: return "the input delivered no frames for 2 s (is its source suspended or stalled?)";
    case Loss::NoFirstFrames: return "the input delivered no frames within 10 s of the start";
    case Loss::None: break;
  }
  return lastError_;
}
