// The wave-input layer over a sound server (PulseAudio, or PipeWire through
// pipewire-pulse): one record stream, 16-bit stereo at the capture rate, from
// the server's default source or a named one.
//
// The server is asked for fragments of half a capture buffer (4,096 frames),
// so the client wakes about ten times a second. The stream's read callback
// runs on libpulse's loop thread and only copies into the queued buffers: no
// allocation, no lock of ours, no I/O. A hole in the stream becomes that much
// silence and is counted as dropped. Frames that arrive while no buffer is
// free go into the feed's slack (capture/capture_feed.h): the loop thread
// reads on whatever the writing side does, so a stalled disk loses nothing
// up to the slack, and the recording catches up afterwards. While the whole
// process is stopped the server keeps up to 25 s for us (as much as it
// allows; PulseAudio about 21.8 s at 48 kHz); what it had to drop beyond
// that is found against the clock each time the stream has been read
// empty, and counted. A delivery thread returns full buffers
// through the device callback and reports the device lost when the stream
// fails, the server goes away, or no frames come for 2 s (10 s before the
// first frames) while a buffer waits for them.
//
// Stop, Reset and Close never wait on the server: the stream is detached
// under the loop's lock (the server's answer is not awaited), after which the
// loop never touches a buffer again.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "capture/input_devices.h"
#include "capture/wave_in.h"

class PulseClient;

class PulseWaveInService : public WaveInService {
 public:
  /// `source`: the server's source to record, or empty for its default source.
  explicit PulseWaveInService(std::string source = {});
  ~PulseWaveInService() override;

  /// Connects to the sound server. False when no server answers within 2 s
  /// (the reason in LastError()).
  bool Connect();
  /// After a failed Connect: true when a server was reached but did not
  /// answer in time, false when none answered at all.
  bool ServerSlow() const { return slow_; }

  /// The server's inputs into `inputs`; false with the reason in LastError().
  bool ListInputs(std::vector<InputDevice>& inputs);

  MMRESULT Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback, uintptr_t instance) override;
  void Release(HWAVEIN handle) override;
  void MarkStop(std::chrono::steady_clock::time_point when) override;
  int64_t StopPoint() override;
  uint64_t FramesKept() const override;
  uint64_t FramesInRing() const override;
  bool TakeInputChange(std::string& input, int64_t& frame) override;
  std::string LastError() const override;

  /// Why a device of this service was lost; written on the server's thread or
  /// the delivery thread, read on the user-interface thread.
  enum class Loss : int { None, StreamFailed, NoFrames, NoFirstFrames };

  class Device;

 private:
  friend class Device;
  std::string source_;
  std::unique_ptr<PulseClient> client_;
  std::unique_ptr<Device> device_;  // destroyed before client_
  std::string lastError_;
  bool slow_ = false;
  std::atomic<Loss> loss_{Loss::None};
  std::atomic<int> lossError_{0};  // the server's error code with Loss::StreamFailed
};
