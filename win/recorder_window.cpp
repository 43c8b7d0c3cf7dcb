// tapewell.exe: the recorder's window on Windows, a modal dialog from
// template 102 with the About box (template 100) and the Options dialog
// (template 103) in its system menu.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/option_scan.h"
#include "app/window_options.h"
#include "cli/cli_text.h"
#include "wavefile/utf8_file.h"
#include "win/dialog_engine.h"
#include "win/options_window.h"
#include "win/resource.h"
#include "win/wave_in_setup.h"

namespace {

// The dialog's own state, owned by its window procedure's thread.
struct RecorderWindow {
  std::unique_ptr<DialogEngine> engine;
  HICON icon = nullptr;       // m_hIcon: icon 128, big and small
  HWND tooltips = nullptr;    // tells why the MPEG boxes are disabled
  std::string commandLine;    // the arguments after the program's name but the long options, joined with blanks
  WindowOptions options;      // the long options
  WaveInSetup* waveIn = nullptr;  // the input recorded from
};
RecorderWindow g_window;

std::wstring LoadTableWide(UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

// The arguments after the program's name, in UTF-8, as the system splits them.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(argv[i]));
    LocalFree(argv);
  }
  return args;
}

// What was wrong with the long options, in the UI's language, or "".
std::string OptionProblemText(const WindowOptionProblem& problem) {
  if (!problem.missingValue.empty()) return problem.missingValue + " needs a value";
  return SplitOptionErrorText(problem.error, problem.typed, SystemLanguage());
}

// A tooltip on a disabled control, which gets no mouse messages of its own:
// the tool is the control's rectangle in the dialog.
void AddReasonTip(HWND dialog, int id, const std::wstring& text) {
  if (!g_window.tooltips) {
    g_window.tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    if (!g_window.tooltips) return;
    // Lines break only where the text does: a width the tip computes for
    // wrapped lines can come out a letter short of the text drawn in it.
    SendMessageW(g_window.tooltips, TTM_SETMAXTIPWIDTH, 0, 2000);
  }
  RECT rect{};
  GetWindowRect(GetDlgItem(dialog, id), &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = dialog;
  tool.uId = static_cast<UINT_PTR>(id);
  tool.rect = rect;
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(g_window.tooltips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(g_window.tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

BOOL OnInitDialog(HWND dialog) {
  g_window.engine = DialogEngine::Create(dialog);
  // The About item at the end of the system menu, after a separator.
  if (HMENU menu = GetSystemMenu(dialog, FALSE)) {
    const std::wstring about = LoadTableWide(IDS_ABOUTBOX_ID);
    if (!about.empty()) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
    // Options after About.
    const std::wstring options = LoadTableWide(IDS_OPTIONS_ID);
    if (!options.empty()) AppendMenuW(menu, MF_STRING, IDM_OPTIONS, options.c_str());
  }
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_window.icon));
  SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_window.icon));

  SendDlgItemMessageW(dialog, IDC_SILENCE_LENGTH, TBM_SETPOS, TRUE, 1);
  SendDlgItemMessageW(dialog, IDC_SILENCE_LEVEL, TBM_SETPOS, TRUE, 7);
  std::string reason;
  if (!g_window.engine->InitRecorder(g_window.commandLine, reason)) {
    // Windows gives programs no I/O ports: the boxes stay unchecked and say why.
    for (int id : {IDC_MONITOR, IDC_MPEG_SOURCE}) {
      EnableWindow(GetDlgItem(dialog, id), FALSE);
      AddReasonTip(dialog, id, WideFromUtf8(reason));
    }
  }
  SendDlgItemMessageW(dialog, IDC_SILENCE_LENGTH, TBM_SETRANGE, TRUE, MAKELPARAM(1, 100));
  SendDlgItemMessageW(dialog, IDC_SILENCE_LEVEL, TBM_SETRANGE, TRUE, MAKELPARAM(0, 15));
  // The long options: the check box, the sliders and how every Record splits.
  SendDlgItemMessageW(dialog, IDC_SILENCE_LENGTH, TBM_SETPOS, TRUE, g_window.options.lengthPos);
  SendDlgItemMessageW(dialog, IDC_SILENCE_LEVEL, TBM_SETPOS, TRUE, g_window.options.levelPos);
  g_window.engine->SetStartOptions(g_window.options);
  SendDlgItemMessageW(dialog, IDC_RATE_44K, BM_SETCHECK, BST_CHECKED, 0);
  g_window.engine->ShowMembers();
  return TRUE;  // the focus goes to the first tab stop, Exit
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

void OnBrowse(HWND dialog) {
  const std::wstring initial = WideFromUtf8(g_window.engine->BeginBrowse());
  const std::wstring title = LoadTableWide(IDS_CHOOSE_FOLDER_ID);
  wchar_t buffer[1024] = {};
  BROWSEINFOW info{};
  info.hwndOwner = dialog;
  info.pszDisplayName = buffer;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(initial.c_str());
  std::optional<std::string> chosen;
  if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info)) {
    wchar_t path[MAX_PATH + 1] = {};
    if (SHGetPathFromIDListW(item, path)) chosen = Utf8FromWide(path);
    CoTaskMemFree(item);
  }
  g_window.engine->EndBrowse(chosen);
}

