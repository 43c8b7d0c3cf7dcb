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
  /// The input recorded from: its name as given, "" for the default one.
  const std::string& Device() const { return device_; }
  /// Records from the input `device` names from now on (outside a take).
  void Choose(const std::string& device);

 private:
  std::unique_ptr<WaveInService> service_;
  std::string problem_;
  std::string device_;
};
