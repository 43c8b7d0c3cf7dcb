// The main window's template: caption, size and every control in template
// order (which is the tab order), positions in dialog units. Both windows are
// built from it: the Qt dialog (ui/) and the Win32 dialog (win/, whose
// resource script repeats it for the dialog manager); it needs no Qt. The texts are
// the Japanese originals; each one marked for translation is looked up in
// its template's context ("RecorderDialog", "AboutDialog") when the controls
// are made, so another language's file can replace it.
#pragma once

#include <array>

// Marks a text for Qt's translation tools and leaves it as it is; Qt's own
// definition, spelled here so that the Windows dialog can share the template
// without Qt.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_RECORDER_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
inline constexpr unsigned IDM_OPTIONS = 0x0020;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_MONITOR = 1001;
inline constexpr int IDC_DIAG = 1002;
inline constexpr int IDC_MPEG_SOURCE = 1003;
inline constexpr int IDC_RECORD = 1004;
inline constexpr int IDC_STOP = 1005;
inline constexpr int IDC_PLAY = 1006;
inline constexpr int IDC_RATE_32K = 1007;
inline constexpr int IDC_RATE_44K = 1008;
inline constexpr int IDC_FILE = 1009;
inline constexpr int IDC_RATE_48K = 1010;
inline constexpr int IDC_FOLDER = 1011;
inline constexpr int IDC_AUTO_TRACK = 1012;
inline constexpr int IDC_BROWSE = 1013;
inline constexpr int IDC_TRACK_MARK = 1014;
inline constexpr int IDC_SILENCE_LENGTH = 1015;
inline constexpr int IDC_SILENCE_LEVEL = 1016;
inline constexpr int IDC_STOP_TIMER = 1017;
inline constexpr int IDC_SILENT_LAMP = 1020;
inline constexpr int IDC_STATIC = -1;

enum class ControlKind { PushButton, CheckBox, RadioButton, Text, GroupBox, Trackbar, Icon, Edit, ComboBox, Progress };
enum class TextAlign { Left, Center, Right };

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units
  TextAlign align = TextAlign::Left;
  bool vCenter = false;     // text centred vertically
  bool sunken = false;      // sunken edge
  bool hidden = false;
  bool disabled = false;
  bool tabStop = false;
  bool ticks = false;       // trackbar with automatic ticks
};

inline constexpr const char* kRecorderContext = "RecorderDialog";  // translation context of template 102
inline constexpr const char* kRecorderCaption = QT_TRANSLATE_NOOP("RecorderDialog", "サウンドレコーダー for AudioPCI with MPEG input");
inline constexpr int kRecorderWidthDu = 245, kRecorderHeightDu = 191;

using K = ControlKind;
using A = TextAlign;

