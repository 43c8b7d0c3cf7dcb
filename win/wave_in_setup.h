// The system's wave-input service as the recorder's capture layer for the
// life of the object (code that sees <windows.h> cannot name it directly).
#pragma once

#include <memory>

class WaveInService;

class WaveInSetup {
 public:
  /// Makes the winmm service the one waveInOpen uses.
  WaveInSetup();
  /// Unsets it again.
  ~WaveInSetup();
  WaveInSetup(const WaveInSetup&) = delete;
  WaveInSetup& operator=(const WaveInSetup&) = delete;

 private:
  std::unique_ptr<WaveInService> service_;
};
