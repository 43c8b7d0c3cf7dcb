// The wave-input layer over a WAV file: its frames, in any layout the reader
// opens, converted to 16-bit stereo and delivered through the queued buffers
// on a thread of its own, paced at the file's rate or as fast as buffers come
// back. At the end of the file the last, partial buffer is completed and the
// device reports MM_WIM_ENDED with WIM_END_OF_INPUT.
#pragma once

#include <memory>
#include <string>

#include "capture/wave_in.h"

class FileReplayWaveInService : public WaveInService {
 public:
  /// `paced`: deliver at the file's own rate (as a live input would).
  FileReplayWaveInService(std::string path, bool paced);
  ~FileReplayWaveInService() override;

  /// Checks that the file opens in the reader; on success gives its rate (Hz)
  /// and its length in frames. Returns a WaveResult.
  static int Inspect(const std::string& path, int32_t& rate, int64_t& frames);

  MMRESULT Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback, uintptr_t instance) override;
  void Release(HWAVEIN handle) override;

  class Device;

 private:
  std::string path_;
  bool paced_;
  std::unique_ptr<Device> device_;
};
