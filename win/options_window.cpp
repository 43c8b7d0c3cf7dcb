#include "win/options_window.h"

#include "templates/options_template.h"  // first: <windows.h> defines IDOK and IDCANCEL as macros

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_text.h"
#include "recorder/level_meter.h"
#include "recorder/string_table.h"
#include "wavefile/utf8_file.h"
#include "win/dialog_controls.h"
#include "win/options_engine.h"

namespace dc = dialogcontrols;

namespace {

constexpr UINT_PTR kLevelTimer = 1;
// The bars' reach: -60 dBFS (empty) to 0 dBFS (full), in tenths of a dB.
constexpr int kBarFloorDb = -60;
constexpr COLORREF kClipLit = RGB(0xd0, 0x10, 0x10);

// The dialog's own state, from WM_INITDIALOG to its end.
struct OptionsDialog {
  OptionsDialog(LevelMeter& m, bool take, int hz, RecordingChoices& edited)
      : meter(m), recording(take), rate(hz), choices(edited) {}
  OptionsDialog(const OptionsDialog&) = delete;
  OptionsDialog& operator=(const OptionsDialog&) = delete;
  ~OptionsDialog() { DeleteObject(litBrush); }

  LevelMeter& meter;
  bool recording;
  int rate;
  RecordingChoices& choices;
  Language language = SystemLanguage();
  std::unique_ptr<OptionsEngine> engine;
  std::vector<InputDevice> inputs;  // the combo box's items after its first, the default input
  HBRUSH litBrush = CreateSolidBrush(kClipLit);
  bool shownLit = false;
};

std::string Text(const OptionsDialog& d, OptionsText text) {
  return kOptionsRunTimeTexts[static_cast<size_t>(text)][d.language == Language::Japanese ? 1 : 0];
}

int BarValue(int32_t magnitude) {
  if (magnitude <= 0) return kBarFloorDb * 10;
  const double db = 20 * std::log10(magnitude / 32768.0);
  return static_cast<int>(std::lround(std::clamp(db, double{kBarFloorDb}, 0.0) * 10));
}

void EnableRuleControls(HWND dialog, const OptionsDialog& d) {
  const bool level = IsDlgButtonChecked(dialog, IDC_RULE_LEVEL) == BST_CHECKED;
  const bool automatic = IsDlgButtonChecked(dialog, IDC_AUTOMATIC) == BST_CHECKED;
  const bool stopAfter = IsDlgButtonChecked(dialog, IDC_STOP_AFTER) == BST_CHECKED;
  EnableWindow(GetDlgItem(dialog, IDC_THRESHOLD), !d.recording && level && !automatic);
  EnableWindow(GetDlgItem(dialog, IDC_AUTOMATIC), !d.recording && level);
  EnableWindow(GetDlgItem(dialog, IDC_STOP_SECONDS), !d.recording && stopAfter);
}

void ShowLevel(HWND dialog, OptionsDialog& d) {
  const bool heard = d.meter.HasFrames();
  const int bars[] = {IDC_METER_LEFT, IDC_METER_RIGHT};
  for (int c = 0; c < 2; ++c) {
    SendDlgItemMessageW(dialog, bars[c], PBM_SETPOS, heard ? BarValue(d.meter.Read(c).peak) : kBarFloorDb * 10, 0);
  }
  const std::string& problem = d.engine->MonitorProblem();
  dc::SetText(dialog, IDC_LEVEL_TEXT, heard ? d.meter.Text() : !problem.empty() ? problem : Text(d, OptionsText::NoLevel));
  // What the automatic threshold would find in what the dialog has heard.
  const bool floorKnown = d.engine->FloorKnown();
  dc::SetText(dialog, IDC_FLOOR_TEXT,
              floorKnown ? FillTableStrings(Text(d, OptionsText::Floor), {DecibelsText(d.engine->FloorDb()),
                                                                           DecibelsText(d.engine->ThresholdDb())})
                         : std::string());
  if (d.meter.ClipLight() != d.shownLit) {
    d.shownLit = d.meter.ClipLight();
    InvalidateRect(GetDlgItem(dialog, IDC_CLIP_LIGHT), nullptr, TRUE);
  }
}

BOOL OnInitDialog(HWND dialog, OptionsDialog& d) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&d));
  d.engine = OptionsEngine::Create(dialog, d.meter, !d.recording, d.rate);
  const SplitSettings& split = d.choices.split;
  CheckRadioButton(dialog, IDC_RULE_STILLNESS, IDC_RULE_LEVEL, split.levelRule ? IDC_RULE_LEVEL : IDC_RULE_STILLNESS);
  dc::SetText(dialog, IDC_THRESHOLD, FieldText(split.thresholdDb));
  dc::SetChecked(dialog, IDC_AUTOMATIC, split.automaticThreshold);
  dc::SetText(dialog, IDC_LEAD_IN, FieldText(split.leadInSeconds));
  dc::SetText(dialog, IDC_MIN_TRACK, FieldText(split.minTrackSeconds));
  dc::SetChecked(dialog, IDC_STOP_AFTER, split.stopAfterSilenceSeconds > 0);
  dc::SetText(dialog, IDC_STOP_SECONDS,
              FieldText(split.stopAfterSilenceSeconds > 0 ? split.stopAfterSilenceSeconds : 10));
  dc::SetChecked(dialog, IDC_TRIM, split.trim);
  dc::SetChecked(dialog, IDC_KEEP_LIST, d.choices.keepTrackList);

  // The inputs, the default one marked; the one chosen selected.
  HWND combo = GetDlgItem(dialog, IDC_INPUT);
  auto add = [&](const std::string& text) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
  };
  add(Text(d, OptionsText::DefaultInput));
  std::string why;
  d.inputs = d.engine->Inputs(why);
  for (const InputDevice& in : d.inputs) {
    const std::string text = in.description.empty() ? in.name : in.description;
    add(in.isDefault ? text + Text(d, OptionsText::DefaultMark) : text);
  }
  // -d may have named the input by its number or by its name.
  const InputDevice* chosen = d.choices.device.empty() ? nullptr : FindInput(d.inputs, d.choices.device);
  SendMessageW(combo, CB_SETCURSEL, chosen ? 1 + (chosen - d.inputs.data()) : 0, 0);

  for (int id : {IDC_METER_LEFT, IDC_METER_RIGHT}) {
    SendDlgItemMessageW(dialog, id, PBM_SETRANGE32, kBarFloorDb * 10, 0);
  }
  // During a take everything shows what the take uses and nothing changes.
  if (d.recording) {
    for (int id : {IDC_RULE_STILLNESS, IDC_RULE_LEVEL, IDC_LEAD_IN, IDC_MIN_TRACK, IDC_STOP_AFTER, IDC_TRIM, IDC_INPUT,
                   IDC_KEEP_LIST, IDOK}) {
      EnableWindow(GetDlgItem(dialog, id), FALSE);
    }
    dc::SetText(dialog, IDC_OPTIONS_NOTE, Text(d, OptionsText::ReadOnly));
  }
  EnableRuleControls(dialog, d);
  ShowLevel(dialog, d);
  SetTimer(dialog, kLevelTimer, 100, nullptr);
  return TRUE;
}