void OnPaint(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client{};
  GetClientRect(dialog, &client);
  const int x = (client.right - client.left - iconWidth + 1) / 2;
  const int y = (client.bottom - client.top - iconHeight + 1) / 2;
  DrawIcon(dc, x, y, g_window.icon);
  EndPaint(dialog, &paint);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

// The Options dialog: what it gives applies from the next Record.
void OnOptions(HWND dialog) {
  RecordingChoices choices = g_window.engine->Choices();
  choices.device = g_window.waveIn->Device();
  DialogEngine& engine = *g_window.engine;
  if (!RunOptionsDialog(dialog, engine.Meter(), engine.Recording(), engine.Rate(), choices)) return;
  engine.TakeChoices(choices);
  g_window.waveIn->Choose(choices.device);
}

void EndRecorderDialog(HWND dialog, INT_PTR result) {
  // Closing during a recording stops it first, so that nothing captured is
  // lost: the window closes once the stop has caught up.
  if (!g_window.engine->StopBeforeClose()) return;
  g_window.engine->CloseRecording();
  EndDialog(dialog, result);
}

INT_PTR CALLBACK RecorderProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_window.engine && DialogEngine::IsBufferNotice(message, wParam)) {
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, g_window.engine->OnBufferDone(wParam, lParam));
    return TRUE;
  }
  if (g_window.engine && message == DialogEngine::CaptureEndedMessage()) {
    g_window.engine->OnCaptureEnded(wParam);
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog);
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), dialog, AboutProc, 0);
        return TRUE;
      }
      if ((wParam & 0xFFF0) == IDM_OPTIONS) {
        OnOptions(dialog);
        return TRUE;
      }
      return FALSE;  // the system's own commands
    case WM_PAINT:
      if (!IsIconic(dialog)) return FALSE;
      OnPaint(dialog);
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(g_window.icon);
    case WM_COMMAND: {
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      std::string why;
      switch (LOWORD(wParam)) {
        case IDC_MONITOR:
        case IDC_MPEG_SOURCE:
          g_window.engine->WriteControlRegister(why);
          return TRUE;
        case IDC_RECORD: g_window.engine->OnRecord(); return TRUE;
        case IDC_BROWSE: OnBrowse(dialog); return TRUE;
        case IDC_STOP: g_window.engine->OnStop(); return TRUE;
        case IDC_TRACK_MARK: g_window.engine->OnTrackMark(); return TRUE;
        case IDC_RATE_32K: g_window.engine->OnRate32k(); return TRUE;
        case IDC_RATE_44K: g_window.engine->OnRate44k(); return TRUE;
        case IDC_RATE_48K: g_window.engine->OnRate48k(); return TRUE;
        case IDC_STOP_TIMER: return TRUE;
        case IDOK: EndRecorderDialog(dialog, IDOK); return TRUE;
        case IDCANCEL: EndRecorderDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
      }
    }
    case WM_CLOSE:
      EndRecorderDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The folder browser is a shell object: it needs COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  g_window.icon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  // The long options first, so that a value is never read as a short option;
  // one that cannot be taken is said, and the window opens without it.
  std::vector<std::string> args = Arguments();
  const WindowOptionProblem problem = TakeWindowOptions(args, g_window.options);
  if (problem.Any()) {
    MessageBoxW(nullptr, WideFromUtf8(OptionProblemText(problem)).c_str(), L"Tapewell", MB_OK | MB_ICONWARNING);
  }
  g_window.commandLine = JoinArguments(args);
  // The system's wave-input service for the whole run, from the input -d names.
  WaveInSetup waveIn(ScanDeviceOption(g_window.commandLine));
  g_window.waveIn = &waveIn;
  if (!waveIn.Problem().empty()) {
    MessageBoxW(nullptr, WideFromUtf8(waveIn.Problem()).c_str(), L"Tapewell", MB_OK | MB_ICONWARNING);
  }
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_RECORDER_DIALOG), nullptr, RecorderProc, 0);
  g_window.engine.reset();
  g_window.waveIn = nullptr;
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
