// The wave-input layer over a WAV file: its frames, in any layout the reader
// opens, converted to 16-bit stereo and delivered through the queued buffers,
// either paced at the file's rate on a thread of its own (as a live input
// would), or as fast as the engine goes on the engine's own thread, whenever
// it asks (DeliverQueued), so that no buffer crosses threads. At the end of
// the file the last, partial buffer is completed and the device reports
// MM_WIM_ENDED with WIM_END_OF_INPUT. The data of a 16-bit stereo file are
// the frames themselves: they are read straight into the buffers, all the
// queued ones in one read; other layouts go through the WAV reader.
#pragma once

#include <memory>
#include <string>

#include "capture/wave_in.h"

class FileReplayWaveInService : public WaveInService {
 public:
  /// `paced`: deliver at the file's own rate (as a live input would), on the
  /// device's thread. Otherwise nothing is delivered until DeliverQueued.
  FileReplayWaveInService(std::string path, bool paced);
  ~FileReplayWaveInService() override;

  /// Checks that the file opens in the reader; on success gives its rate (Hz)
  /// and its length in frames. Returns a WaveResult.
  static int Inspect(const std::string& path, int32_t& rate, int64_t& frames);

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
  std::string path_;
  bool paced_;
  std::unique_ptr<Device> device_;
};
