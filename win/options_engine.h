// The recorder's side of the Win32 Options dialog, for its dialog procedure
// (which sees <windows.h> and so cannot include the capture layer's
// headers): the inputs to choose from, the input heard outside a take with
// its level meter and noise floor, and the settings read back from the
// dialog's texts through the same checks as the window's long options.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/window_options.h"
#include "capture/input_devices.h"
#include "recorder/split_options.h"

class LevelMeter;

/// The dialog's fields as typed, for ReadChoices.
struct OptionsFields {
  bool levelRule = false;
  bool automatic = false;
  std::string threshold, leadIn, minTrack;  // dBFS and seconds as typed
  bool stopAfter = false;
  std::string stopSeconds;
  bool trim = false;
  bool keepTrackList = false;
  std::string device;
};

/// The settings the fields give, checked as the long options are: None and
/// `choices` filled, or the first bad field's error with its text in `typed`
/// (`choices` then unchanged). An empty lead-in or minimum length is 0.
SplitOptionError ReadChoices(const OptionsFields& fields, RecordingChoices& choices, std::string& typed);

/// A number of seconds or dBFS as a field shows it: one decimal ("-40.0").
std::string FieldText(double value);

class OptionsEngine {
 public:
  /// The engine of the Options dialog `dialog` (its HWND). `meter` is the
  /// level shown; when `listen`, the dialog hears the current input itself at
  /// `rate` Hz while it is open (outside a take), posting kMonitorNotice to
  /// the dialog; otherwise the take feeds `meter`.
  static std::unique_ptr<OptionsEngine> Create(void* dialog, LevelMeter& meter, bool listen, int rate);
  virtual ~OptionsEngine() = default;

  /// The inputs the wave-input service lists (the default one marked), or
  /// none with the reason in `why`.
  virtual std::vector<InputDevice> Inputs(std::string& why) = 0;
  /// True for the monitor's notice of a filled buffer.
  static bool IsMonitorNotice(uint32_t message);
  /// Takes the monitor's notice: its frames go to the meter and the floor.
  virtual void OnMonitorNotice(intptr_t lParam) = 0;
  /// Why the input could not be heard, or "".
  virtual const std::string& MonitorProblem() const = 0;
  /// True when the monitor hears the input and has measured frames: the
  /// noise floor and the automatic threshold it would give are then known
  /// (dBFS, -inf below -150).
  virtual bool FloorKnown() const = 0;
  virtual double FloorDb() const = 0;
  virtual double ThresholdDb() const = 0;
};
