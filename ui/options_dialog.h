// COptionsDlg: the Options dialog of the system menu. It shows and edits what
// the next Record uses (the silence rule, lead-in, minimum track length, trim,
// end of side, the input and the track list) and the input's live level with
// a peak hold and a clip light. It binds controls only: the settings are the
// engine's SplitSettings, the level is the engine's LevelMeter.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>
#include <vector>

#include "app/window_options.h"
#include "capture/input_devices.h"
#include "capture/input_monitor.h"
#include "capture/message_window.h"
#include "recorder/level_meter.h"
#include "recorder/level_rule.h"
#include "recorder/split_settings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

/// Every text the dialog shows, as written in English (translation context "OptionsDialog").
std::vector<const char*> OptionsDialogTexts();

class COptionsDlg : public QDialog, public MessageWindow {
 public:
  /// `choices`: the settings shown; `inputs`: the inputs to choose from (the
  /// default one marked); `meter`: the live level, read ten times a second
  /// (its clip light is put out by a click). `monitor`: outside a take, the
  /// service whose input the dialog listens to itself at `rate` Hz, feeding
  /// `meter`, while it is open; null during a take, when the take feeds the
  /// meter and nothing can be changed.
  COptionsDlg(const RecordingChoices& choices, const std::vector<InputDevice>& inputs, LevelMeter& meter,
              WaveInService* monitor, int rate, QWidget* parent = nullptr);

  // MessageWindow: the monitor's buffers, queued for this thread.
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  /// The settings as the controls show them.
  RecordingChoices Choices() const;
  /// Reads the meter into the level bars, their texts and the clip light.
  void ShowLevel();

 private:
  void EnableRuleControls();
  bool event(QEvent* e) override;

  LevelMeter& meter_;
  std::vector<InputDevice> inputs_;
  bool readOnly_;
  QRadioButton* stillness_;
  QRadioButton* level_;
  QDoubleSpinBox* threshold_;
  QCheckBox* automatic_;
  QDoubleSpinBox* leadIn_;
  QDoubleSpinBox* minTrack_;
  QCheckBox* trim_;
  QCheckBox* stopAfter_;
  QDoubleSpinBox* stopSeconds_;
  QComboBox* input_;
  QProgressBar* bars_[2];
  QLabel* levelText_;
  QPushButton* clip_;
  QCheckBox* keepList_;
  QTimer levelTimer_;
  InputMonitor monitor_;
  LevelRule floorRule_;  // the automatic threshold on what the monitor hears
  QLabel* floorText_;
  QString monitorProblem_;  // why the input could not be listened to
};
