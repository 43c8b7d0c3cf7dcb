#include "ui/options_dialog.h"

#include "ui/notice_event.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kContext = "OptionsDialog";
// The dialog's texts, in English; the translation files give them in Japanese.
constexpr const char* kTitle = QT_TRANSLATE_NOOP("OptionsDialog", "Options");
constexpr const char* kSeconds = QT_TRANSLATE_NOOP("OptionsDialog", " s");
constexpr const char* kRule = QT_TRANSLATE_NOOP("OptionsDialog", "Silence rule");
constexpr const char* kStillness = QT_TRANSLATE_NOOP("OptionsDialog", "&Stillness (the main window's sliders)");
constexpr const char* kLevel = QT_TRANSLATE_NOOP("OptionsDialog", "&Level below");
constexpr const char* kAutomatic = QT_TRANSLATE_NOOP("OptionsDialog", "&Automatic (from the noise floor)");
constexpr const char* kLeadIn = QT_TRANSLATE_NOOP("OptionsDialog", "Lead-&in:");
constexpr const char* kMinTrack = QT_TRANSLATE_NOOP("OptionsDialog", "&Minimum track length:");
constexpr const char* kStopAfter = QT_TRANSLATE_NOOP("OptionsDialog", "Stop aft&er a silence of");
constexpr const char* kTrim =
    QT_TRANSLATE_NOOP("OptionsDialog", "Leave out silence before the first and after the last sound (&trim)");
constexpr const char* kInput = QT_TRANSLATE_NOOP("OptionsDialog", "Input");
constexpr const char* kDefaultMark = QT_TRANSLATE_NOOP("OptionsDialog", " (default)");
constexpr const char* kDefaultInput = QT_TRANSLATE_NOOP("OptionsDialog", "The default input");
constexpr const char* kClip = QT_TRANSLATE_NOOP("OptionsDialog", "CLIP");
constexpr const char* kClipTip =
    QT_TRANSLATE_NOOP("OptionsDialog", "Lit since a sample reached full scale; click to put it out");
constexpr const char* kKeepList =
    QT_TRANSLATE_NOOP("OptionsDialog", "&Keep a CUE sheet and a label file beside the tracks");
constexpr const char* kReadOnly = QT_TRANSLATE_NOOP("OptionsDialog", "Read-only while recording.");
constexpr const char* kNextRecord = QT_TRANSLATE_NOOP("OptionsDialog", "Settings apply from the next Record.");
constexpr const char* kFloor =
    QT_TRANSLATE_NOOP("OptionsDialog", "Noise floor %1 dBFS: the automatic threshold would be %2 dBFS");
constexpr const char* kNoLevel = QT_TRANSLATE_NOOP("OptionsDialog", "No sound from the input yet");
QString T(const char* text) { return QCoreApplication::translate(kContext, text); }

// A spin box of seconds (or dBFS) from `low` to `high`, one decimal.
QDoubleSpinBox* Seconds(double low, double high, double value, const QString& suffix, QWidget* parent) {
  auto* box = new QDoubleSpinBox(parent);
  box->setRange(low, high);
  box->setDecimals(1);
  box->setSingleStep(0.5);
  box->setSuffix(suffix);
  box->setValue(value);
  return box;
}

// The bar's reach: -60 dBFS (empty) to 0 dBFS (full), in tenths of a dB.
constexpr int kBarFloorDb = -60;
int BarValue(int32_t magnitude) {
  if (magnitude <= 0) return kBarFloorDb * 10;
  const double db = 20 * std::log10(magnitude / 32768.0);
  return static_cast<int>(std::lround(std::clamp(db, double{kBarFloorDb}, 0.0) * 10));
}

}  // namespace

std::vector<const char*> OptionsDialogTexts() {
  return {kTitle,    kSeconds,   kRule,     kStillness,  kLevel,       kAutomatic,    kLeadIn,
          kMinTrack, kStopAfter, kTrim,     kInput,      kDefaultMark, kDefaultInput, kClip,
          kClipTip,  kKeepList,  kReadOnly, kNextRecord, kFloor, kNoLevel};
}

