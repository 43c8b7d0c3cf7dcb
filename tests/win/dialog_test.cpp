// tapewell.exe under Wine, driven from another process as a user would:
// the caption, every control of template 102 where the template puts it (in
// the dialog units of the window's own font), the start-up state, Record -> a
// growing file -> Stop -> a completed file, the About box from the system
// menu, the Options dialog after it (its controls where template 103 puts
// them, read-only during a take, a clip light that latches on a full-scale
// sample and goes out when clicked, the long options' settings shown in it),
// and Exit. Screenshots of the windows go to the given folder.
// With --record it only records once with the options given (for the tests
// of the window's options and of a stop during a write stall), saying "stop"
// on standard output as it clicks Stop.
// Usage: dialog_test TAPEWELL.EXE WORK-FOLDER SCREENSHOT-FOLDER
//        dialog_test --record TAPEWELL.EXE WORK-FOLDER SECONDS [OPTION...]
#include "templates/dialog_template.h"  // first: <windows.h> defines IDOK and IDCANCEL as macros
#include "templates/options_template.h"

#include "recorder/string_table.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  if (!ok) ++g_failures;
}

std::wstring Wide(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), n);
  w.resize(static_cast<size_t>(n - 1));
  return w;
}

std::string Utf8(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

HWND WaitForWindow(const std::wstring& caption, DWORD process, int seconds) {
  for (int i = 0; i <= seconds * 10; ++i) {
    HWND found = nullptr;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", caption.c_str()); w;
         w = FindWindowExW(nullptr, w, L"#32770", caption.c_str())) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == process && IsWindowVisible(w)) found = w;
    }
    if (found) return found;
    if (i < seconds * 10) Sleep(100);
  }
  return nullptr;
}

// Writes what the screen shows of `window` as a 24-bit BMP file.
bool Screenshot(HWND window, const std::wstring& path) {
  SetForegroundWindow(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(700);
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  const int stride = (w * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<size_t>(stride) * h);
  GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return false;
  const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                       std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return std::fclose(out) == 0 && written;
}

void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (int64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// The dialog's base units: the ones at which its client area is `widthDu` x
// `heightDu` dialog units; 0 when none is.
void BaseUnits(HWND dialog, int widthDu, int heightDu, int& baseX, int& baseY) {
  RECT client{};
  GetClientRect(dialog, &client);
  baseX = baseY = 0;
  for (int b = 1; b < 64; ++b) {
    if (MulDiv(widthDu, b, 4) == client.right) baseX = b;
    if (MulDiv(heightDu, b, 8) == client.bottom) baseY = b;
  }
}

// Where control `c` belongs in pixels, and where `child` is, in its dialog's
// client area. The dialog manager converts the origin and the size each on its own.
RECT TemplateRect(const ControlTemplate& c, int baseX, int baseY) {
  const int left = MulDiv(c.x, baseX, 4), top = MulDiv(c.y, baseY, 8);
  return {left, top, left + MulDiv(c.width, baseX, 4), top + MulDiv(c.height, baseY, 8)};
}
RECT PlacedRect(HWND child, HWND dialog) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Waits until `predicate` holds, up to `seconds`.
template <typename P>
bool WaitFor(P predicate, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (predicate()) return true;
    Sleep(100);
  }
  return predicate();
}

// String `id` of the program's string table in `language`, read from the
// executable's resources as stored (one block of 16 counted strings).
std::string ResourceString(HMODULE module, int id, WORD language) {
  HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(6 /* RT_STRING */), MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!found) return "(no block)";
  const auto* p = static_cast<const WCHAR*>(LockResource(LoadResource(module, found)));
  for (int i = 0; i < id % 16; ++i) p += 1 + *p;
  return Utf8(std::wstring(p + 1, *p));
}

