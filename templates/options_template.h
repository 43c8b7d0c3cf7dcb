// The Options dialog's template (103) for the Win32 window: caption, size and
// every control in template order (the tab order), positions in dialog
// units, texts in English with the Japanese beside them, and the texts the
// dialog puts in its controls at run time. The resource script repeats it,
// once per language, for the dialog manager. The Qt window's Options dialog
// lays itself out and shares only its texts' wording.
#pragma once

#include <array>

#include "templates/dialog_template.h"

inline constexpr int IDD_OPTIONS = 103;

inline constexpr int IDC_RULE_STILLNESS = 1030;
inline constexpr int IDC_RULE_LEVEL = 1031;
inline constexpr int IDC_THRESHOLD = 1032;
inline constexpr int IDC_AUTOMATIC = 1033;
inline constexpr int IDC_LEAD_IN = 1034;
inline constexpr int IDC_MIN_TRACK = 1035;
inline constexpr int IDC_STOP_AFTER = 1036;
inline constexpr int IDC_STOP_SECONDS = 1037;
inline constexpr int IDC_TRIM = 1038;
inline constexpr int IDC_INPUT = 1039;
inline constexpr int IDC_METER_LEFT = 1040;
inline constexpr int IDC_METER_RIGHT = 1041;
inline constexpr int IDC_CLIP_LIGHT = 1042;
inline constexpr int IDC_LEVEL_TEXT = 1043;
inline constexpr int IDC_FLOOR_TEXT = 1044;
inline constexpr int IDC_KEEP_LIST = 1045;
inline constexpr int IDC_OPTIONS_NOTE = 1046;

inline constexpr const char* kOptionsCaption = "Options";
inline constexpr const char* kOptionsCaptionJa = "オプション";
inline constexpr int kOptionsWidthDu = 270, kOptionsHeightDu = 250;

// clang-format off
inline constexpr std::array<ControlTemplate, 27> kOptionsTemplate = {{
  {IDC_STATIC,         K::GroupBox,    "Silence rule",                                                         7,   7, 256,  52},
  {IDC_RULE_STILLNESS, K::RadioButton, "&Stillness (the main window's sliders)",                             14,  19, 240,  10, A::Left, false, false, false, false, true},
  {IDC_RULE_LEVEL,     K::RadioButton, "&Level below",                                                        14,  32,  90,  10},
  {IDC_THRESHOLD,      K::Edit,        "",                                                                   108,  31,  40,  12, A::Left, false, false, false, false, true},
  {IDC_STATIC,         K::Text,        "dBFS",                                                               152,  33,  30,   8},
  {IDC_AUTOMATIC,      K::CheckBox,    "&Automatic (from the noise floor)",                                  108,  45, 150,  10, A::Left, false, false, false, false, true},
  {IDC_STATIC,         K::Text,        "Lead-&in:",                                                            7,  67, 100,   8},
  {IDC_LEAD_IN,        K::Edit,        "",                                                                   108,  65,  40,  12, A::Left, false, false, false, false, true},
  {IDC_STATIC,         K::Text,        "s",                                                                  152,  67,  20,   8},
  {IDC_STATIC,         K::Text,        "&Minimum track length:",                                               7,  83, 100,   8},
  {IDC_MIN_TRACK,      K::Edit,        "",                                                                   108,  81,  40,  12, A::Left, false, false, false, false, true},
  {IDC_STATIC,         K::Text,        "s",                                                                  152,  83,  20,   8},
  {IDC_STOP_AFTER,     K::CheckBox,    "Stop aft&er a silence of",                                             7,  98, 100,  10, A::Left, false, false, false, false, true},
  {IDC_STOP_SECONDS,   K::Edit,        "",                                                                   108,  97,  40,  12, A::Left, false, false, false, false, true},
  {IDC_STATIC,         K::Text,        "s",                                                                  152,  99,  20,   8},
  {IDC_TRIM,           K::CheckBox,    "Leave out silence before the first and after the last sound (&trim)",   7, 113, 256,  10, A::Left, false, false, false, false, true},
  {IDC_STATIC,         K::GroupBox,    "Input",                                                                7, 127, 256,  76},
  {IDC_INPUT,          K::ComboBox,    "",                                                                    14, 139, 242, 100, A::Left, false, false, false, false, true},
  {IDC_METER_LEFT,     K::Progress,    "",                                                                    14, 157, 196,   6},
  {IDC_METER_RIGHT,    K::Progress,    "",                                                                    14, 165, 196,   6},
  {IDC_CLIP_LIGHT,     K::Text,        "CLIP",                                                               216, 156,  40,  16, A::Center, true, true},
  {IDC_LEVEL_TEXT,     K::Text,        "",                                                                    14, 177, 242,   8},
  {IDC_FLOOR_TEXT,     K::Text,        "",                                                                    14, 189, 242,   8},
  {IDC_KEEP_LIST,      K::CheckBox,    "&Keep a CUE sheet and a label file beside the tracks",                7, 209, 256,  10, A::Left, false, false, false, false, true},
  {IDC_OPTIONS_NOTE,   K::Text,        "Settings apply from the next Record.",                                 7, 231, 140,   8},
  {IDOK,               K::PushButton,  "OK",                                                                 156, 228,  50,  14, A::Left, false, false, false, false, true},
  {IDCANCEL,           K::PushButton,  "Cancel",                                                             213, 228,  50,  14, A::Left, false, false, false, false, true},
}};
// clang-format on

// The controls' texts in Japanese, in template order.
inline constexpr std::array<const char*, 27> kOptionsTextsJa = {{
  "無音の判定", "静止 (メイン画面のスライダー)(&S)", "レベルがこれ未満(&L)", "", "dBFS",
  "自動 (ノイズフロアから)(&A)", "リードイン(&I):", "", "秒", "最短のトラック長(&M):", "", "秒",
  "無音が続いたら停止(&E)", "", "秒", "最初の音の前と最後の音の後の無音を残さない(トリム)(&T)", "入力", "", "",
  "", "クリップ", "", "", "トラックの横にCUEシートとラベルファイルを残す(&K)", "設定は次の録音から有効になります。",
  "OK", "キャンセル",
}};

/// The texts the Options dialog puts in its controls at run time.
enum class OptionsText { DefaultMark, DefaultInput, NoLevel, ReadOnly, Floor, Count };

/// Each run-time text in English and in Japanese, in OptionsText's order.
/// Floor: %1 the noise floor, %2 the threshold, in dBFS.
inline constexpr std::array<std::array<const char*, 2>, 5> kOptionsRunTimeTexts = {{
  {" (default)", " (既定)"},
  {"The default input", "既定の入力"},
  {"No sound from the input yet", "入力からまだ音が届いていません"},
  {"Read-only while recording.", "録音中は変更できません。"},
  {"Noise floor %1 dBFS: the automatic threshold would be %2 dBFS", "ノイズフロア %1 dBFS: 自動のしきい値は %2 dBFS になります"},
}};