// OK: the fields through the long options' checks; a bad one says why and
// keeps the dialog open.
void OnOK(HWND dialog, OptionsDialog& d) {
  OptionsFields fields;
  fields.levelRule = IsDlgButtonChecked(dialog, IDC_RULE_LEVEL) == BST_CHECKED;
  fields.automatic = dc::IsChecked(dialog, IDC_AUTOMATIC);
  fields.threshold = dc::GetText(dialog, IDC_THRESHOLD);
  fields.leadIn = dc::GetText(dialog, IDC_LEAD_IN);
  fields.minTrack = dc::GetText(dialog, IDC_MIN_TRACK);
  fields.stopAfter = dc::IsChecked(dialog, IDC_STOP_AFTER);
  fields.stopSeconds = dc::GetText(dialog, IDC_STOP_SECONDS);
  fields.trim = dc::IsChecked(dialog, IDC_TRIM);
  fields.keepTrackList = dc::IsChecked(dialog, IDC_KEEP_LIST);
  const LRESULT selected = SendDlgItemMessageW(dialog, IDC_INPUT, CB_GETCURSEL, 0, 0);
  if (selected >= 1 && static_cast<size_t>(selected) <= d.inputs.size()) {
    fields.device = d.inputs[static_cast<size_t>(selected) - 1].name;
  }
  std::string typed;
  const SplitOptionError error = ReadChoices(fields, d.choices, typed);
  if (error != SplitOptionError::None) {
    const std::wstring text = WideFromUtf8(SplitOptionErrorText(error, typed, d.language));
    MessageBoxW(dialog, text.c_str(), L"Tapewell", MB_OK | MB_ICONWARNING);
    return;
  }
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK OptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog(dialog, *reinterpret_cast<OptionsDialog*>(lParam));
  auto* d = reinterpret_cast<OptionsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!d) return FALSE;
  if (OptionsEngine::IsMonitorNotice(message)) {
    d->engine->OnMonitorNotice(lParam);
    return TRUE;
  }
  switch (message) {
    case WM_TIMER:
      if (wParam == kLevelTimer) ShowLevel(dialog, *d);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      // The clip light: red while lit, as long as nobody has put it out.
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_CLIP_LIGHT) && d->shownLit) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, kClipLit);
        SetTextColor(dc, RGB(0xff, 0xff, 0xff));
        return reinterpret_cast<INT_PTR>(d->litBrush);
      }
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_RULE_STILLNESS:
        case IDC_RULE_LEVEL:
        case IDC_AUTOMATIC:
        case IDC_STOP_AFTER:
          EnableRuleControls(dialog, *d);
          return TRUE;
        case IDC_CLIP_LIGHT:
          if (HIWORD(wParam) == STN_CLICKED) {
            d->meter.ClearClipLight();
            ShowLevel(dialog, *d);
          }
          return TRUE;
        case IDOK:
          if (!d->recording) OnOK(dialog, *d);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      KillTimer(dialog, kLevelTimer);
      d->engine.reset();  // the input is let go before the dialog's window
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

bool RunOptionsDialog(void* owner, LevelMeter& meter, bool recording, int rate, RecordingChoices& choices) {
  RecordingChoices edited = choices;
  OptionsDialog d(meter, recording, rate, edited);
  const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OPTIONS),
                                         static_cast<HWND>(owner), OptionsProc, reinterpret_cast<LPARAM>(&d));
  if (result != IDOK || recording) return false;
  choices = edited;
  return true;
}