// Both languages of the executable's string table say what the recorder's
// own table says.
void CheckStringTables(const std::wstring& exe) {
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  Check(module != nullptr, "the executable's resources can be read");
  if (!module) return;
  for (int id = IDS_ABOUTBOX; id <= kLastTableString; ++id) {
    const std::string english = ResourceString(module, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    const std::string japanese = ResourceString(module, id, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    Check(english == LoadTableString(id, Language::English) && japanese == LoadTableString(id, Language::Japanese),
          "string " + std::to_string(id) + ": \"" + english + "\" / \"" + japanese + "\"");
  }
  FreeLibrary(module);
}

// The tooltip window of `process` that is showing, or null.
HWND VisibleTooltip(DWORD process) {
  for (HWND w = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); w;
       w = FindWindowExW(nullptr, w, L"tooltips_class32", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == process && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

// The disabled MPEG boxes tell why when the mouse rests on them: the table's
// text in the UI's language with the port, every line of it inside the tip.
void CheckReasonTip(HWND dialog, DWORD process, Language language, const std::wstring& shot) {
  RECT box{};
  GetWindowRect(GetDlgItem(dialog, IDC_MPEG_SOURCE), &box);
  SetForegroundWindow(dialog);
  SetCursorPos(box.left + 10, (box.top + box.bottom) / 2);
  HWND tip = nullptr;
  WaitFor([&] { return (tip = VisibleTooltip(process)) != nullptr; }, 5);
  Check(tip != nullptr, "resting the mouse on the disabled MPEG box shows a tooltip");
  if (!tip) return;
  const std::wstring text = TextOf(tip);
  const std::string want = FillTableString(LoadTableString(IDS_NO_PORT_ACCESS, language), "0xe000");
  Check(Utf8(text) == want, "the tooltip says why, in the UI's language: " + Utf8(text));
  // Each line's width and all lines' height fit the tip's window: nothing is
  // wrapped into a line it has no room for.
  RECT client{};
  GetClientRect(tip, &client);
  // Tooltips draw in the system's status-bar font.
  NONCLIENTMETRICSW nonClient{};
  nonClient.cbSize = sizeof nonClient;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof nonClient, &nonClient, 0);
  HFONT font = CreateFontIndirectW(&nonClient.lfStatusFont);
  HDC dc = GetDC(tip);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  int widest = 0, lines = 0;
  for (size_t start = 0; start <= text.size(); ++lines) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str() + start, static_cast<int>(end - start), &extent);
    widest = std::max<int>(widest, extent.cx);
    start = end + 1;
  }
  SelectObject(dc, old);
  ReleaseDC(tip, dc);
  DeleteObject(font);
  Check(widest < client.right && lines * metrics.tmHeight <= client.bottom,
        "the tooltip holds its whole text: " + std::to_string(lines) + " lines, " + std::to_string(widest) +
            " px wide, in " + std::to_string(client.right) + " x " + std::to_string(client.bottom) + " px");
  Screenshot(tip, shot);
  SetCursorPos(0, 0);
}

// Opens the system menu from the keyboard (Alt+Space) and chooses the item
// `up` presses above the first, that is, counted from the last.
void ChooseFromSystemMenu(HWND dialog, int up) {
  SetForegroundWindow(dialog);
  Sleep(300);
  PostMessageW(dialog, WM_SYSCOMMAND, SC_KEYMENU, VK_SPACE);
  Sleep(1000);
  Check(FindWindowW(L"#32768", nullptr) != nullptr, "Alt+Space opens the system menu");
  std::vector<WORD> keys(static_cast<size_t>(up), WORD{VK_UP});
  keys.push_back(VK_RETURN);
  for (WORD vk : keys) {
    PostMessageW(dialog, WM_KEYDOWN, vk, 1);
    PostMessageW(dialog, WM_KEYUP, vk, 0xC0000001);
    Sleep(300);
  }
}

std::wstring OptionsCaption(Language language) {
  return Wide(language == Language::Japanese ? kOptionsCaptionJa : kOptionsCaption);
}

// The Options dialog's controls where template 103 puts them, with their ids
// and texts in `language`; a drop-down list is as high as its closed box.
void CheckOptionsControls(HWND options, Language language) {
  int baseX = 0, baseY = 0;
  BaseUnits(options, kOptionsWidthDu, kOptionsHeightDu, baseX, baseY);
  Check(baseX > 0 && baseY > 0, "the Options dialog is 270 x 250 dialog units");
  HWND child = GetWindow(options, GW_CHILD);
  for (size_t i = 0; i < kOptionsTemplate.size(); ++i, child = GetWindow(child, GW_HWNDNEXT)) {
    const ControlTemplate& c = kOptionsTemplate[i];
    if (!child) {
      Check(false, "Options control " + std::to_string(i + 1) + " exists");
      return;
    }
    const RECT r = PlacedRect(child, options);
    RECT want = TemplateRect(c, baseX, baseY);
    if (c.kind == ControlKind::ComboBox) want.bottom = r.bottom;
    const int id = GetDlgCtrlID(child);
    const bool named = c.id == IDC_STATIC ? id == 0xFFFF || id == -1 : id == c.id;
    const std::string text = language == Language::Japanese ? kOptionsTextsJa[i] : c.text;
    const bool runTime = c.kind == ControlKind::Edit || c.kind == ControlKind::ComboBox ||
                         c.kind == ControlKind::Progress || c.id == IDC_LEVEL_TEXT || c.id == IDC_FLOOR_TEXT;
    const std::string shown = Utf8(TextOf(child));
    Check(std::memcmp(&r, &want, sizeof r) == 0 && named && (runTime || shown == text),
          "Options control " + std::to_string(i + 1) + " (id " + std::to_string(c.id) + ", \"" + text + "\") at " +
              std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
              std::to_string(r.bottom) + " px, id " + std::to_string(id) + ", text \"" + shown + "\"");
  }
  Check(child == nullptr, "the Options dialog holds exactly the template's controls");
  // The inputs: the default input first, then the service's, one marked.
  const LRESULT count = SendDlgItemMessageW(options, IDC_INPUT, CB_GETCOUNT, 0, 0);
  const std::wstring mark = Wide(kOptionsRunTimeTexts[0][language == Language::Japanese ? 1 : 0]);
  int marked = 0;
  for (LRESULT i = 1; i < count; ++i) {
    wchar_t item[512] = {};
    if (SendDlgItemMessageW(options, IDC_INPUT, CB_GETLBTEXTLEN, i, 0) >= 512) continue;
    SendDlgItemMessageW(options, IDC_INPUT, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    const std::wstring text = item;
    if (text.size() > mark.size() && text.compare(text.size() - mark.size(), mark.size(), mark) == 0) ++marked;
  }
  Check(count >= 2 && marked == 1, "the input list holds the default input and " + std::to_string(count - 1) +
                                       " inputs, " + std::to_string(marked) + " marked as the default");
}

// True when the clip light shows red: a pixel just inside its sunken edge.
bool ClipLit(HWND options) {
  RECT r{};
  GetWindowRect(GetDlgItem(options, IDC_CLIP_LIGHT), &r);
  HDC screen = GetDC(nullptr);
  const COLORREF pixel = GetPixel(screen, r.left + 3, r.top + 3);
  ReleaseDC(nullptr, screen);
  return GetRValue(pixel) > 0xb0 && GetGValue(pixel) < 0x40 && GetBValue(pixel) < 0x40;
}

// Plays stereo 16-bit frames at 44.1 kHz to the default output, whose
// monitor is the default input. Returns once they have been queued.
class Player {
 public:
  explicit Player(std::vector<int16_t> samples) : samples_(std::move(samples)) {
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
      device_ = nullptr;
      return;
    }
    header_.lpData = reinterpret_cast<LPSTR>(samples_.data());
    header_.dwBufferLength = static_cast<DWORD>(samples_.size() * 2);
    if (waveOutPrepareHeader(device_, &header_, sizeof header_) == MMSYSERR_NOERROR) {
      waveOutWrite(device_, &header_, sizeof header_);
    }
  }
  ~Player() {
    if (!device_) return;
    waveOutReset(device_);
    waveOutUnprepareHeader(device_, &header_, sizeof header_);
    waveOutClose(device_);
  }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  bool Playing() const { return device_ != nullptr; }

 private:
  std::vector<int16_t> samples_;
  HWAVEOUT device_ = nullptr;
  WAVEHDR header_{};
};

// Appends `seconds` of frames to `samples`, both channels `sample(i)` for frame i.
template <typename F>
void AddFrames(std::vector<int16_t>& samples, double seconds, F sample) {
  for (int i = 0; i < static_cast<int>(seconds * 44100); ++i) {
    const int16_t v = sample(i);
    samples.push_back(v);
    samples.push_back(v);
  }
}

// The clip light is out, lights at a full-scale sample and stays lit after
// it, and goes out when clicked.
void CheckClipLight(HWND options, const std::wstring& shot) {
  Check(!ClipLit(options), "the clip light is out before any full-scale sample");
  {
    // A second of a full-scale 100 Hz square wave.
    std::vector<int16_t> square;
    AddFrames(square, 1, [](int i) { return (i / 220) % 2 ? int16_t{-32768} : int16_t{32767}; });
    Player player(std::move(square));
    Check(player.Playing(), "a full-scale square wave plays to the default output");
    Check(WaitFor([&] { return ClipLit(options); }, 10), "a full-scale sample lights the clip light");
    Sleep(1500);
  }
  Sleep(2500);  // longer than the meter's own 2 s clip mark
  Check(ClipLit(options), "the clip light stays lit after the sound");
  Check(Screenshot(options, shot), "screenshot of the Options dialog");
  HWND light = GetDlgItem(options, IDC_CLIP_LIGHT);
  PostMessageW(light, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
  PostMessageW(light, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  Check(WaitFor([&] { return !ClipLit(options); }, 5), "a click puts the clip light out");
}

// Starts `exe arguments`; false (a failed check) when it cannot be started.
bool StartWindow(const std::wstring& exe, const std::wstring& arguments, PROCESS_INFORMATION& process) {
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  const bool started =
      CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  Check(started, "the window starts with " + Utf8(arguments));
  return started;
}

// OK checks the fields as the long options are checked: a lead-in of 20 s is
// said in a box and the dialog stays; good fields close it and apply from the
// next Record, whose track list is kept beside its first track.
void CheckOptionsOK(HWND dialog, HWND options, DWORD process, const std::wstring& prefix) {
  SendDlgItemMessageW(options, IDC_KEEP_LIST, BM_SETCHECK, BST_CHECKED, 0);
  SetDlgItemTextW(options, IDC_LEAD_IN, L"20");
  PostMessageW(options, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND box = WaitForWindow(L"Tapewell", process, 10);
  Check(box != nullptr && IsWindow(options), "OK with a lead-in of 20 s says why and keeps the dialog open");
  if (box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    WaitFor([&] { return !IsWindow(box); }, 10);
  }
  SetDlgItemTextW(options, IDC_LEAD_IN, L"0.5");
  PostMessageW(options, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  Check(WaitFor([&] { return !IsWindow(options); }, 10), "OK with good fields closes the Options dialog");

  Click(dialog, IDC_RECORD);
  std::wstring line;
  WaitFor([&] { return (line = TextOf(GetDlgItem(dialog, IDC_FILE))).rfind(prefix, 0) == 0; }, 10);
  Sleep(1500);
  Click(dialog, IDC_STOP);
  WaitFor([&] { return TextOf(GetDlgItem(dialog, IDC_FILE)).rfind(prefix, 0) != 0; }, 10);
  const std::wstring track = line.size() > prefix.size() ? line.substr(prefix.size()) : L"";
  const std::wstring cue = track.size() > 4 ? track.substr(0, track.size() - 4) + L".cue" : L"";
  std::string sheet;
  if (FILE* f = _wfopen(cue.c_str(), L"rb")) {
    char buffer[4096];
    sheet.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
    std::fclose(f);
  }
  Check(sheet.find("TRACK 01 AUDIO") != std::string::npos,
        "the next take keeps its CUE sheet beside its first track: " + Utf8(cue));
}

// The window started with the long options and -d shows them: the check box
// and slider of the main dialog, and every setting in the Options dialog.
void CheckStartOptions(const std::wstring& exe, const std::wstring& folder, Language language) {
  PROCESS_INFORMATION process{};
  if (!StartWindow(exe, L"-w" + folder +
                            L" --auto-track --length 15 --silence-below -35.5 --lead-in 1 --min-track 20 --trim"
                            L" --stop-after-silence 12 -d0",
                   process)) {
    return;
  }
  HWND dialog = WaitForWindow(Wide(kRecorderCaption), process.dwProcessId, 30);
  Check(dialog != nullptr, "the window opens with the long options, without a warning");
  if (dialog) {
    Check(SendDlgItemMessageW(dialog, IDC_AUTO_TRACK, BM_GETCHECK, 0, 0) == BST_CHECKED &&
              SendDlgItemMessageW(dialog, IDC_SILENCE_LENGTH, TBM_GETPOS, 0, 0) == 15,
          "--auto-track --length 15: the box is checked, the length trackbar stands at 15");
    PostMessageW(dialog, WM_SYSCOMMAND, IDM_OPTIONS, 0);
    HWND options = WaitForWindow(OptionsCaption(language), process.dwProcessId, 10);
    Check(options != nullptr, "the Options dialog opens");
    if (options) {
      auto checked = [&](int id) { return SendDlgItemMessageW(options, id, BM_GETCHECK, 0, 0) == BST_CHECKED; };
      auto text = [&](int id) { return Utf8(TextOf(GetDlgItem(options, id))); };
      Check(checked(IDC_RULE_LEVEL) && !checked(IDC_RULE_STILLNESS) && !checked(IDC_AUTOMATIC) &&
                text(IDC_THRESHOLD) == "-35.5",
            "--silence-below -35.5: the level rule at " + text(IDC_THRESHOLD) + " dBFS");
      Check(text(IDC_LEAD_IN) == "1.0" && text(IDC_MIN_TRACK) == "20.0" && checked(IDC_TRIM) &&
                checked(IDC_STOP_AFTER) && text(IDC_STOP_SECONDS) == "12.0",
            "--lead-in 1 --min-track 20 --trim --stop-after-silence 12: " + text(IDC_LEAD_IN) + ", " +
                text(IDC_MIN_TRACK) + ", trim, stop after " + text(IDC_STOP_SECONDS));
      Check(SendDlgItemMessageW(options, IDC_INPUT, CB_GETCURSEL, 0, 0) == 1,
            "-d0: the input list shows input 0, the item after the default input");
      PostMessageW(options, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      Check(WaitFor([&] { return !IsWindow(options); }, 10), "Cancel closes the Options dialog");
    }
    Click(dialog, IDCANCEL);
  }
  if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// A take with the level rule from the long options: the caption says the
// level heard, and a tone, two seconds of noise at about -50 dBFS and a tone
// again are two tracks. (The stillness
// rule, whatever its sliders, hears the noise move and keeps one track.)
void CheckLevelRuleTake(const std::wstring& exe, const std::wstring& folder) {
  const std::wstring takeFolder = folder + L"\\level-rule";
  CreateDirectoryW(takeFolder.c_str(), nullptr);
  PROCESS_INFORMATION process{};
  if (!StartWindow(exe, L"-w" + takeFolder + L" --auto-track --length 10 --silence-below -30 --trim", process)) return;
  HWND dialog = WaitForWindow(Wide(kRecorderCaption), process.dwProcessId, 30);
  if (dialog) {
    std::vector<int16_t> side;
    auto tone = [](int i) { return static_cast<int16_t>(16000 * std::sin(i * 2 * 3.14159265 * 440 / 44100)); };
    AddFrames(side, 1.5, tone);
    uint32_t seed = 1;
    AddFrames(side, 2, [&seed](int) {
      seed = seed * 1664525u + 1013904223u;
      return static_cast<int16_t>(static_cast<int>(seed >> 23) % 401 - 200);
    });
    AddFrames(side, 1.5, tone);
    Click(dialog, IDC_RECORD);
    const std::wstring prefix = Wide(LoadTableString(IDS_REC_PREFIX, Language::English).c_str());
    WaitFor([&] { return TextOf(GetDlgItem(dialog, IDC_FILE)).rfind(prefix, 0) == 0; }, 10);
    Sleep(300);
    {
      const ULONGLONG start = GetTickCount64();
      Player player(std::move(side));
      std::string caption;
      const bool saysLevel = WaitFor(
          [&] {
            caption = Utf8(TextOf(dialog));
            return caption.rfind("level ", 0) == 0 &&
                   caption.find(" dBFS (silence below -30.0) - " + std::string(kRecorderCaption)) != std::string::npos;
          },
          4);
      Check(saysLevel, "while recording with the level rule the caption says the level: " + caption);
      const ULONGLONG played = GetTickCount64() - start;
      if (played < 5800) Sleep(static_cast<DWORD>(5800 - played));
    }
    Click(dialog, IDC_STOP);
    Sleep(1000);
    Click(dialog, IDCANCEL);
  }
  Check(dialog && WaitForSingleObject(process.hProcess, 15000) == WAIT_OBJECT_0, "the level-rule take ends");
  int tracks = 0;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((takeFolder + L"\\*.wav").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do ++tracks;
    while (FindNextFileW(search, &found));
    FindClose(search);
  }
  Check(tracks == 2, "--silence-below -30: tone, noise, tone are " + std::to_string(tracks) + " tracks (2)");
  TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// The record mode, for the tests of the window's options: starts
// `exe -w<folder> options`, answers a warning box that comes before the
// window (printing "warning: " and its text), records for `seconds`, stops
// and exits. Returns the exit status of this program.
int RecordOnce(const std::wstring& exe, const std::wstring& folder, int seconds, const std::wstring& options) {
  std::wstring command = L"\"" + exe + L"\" -w" + folder + L" " + options;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "cannot start %ls (%lu)\n", exe.c_str(), GetLastError());
    return 1;
  }
  // The warning box comes before the window, if at all.
  HWND dialog = nullptr;
  for (int i = 0; i < 300 && !dialog; ++i) {
    if (HWND warning = WaitForWindow(L"Tapewell", process.dwProcessId, 0)) {
      for (HWND child = GetWindow(warning, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t kind[32] = {};
        GetClassNameW(child, kind, 32);
        if (std::wstring(kind) == L"Static" && !TextOf(child).empty()) {
          std::printf("warning: %s\n", Utf8(TextOf(child)).c_str());
        }
      }
      PostMessageW(warning, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      Sleep(500);
    }
    dialog = WaitForWindow(Wide(kRecorderCaption), process.dwProcessId, 0);
    if (!dialog) Sleep(100);
  }
  Check(dialog != nullptr, "the window opens");
  if (!dialog) {
    TerminateProcess(process.hProcess, 1);
    return 1;
  }
  Click(dialog, IDC_RATE_48K);
  Click(dialog, IDC_RECORD);
  Sleep(static_cast<DWORD>(seconds) * 1000);
  std::printf("stop\n");
  std::fflush(stdout);
  Click(dialog, IDC_STOP);
  Sleep(500);
  Click(dialog, IDCANCEL);
  const bool ended = WaitForSingleObject(process.hProcess, 15000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  Check(ended && code == 0, "Exit ends the program with status 0");
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return g_failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 5 && std::wstring(argv[1]) == L"--record") {
    std::wstring options;
    for (int i = 5; i < argc; ++i) options += std::wstring(i > 5 ? L" " : L"") + argv[i];
    return RecordOnce(argv[2], argv[3], _wtoi(argv[4]), options);
  }
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: dialog_test TAPEWELL.EXE WORK-FOLDER SCREENSHOT-FOLDER\n"
                 "       dialog_test --record TAPEWELL.EXE WORK-FOLDER SECONDS [OPTION...]\n");
    return 2;
  }
  const std::wstring exe = argv[1], folder = argv[2], shots = argv[3];
  // The window takes Windows' UI language, as this process does; the
  // screenshots of the Japanese UI get names of their own.
  const Language language = SystemLanguage();
  const std::wstring shotSuffix = language == Language::Japanese ? L"-ja" : L"";
  std::printf("UI language: %s\n", language == Language::Japanese ? "Japanese" : "English");
  CheckStringTables(exe);
  std::wstring command = L"\"" + exe + L"\" -w" + folder;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "cannot start %ls (%lu)\n", exe.c_str(), GetLastError());
    return 1;
  }
  const std::wstring caption = Wide(kRecorderCaption);
  HWND dialog = WaitForWindow(caption, process.dwProcessId, 30);
  Check(dialog != nullptr, "the window opens with the caption " + std::string(kRecorderCaption));
  if (!dialog) {
    TerminateProcess(process.hProcess, 1);
    return 1;
  }

  // Positions: the template's dialog units in the pixels of the window's own
  // font. The dialog's client size gives the horizontal and vertical base units.
  RECT client{};
  GetClientRect(dialog, &client);
  int baseX = 0, baseY = 0;
  BaseUnits(dialog, kRecorderWidthDu, kRecorderHeightDu, baseX, baseY);
  Check(baseX > 0 && baseY > 0, "the client area is 245 x 191 dialog units (" + std::to_string(client.right) + " x " +
                                   std::to_string(client.bottom) + " pixels)");
  HWND child = GetWindow(dialog, GW_CHILD);
  int index = 0;
  for (const ControlTemplate& c : kRecorderTemplate) {
    if (!child) {
      Check(false, "control " + std::to_string(index + 1) + " exists");
      break;
    }
    const RECT r = PlacedRect(child, dialog);
    const RECT want = TemplateRect(c, baseX, baseY);
    const int id = GetDlgCtrlID(child);
    const bool placed = std::memcmp(&r, &want, sizeof r) == 0;
    const bool named = c.id == IDC_STATIC ? id == 0xFFFF || id == -1 : id == c.id;
    std::string text = c.text;
    const std::string shown = Utf8(TextOf(child));
    const bool textOk = c.kind == ControlKind::Trackbar || c.kind == ControlKind::Icon ||
                        (c.id == IDC_FILE || c.id == IDC_FOLDER || c.id == IDC_DIAG) || shown == text;
    Check(placed && named && textOk,
          "control " + std::to_string(index + 1) + " (id " + std::to_string(c.id) + ", \"" + text + "\") at " +
              std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.width) + "x" +
              std::to_string(c.height) + " du: " + std::to_string(r.left) + "," + std::to_string(r.top) + "-" +
              std::to_string(r.right) + "," + std::to_string(r.bottom) + " px, id " + std::to_string(id) +
              (textOk ? "" : ", text \"" + shown + "\""));
    Check(static_cast<bool>(IsWindowVisible(child)) == !c.hidden &&
              static_cast<bool>(IsWindowEnabled(child)) == !(c.disabled || c.id == IDC_MONITOR || c.id == IDC_MPEG_SOURCE),
          "control " + std::to_string(index + 1) + " visible and enabled as the template says (MPEG boxes disabled)");
    child = GetWindow(child, GW_HWNDNEXT);
    ++index;
  }
  Check(child == nullptr, "the window holds exactly the template's 29 controls");

  // The start-up state.
  Check(SendDlgItemMessageW(dialog, IDC_RATE_44K, BM_GETCHECK, 0, 0) == BST_CHECKED, "44.1 kHz is checked");
  Check(SendDlgItemMessageW(dialog, IDC_SILENCE_LENGTH, TBM_GETPOS, 0, 0) == 1, "the length trackbar stands at 1");
  Check(SendDlgItemMessageW(dialog, IDC_SILENCE_LEVEL, TBM_GETPOS, 0, 0) == 7, "the level trackbar stands at 7");
  Check(SendDlgItemMessageW(dialog, IDC_SILENCE_LENGTH, TBM_GETRANGEMAX, 0, 0) == 100 &&
            SendDlgItemMessageW(dialog, IDC_SILENCE_LEVEL, TBM_GETRANGEMAX, 0, 0) == 15,
        "the trackbars' ranges end at 100 and 15");
  const std::wstring folderLine = TextOf(GetDlgItem(dialog, IDC_FOLDER));
  Check(folderLine == folder + L"\\", "the folder line shows the -w folder with a backslash: " + Utf8(folderLine));
  const std::wstring firstName = TextOf(GetDlgItem(dialog, IDC_FILE));
  Check(firstName.size() == 8 && firstName.substr(5) == L"001", "the file line shows today's first name: " +
                                                                     Utf8(firstName));
  const std::string diag = Utf8(TextOf(GetDlgItem(dialog, IDC_DIAG)));
  Check(diag.find("0xe000 - Windows gives programs no access to I/O port 0xe000") != std::string::npos,
        "the hidden diagnostic line tells why the card is out of reach: " + diag);
  Check(Screenshot(dialog, shots + L"\\window-windows" + shotSuffix + L".bmp"), "screenshot of the window");
  CheckReasonTip(dialog, process.dwProcessId, language, shots + L"\\tooltip-windows" + shotSuffix + L".bmp");

  // Record: the file line shows the prefix and the path, and the file grows.
  Click(dialog, IDC_RECORD);
  const std::wstring prefix = Wide(LoadTableString(IDS_REC_PREFIX, language).c_str());
  std::wstring line;
  WaitFor([&] { return (line = TextOf(GetDlgItem(dialog, IDC_FILE))).rfind(prefix, 0) == 0; }, 10);
  Check(line.rfind(prefix, 0) == 0, "Record: the file line shows the recording: " + Utf8(line));
  const std::wstring path = line.size() > prefix.size() ? line.substr(prefix.size()) : L"";
  Check(path == folder + L"\\" + firstName + L".wav", "it records into the folder's first free name");
  // The writer writes in blocks of 409,600 bytes (2.3 s at 44.1 kHz).
  int64_t before = -1, after = -1;
  WaitFor([&] { return (before = FileSize(path)) >= 44; }, 10);
  WaitFor([&] { return (after = FileSize(path)) > before; }, 8);
  Check(before >= 44 && after > before && after > 44, "the file grows while recording (" + std::to_string(before) + " -> " +
                                           std::to_string(after) + " bytes)");
  // During the take the Options dialog shows its settings read-only.
  PostMessageW(dialog, WM_SYSCOMMAND, IDM_OPTIONS, 0);
  if (HWND options = WaitForWindow(OptionsCaption(language), process.dwProcessId, 10)) {
    Check(!IsWindowEnabled(GetDlgItem(options, IDC_RULE_LEVEL)) && !IsWindowEnabled(GetDlgItem(options, IDC_LEAD_IN)) &&
              !IsWindowEnabled(GetDlgItem(options, IDOK)) && IsWindowEnabled(GetDlgItem(options, IDCANCEL)),
          "during a take the Options dialog is read-only");
    PostMessageW(options, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitFor([&] { return !IsWindow(options); }, 10);
  } else {
    Check(false, "the Options dialog opens during a take");
  }
  Click(dialog, IDC_STOP);
  WaitFor([&] { return TextOf(GetDlgItem(dialog, IDC_FILE)).rfind(prefix, 0) != 0; }, 10);
  const std::wstring next = TextOf(GetDlgItem(dialog, IDC_FILE));
  // The title bar tells the frames dropped, in the UI's language.
  const std::string title = Utf8(TextOf(dialog));
  const std::string captionUtf8 = kRecorderCaption;
  const size_t digitsAt = title.find_first_of("0123456789", captionUtf8.size());
  const uint64_t dropped = digitsAt == std::string::npos ? 0 : std::strtoull(title.c_str() + digitsAt, nullptr, 10);
  const bool captionOk =
      title == captionUtf8 + DroppedFramesSuffix(dropped, [&](int id) { return LoadTableString(id, language); });
  Check(captionOk, "Stop: the caption tells the frames dropped from the string table: " + title);
  Check(next.size() == 8 && next.substr(5) == L"002", "Stop: the file line shows the next free name: " + Utf8(next));
  // The completed file: its header states exactly the frames it holds.
  const int64_t size = FileSize(path);
  unsigned char header[44] = {};
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    if (std::fread(header, 1, 44, f) != 44) std::memset(header, 0, sizeof header);
    std::fclose(f);
  }
  uint32_t riff = 0, data = 0;
  std::memcpy(&riff, header + 4, 4);
  std::memcpy(&data, header + 40, 4);
  Check(size > 44 + 4 * 44100 && data == size - 44 && riff == size - 8 && data % 4 == 0,
        "Stop completes the file: " + std::to_string(size) + " bytes, header states " + std::to_string(data) +
            " data bytes");

  // The About box from the system menu, as a user opens it from the
  // keyboard: Alt+Space opens the menu; Up moves from its first item to the
  // last, the Options item, once more to the About item before it, and Enter
  // chooses it. (Its mnemonic A is taken twice under Wine, which adds an
  // "About Wine" item of its own.)
  ChooseFromSystemMenu(dialog, 2);
  HWND about = WaitForWindow(Wide(kAboutCaption), process.dwProcessId, 10);
  Check(about != nullptr, "the item before it opens the About box " + std::string(kAboutCaption));
  if (about) {
    RECT aboutClient{};
    GetClientRect(about, &aboutClient);
    Check(aboutClient.right == MulDiv(kAboutWidthDu, baseX, 4) && aboutClient.bottom == MulDiv(kAboutHeightDu, baseY, 8),
          "the About box is 161 x 55 dialog units");
    HWND version = GetWindow(GetWindow(about, GW_CHILD), GW_HWNDNEXT);
    Check(version && Utf8(TextOf(version)) == "Tapewell Version 1.0.4", "it says Tapewell Version 1.0.4");
    Check(!IsWindowEnabled(dialog), "the main window is disabled while the About box is open");
    Check(Screenshot(about, shots + L"\\about-windows" + shotSuffix + L".bmp"), "screenshot of the About box");
    PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Check(WaitFor([&] { return !IsWindow(about); }, 10), "OK closes the About box");
  }

  // The Options dialog, the system menu's last item.
  ChooseFromSystemMenu(dialog, 1);
  HWND options = WaitForWindow(OptionsCaption(language), process.dwProcessId, 10);
  Check(options != nullptr, "the system menu's last item opens the Options dialog " + Utf8(OptionsCaption(language)));
  if (options) {
    CheckOptionsControls(options, language);
    CheckClipLight(options, shots + L"\\options-windows" + shotSuffix + L".bmp");
    CheckOptionsOK(dialog, options, process.dwProcessId, prefix);
  }

  // Exit ends the program.
  Click(dialog, IDCANCEL);
  const bool ended = WaitForSingleObject(process.hProcess, 15000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  Check(ended && code == 0, "Exit ends the program with status 0");
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CheckStartOptions(exe, folder, language);
  if (language == Language::English) CheckLevelRuleTake(exe, folder);  // the same in any language
  std::printf("%d failure(s)\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