COptionsDlg::COptionsDlg(const RecordingChoices& choices, const std::vector<InputDevice>& inputs, LevelMeter& meter,
                         WaveInService* monitor, int rate, QWidget* parent)
    : QDialog(parent), meter_(meter), inputs_(inputs), readOnly_(monitor == nullptr) {
  const bool readOnly = readOnly_;
  setWindowTitle(T(kTitle));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  const QString seconds = T(kSeconds);

  // The silence rule.
  auto* rule = new QGroupBox(T(kRule), this);
  auto* ruleLayout = new QFormLayout(rule);
  stillness_ = new QRadioButton(T(kStillness), rule);
  level_ = new QRadioButton(T(kLevel), rule);
  threshold_ = Seconds(-120, 0, choices.split.thresholdDb, QStringLiteral(" dBFS"), rule);
  automatic_ = new QCheckBox(T(kAutomatic), rule);
  (choices.split.levelRule ? level_ : stillness_)->setChecked(true);
  automatic_->setChecked(choices.split.automaticThreshold);
  ruleLayout->addRow(stillness_);
  ruleLayout->addRow(level_, threshold_);
  ruleLayout->addRow(QString(), automatic_);
  layout->addWidget(rule);

  // What a split does around a silence, and the end of a side.
  auto* form = new QFormLayout;
  leadIn_ = Seconds(0, 10, choices.split.leadInSeconds, seconds, this);
  minTrack_ = Seconds(0, 3600, choices.split.minTrackSeconds, seconds, this);
  form->addRow(T(kLeadIn), leadIn_);
  form->addRow(T(kMinTrack), minTrack_);
  stopAfter_ = new QCheckBox(T(kStopAfter), this);
  stopAfter_->setChecked(choices.split.stopAfterSilenceSeconds > 0);
  stopSeconds_ = Seconds(
      0.5, 3600, choices.split.stopAfterSilenceSeconds > 0 ? choices.split.stopAfterSilenceSeconds : 10, seconds, this);
  form->addRow(stopAfter_, stopSeconds_);
  layout->addLayout(form);
  trim_ = new QCheckBox(T(kTrim), this);
  trim_->setChecked(choices.split.trim);
  layout->addWidget(trim_);

  // The input and its level.
  auto* inputBox = new QGroupBox(T(kInput), this);
  auto* inputLayout = new QVBoxLayout(inputBox);
  input_ = new QComboBox(inputBox);
  input_->setObjectName(QStringLiteral("input"));
  const QString defaultMark = T(kDefaultMark);
  input_->addItem(T(kDefaultInput), QString());
  for (const InputDevice& in : inputs_) {
    const QString text = QString::fromStdString(in.description.empty() ? in.name : in.description);
    input_->addItem(in.isDefault ? text + defaultMark : text, QString::fromStdString(in.name));
  }
  const int at = input_->findData(QString::fromStdString(choices.device));
  input_->setCurrentIndex(at < 0 ? 0 : at);
  inputLayout->addWidget(input_);
  auto* meterRow = new QHBoxLayout;
  auto* barsColumn = new QVBoxLayout;
  for (QProgressBar*& bar : bars_) {
    bar = new QProgressBar(inputBox);
    bar->setRange(kBarFloorDb * 10, 0);
    bar->setTextVisible(false);
    bar->setFixedHeight(fontMetrics().height() / 2 + 2);
    barsColumn->addWidget(bar);
  }
  meterRow->addLayout(barsColumn, 1);
  clip_ = new QPushButton(T(kClip), inputBox);
  clip_->setObjectName(QStringLiteral("clipLight"));
  clip_->setToolTip(T(kClipTip));
  clip_->setFocusPolicy(Qt::NoFocus);
  meterRow->addWidget(clip_);
  inputLayout->addLayout(meterRow);
  levelText_ = new QLabel(inputBox);
  levelText_->setObjectName(QStringLiteral("levelText"));
  inputLayout->addWidget(levelText_);
  floorText_ = new QLabel(inputBox);
  floorText_->setObjectName(QStringLiteral("floorText"));
  inputLayout->addWidget(floorText_);
  layout->addWidget(inputBox);

  keepList_ = new QCheckBox(T(kKeepList), this);
  keepList_->setChecked(choices.keepTrackList);
  layout->addWidget(keepList_);
  layout->addWidget(new QLabel(readOnly ? T(kReadOnly) : T(kNextRecord), this));
  auto* buttons =
      new QDialogButtonBox(readOnly ? QDialogButtonBox::Close : QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(level_, &QRadioButton::toggled, this, [this] { EnableRuleControls(); });
  connect(automatic_, &QCheckBox::toggled, this, [this] { EnableRuleControls(); });
  connect(stopAfter_, &QCheckBox::toggled, this, [this] { EnableRuleControls(); });
  connect(clip_, &QPushButton::clicked, this, [this] {
    meter_.ClearClipLight();
    ShowLevel();
  });
  for (QWidget* w : std::initializer_list<QWidget*>{stillness_, level_, automatic_, leadIn_, minTrack_, stopAfter_,
                                                    trim_, input_, keepList_}) {
    w->setEnabled(!readOnly);
  }
  EnableRuleControls();
  levelTimer_.setInterval(100);
  connect(&levelTimer_, &QTimer::timeout, this, [this] { ShowLevel(); });
  levelTimer_.start();
  if (monitor) {
    meter_.Reset(rate);
    floorRule_.Start(rate, true, SplitSettings{}.thresholdDb);
    std::string why;
    if (!monitor_.Start(*monitor, rate, this, why)) monitorProblem_ = QString::fromStdString(why);
  }
  ShowLevel();
}

bool COptionsDlg::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  QCoreApplication::postEvent(this, new NoticeEvent(message, wParam, lParam));
  return true;
}

