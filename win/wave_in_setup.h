// The system's wave-input service as the recorder's capture layer for the
// life of the object (code that sees <windows.h> cannot name it directly).
#pragma once

#include <memory>
#include <string>

class WaveInService;

class WaveInSetup {
 public:
  /// Makes the winmm service the one waveInOpen uses, recording from the
  /// input `device` names (its number or its name, as tapewell-rec
  /// --list-devices prints them), or from the wave mapper's input when
  /// `device` is empty or names none.
  explicit WaveInSetup(const std::string& device);
  /// Unsets it again.
  ~WaveInSetup();
  WaveInSetup(const WaveInSetup&) = delete;
  WaveInSetup& operator=(const WaveInSetup&) = delete;

  /// Why the input asked for is not recorded from (no input of that name or
  /// number), or "" when it is, or when none was asked for.
  const std::string& Problem() const { return problem_; }

 private:
  std::unique_ptr<WaveInService> service_;
  std::string problem_;
};
