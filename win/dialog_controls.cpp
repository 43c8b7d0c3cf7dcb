#include "win/dialog_controls.h"

#include <windows.h>
#include <commctrl.h>

#include "wavefile/utf8_file.h"

namespace dialogcontrols {

namespace {
HWND Dialog(void* dialog) { return static_cast<HWND>(dialog); }
}  // namespace

std::string GetText(void* dialog, int id) {
  HWND control = GetDlgItem(Dialog(dialog), id);
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return Utf8FromWide(text);
}

void SetText(void* dialog, int id, const std::string& text) {
  SetDlgItemTextW(Dialog(dialog), id, WideFromUtf8(text).c_str());
}

bool IsChecked(void* dialog, int id) { return IsDlgButtonChecked(Dialog(dialog), id) == BST_CHECKED; }

void SetChecked(void* dialog, int id, bool checked) {
  SendDlgItemMessageW(Dialog(dialog), id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int TrackbarPosition(void* dialog, int id) {
  return static_cast<int>(SendDlgItemMessageW(Dialog(dialog), id, TBM_GETPOS, 0, 0));
}

std::string LoadTableText(int id) {
  const wchar_t* text = nullptr;
  // With a zero length, LoadStringW hands out the resource's own text.
  const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return {};
  return Utf8FromWide(std::wstring(text, static_cast<size_t>(length)));
}

bool Post(void* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return PostMessageW(Dialog(dialog), message, wParam, lParam) != 0;
}

void SetCaption(void* dialog, const std::string& text) { SetWindowTextW(Dialog(dialog), WideFromUtf8(text).c_str()); }

}  // namespace dialogcontrols