bool COptionsDlg::event(QEvent* e) {
  if (e->type() != NoticeEvent::Kind()) return QDialog::event(e);
  const auto* notice = static_cast<NoticeEvent*>(e);
  if (notice->message == kMonitorNotice) {
    monitor_.Handle(notice->lParam, [this](const uint8_t* frames, uint32_t count) {
      meter_.Measure(frames, count);
      while (count > 0) {
        const uint32_t taken = floorRule_.Take(frames, count);
        frames += 4 * size_t{taken};
        count -= taken;
      }
    });
  }
  return true;
}

void COptionsDlg::EnableRuleControls() {
  threshold_->setEnabled(!readOnly_ && level_->isChecked() && !automatic_->isChecked());
  automatic_->setEnabled(!readOnly_ && level_->isChecked());
  stopSeconds_->setEnabled(!readOnly_ && stopAfter_->isChecked());
}

RecordingChoices COptionsDlg::Choices() const {
  RecordingChoices c;
  c.split.levelRule = level_->isChecked();
  c.split.automaticThreshold = automatic_->isChecked();
  c.split.thresholdDb = threshold_->value();
  c.split.leadInSeconds = leadIn_->value();
  c.split.minTrackSeconds = minTrack_->value();
  c.split.trim = trim_->isChecked();
  c.split.stopAfterSilenceSeconds = stopAfter_->isChecked() ? stopSeconds_->value() : 0;
  c.device = input_->currentData().toString().toStdString();
  c.keepTrackList = keepList_->isChecked();
  return c;
}

void COptionsDlg::ShowLevel() {
  const bool heard = meter_.HasFrames();
  for (int c = 0; c < 2; ++c) bars_[c]->setValue(heard ? BarValue(meter_.Read(c).peak) : bars_[c]->minimum());
  levelText_->setText(heard                        ? QString::fromStdString(meter_.Text())
                      : !monitorProblem_.isEmpty() ? monitorProblem_
                                                   : T(kNoLevel));
  // What the automatic threshold would find in what the dialog has heard.
  const bool floorKnown = monitor_.Running() && heard;
  auto decibels = [](double db) { return db > -150 ? QString::number(db, 'f', 1) : QStringLiteral("-inf"); };
  floorText_->setText(floorKnown ? T(kFloor).arg(decibels(floorRule_.FloorDb()), decibels(floorRule_.ThresholdDb()))
                                 : QString());
  floorText_->setVisible(floorKnown);
  const bool lit = meter_.ClipLight();
  clip_->setStyleSheet(lit ? QStringLiteral("background-color: #d01010; color: white; font-weight: bold;") : QString());
  clip_->setProperty("lit", lit);
}
