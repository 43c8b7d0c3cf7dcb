#include "win/options_engine.h"

#include <cstdio>

#include "capture/input_monitor.h"
#include "capture/live_input.h"
#include "recorder/level_meter.h"
#include "recorder/level_rule.h"
#include "win/dialog_controls.h"

namespace dc = dialogcontrols;

SplitOptionError ReadChoices(const OptionsFields& fields, RecordingChoices& choices, std::string& typed) {
  SplitOptionTexts texts;
  texts.leadIn = fields.leadIn.empty() ? "0" : fields.leadIn;
  texts.minTrack = fields.minTrack.empty() ? "0" : fields.minTrack;
  if (fields.stopAfter) texts.stopAfterSilence = fields.stopSeconds;
  if (fields.levelRule) texts.silenceBelow = fields.automatic ? "auto" : fields.threshold;
  // What the fields do not set starts from the defaults, not from before.
  SplitSettings split = choices.split;
  split.levelRule = split.automaticThreshold = false;
  split.stopAfterSilenceSeconds = 0;
  split.trim = fields.trim;
  int lengthPos = 1, levelPos = 7;  // the sliders are not the dialog's
  const SplitOptionError error = CheckSplitOptions(texts, {lengthPos, levelPos, split}, typed);
  if (error != SplitOptionError::None) return error;
  // An empty --stop-after-silence is a missing value, not "never".
  if (fields.stopAfter && fields.stopSeconds.empty()) {
    typed.clear();
    return SplitOptionError::BadStopAfterSilence;
  }
  choices.split = split;
  choices.keepTrackList = fields.keepTrackList;
  choices.device = fields.device;
  return SplitOptionError::None;
}

std::string FieldText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

namespace {

class Engine : public OptionsEngine, public MessageWindow {
 public:
  Engine(void* dialog, LevelMeter& meter, bool listen, int rate) : dialog_(dialog), meter_(meter) {
    if (!listen) return;
    WaveInService* service = GetWaveInService();
    meter_.Reset(rate);
    floorRule_.Start(rate, true, SplitSettings{}.thresholdDb);
    if (!service) {
      problem_ = "no wave-input service";
    } else if (!monitor_.Start(*service, rate, this, problem_)) {
      monitor_.Stop();
    }
  }

  std::vector<InputDevice> Inputs(std::string& why) override {
    std::vector<InputDevice> inputs;
    if (!ChooseLiveInput("").List(inputs, why)) inputs.clear();
    return inputs;
  }

  void OnMonitorNotice(intptr_t lParam) override {
    monitor_.Handle(lParam, [this](const uint8_t* frames, uint32_t count) {
      meter_.Measure(frames, count);
      while (count > 0) {
        const uint32_t taken = floorRule_.Take(frames, count);
        frames += 4 * size_t{taken};
        count -= taken;
      }
    });
  }

  const std::string& MonitorProblem() const override { return problem_; }
  bool FloorKnown() const override { return monitor_.Running() && meter_.HasFrames(); }
  double FloorDb() const override { return floorRule_.FloorDb(); }
  double ThresholdDb() const override { return floorRule_.ThresholdDb(); }

  // The monitor's notices go to the dialog's own message queue.
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    return dc::Post(dialog_, message, wParam, lParam);
  }

 private:
  void* dialog_;
  LevelMeter& meter_;
  InputMonitor monitor_;
  LevelRule floorRule_;  // the automatic threshold on what the monitor hears
  std::string problem_;
};

}  // namespace

std::unique_ptr<OptionsEngine> OptionsEngine::Create(void* dialog, LevelMeter& meter, bool listen, int rate) {
  return std::make_unique<Engine>(dialog, meter, listen, rate);
}

bool OptionsEngine::IsMonitorNotice(uint32_t message) { return message == kMonitorNotice; }