// clang-format off
inline constexpr std::array<ControlTemplate, 29> kRecorderTemplate = {{
  {IDCANCEL,          K::PushButton,  QT_TRANSLATE_NOOP("RecorderDialog", "終了(&X)"),                                 185, 170,  50, 14, A::Left,   false, false, false, false, true},
  {IDC_MONITOR,       K::CheckBox,    QT_TRANSLATE_NOOP("RecorderDialog", "MPEG入力をスルー(モニタ）する(&T)"),          7,  79, 119, 13, A::Left,   false, false, false, false, true},
  {IDC_DIAG,          K::Text,        "Static",                                                                        151,  61,  87, 11, A::Left,   false, true,  true},
  {IDC_MPEG_SOURCE,   K::CheckBox,    QT_TRANSLATE_NOOP("RecorderDialog", "MPEGを録音ソースにする(&I)"),                 7,  63, 109, 11, A::Left,   false, false, false, false, true},
  {IDC_RECORD,        K::PushButton,  QT_TRANSLATE_NOOP("RecorderDialog", "録音(&R)"),                                   7,  38,  31, 18, A::Left,   false, false, false, false, true},
  {IDC_STOP,          K::PushButton,  QT_TRANSLATE_NOOP("RecorderDialog", "停止(&S)"),                                  42,  38,  31, 18, A::Left,   false, false, false, false, true},
  {IDC_PLAY,          K::PushButton,  QT_TRANSLATE_NOOP("RecorderDialog", "再生(&P)"),                                  79,  38,  31, 18, A::Left,   false, false, false, true,  true},
  {IDC_RATE_32K,      K::RadioButton, QT_TRANSLATE_NOOP("RecorderDialog", "32kHz(&3)"),                                182, 138,  46,  8},
  {IDC_RATE_44K,      K::RadioButton, QT_TRANSLATE_NOOP("RecorderDialog", "44.1kHz(&4)"),                              182, 126,  48,  8},
  {IDC_RATE_48K,      K::RadioButton, QT_TRANSLATE_NOOP("RecorderDialog", "48kHz(&8)"),                                182, 114,  45,  8},
  {IDC_FILE,          K::Text,        "Static",                                                                         39,  23, 199, 12, A::Left,   true,  true},
  {IDC_FOLDER,        K::Text,        "Static",                                                                         39,   7, 168, 12, A::Left,   true,  true},
  {IDC_AUTO_TRACK,    K::CheckBox,    QT_TRANSLATE_NOOP("RecorderDialog", "自動トラックナンバリングを有効にする(&A)"),  15, 111, 138, 12, A::Left,   false, false, false, false, true},
  {IDC_BROWSE,        K::PushButton,  QT_TRANSLATE_NOOP("RecorderDialog", "参照(&D)..."),                              207,   7,  31, 12, A::Center, true,  false, false, false, true},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "フォルダ"),                                   7,   7,  27, 12, A::Left,   true},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "ファイル"),                                   7,  22,  29, 12, A::Left,   true},
  {IDC_TRACK_MARK,    K::PushButton,  QT_TRANSLATE_NOOP("RecorderDialog", "トラックマーク(&M)"),                       185,  37,  53, 17, A::Left,   false, false, false, false, true},
  {IDC_SILENCE_LENGTH, K::Trackbar,   "Slider1",                                                                        71, 125,  86, 11, A::Left,   false, false, false, false, true, true},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "0.1秒"),                                     68, 137,  20,  9, A::Center},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "10秒"),                                     143, 137,  20,  9, A::Center},
  {IDC_STATIC,        K::GroupBox,    QT_TRANSLATE_NOOP("RecorderDialog", "ファイルの属性"),                           176, 100,  61, 51},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "無音検出の長さ"),                            11, 129,  55, 12},
  {IDC_STATIC,        K::GroupBox,    QT_TRANSLATE_NOOP("RecorderDialog", "自動トラックナンバリング"),                   7, 100, 162, 84},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "無音検出のレベル"),                          11, 151,  55,  8},
  {IDC_SILENCE_LEVEL, K::Trackbar,    "Slider1",                                                                        71, 149,  86, 11, A::Left,   false, false, false, false, true, false},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "最小レベル\n(デジタル音源専用)"),            34, 161,  61, 17, A::Center},
  {IDC_STATIC,        K::Text,        QT_TRANSLATE_NOOP("RecorderDialog", "最大レベル\n(ほとんど使うことなし)"),        95, 161,  70, 17, A::Right},
  {IDC_SILENT_LAMP,   K::Text,        "",                                                                               13, 168,  18, 10, A::Center, false, true},
  {IDC_STOP_TIMER,    K::PushButton,  QT_TRANSLATE_NOOP("RecorderDialog", "STOPタイマー"),                             186,  78,  53, 17, A::Left,   false, false, true,  false, true},
}};
// clang-format on

inline constexpr const char* kAboutContext = "AboutDialog";  // translation context of template 100
inline constexpr const char* kAboutCaption = QT_TRANSLATE_NOOP("AboutDialog", "ﾊﾞｰｼﾞｮﾝ情報 Tapewell");
inline constexpr int kAboutWidthDu = 161, kAboutHeightDu = 55;

// clang-format off
inline constexpr std::array<ControlTemplate, 3> kAboutTemplate = {{
  {IDC_STATIC, K::Icon,       "",                                                                                        7, 7, 20, 20},
  {IDC_STATIC, K::Text,       QT_TRANSLATE_NOOP("AboutDialog", "Tapewell Version 1.0.4"),                               30, 7, 85,  8},
  {IDOK,       K::PushButton, QT_TRANSLATE_NOOP("AboutDialog", "OK"),                                                  119, 7, 32, 14, A::Left, false, false, false, false, true},
}};
// clang-format on
