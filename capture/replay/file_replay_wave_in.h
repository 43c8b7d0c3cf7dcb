// The wave-input layer over a replayed input (capture/replay/replay_input.h): its
// frames, converted to 16-bit stereo, delivered through the queued buffers,
// either paced at the file's rate on a thread of its own (as a live input
// would), or as fast as the engine goes on the engine's own thread, whenever
// it asks (DeliverQueued), so that no buffer crosses threads. At the end of
// the file the last, partial buffer is completed and the device reports
// MM_WIM_ENDED with WIM_END_OF_INPUT. The input is read once, from its
// start, straight into the buffers.
#pragma once

#include <memory>
#include <string>

#include "capture/replay/replay_input.h"
#include "capture/wave_in.h"

class FileReplayWaveInService : public WaveInService {
 public:
  /// `input`: open (ReplayInput::Open), in a layout that is kept. `paced`:
  /// deliver at the input's own rate (as a live input would), on the
  /// device's thread. Otherwise nothing is delivered until DeliverQueued.
  FileReplayWaveInService(std::unique_ptr<ReplayInput> input, bool paced);
  ~FileReplayWaveInService() override;

  /// The input, for what it tells after the replay (frames read, a read error).
  const ReplayInput& Input() const { return *input_; }

  MMRESULT Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback, uintptr_t instance) override;
  void Release(HWAVEIN handle) override;

  /// Unpaced replay only, on the thread that handles the notices: once the
  /// device has started, fills every queued buffer with the next frames, in
  /// queue order, and returns each through the device's callback before
  /// returning; after the last frame of the file the device reports
  /// MM_WIM_ENDED. Returns how many buffers were delivered (0 when no device
  /// runs, nothing is queued, the replay is paced or the file has ended).
  size_t DeliverQueued();

  class Device;

 private:
  std::unique_ptr<ReplayInput> input_;
  bool paced_;
  bool opened_ = false;
  std::unique_ptr<Device> device_;
};
