// The dialog's controls for code that cannot include <windows.h> (the
// recorder's own headers re-create names that it declares). `dialog` is the
// dialog's window handle; texts are UTF-8 and go through the Unicode API.
#pragma once

#include <cstdint>
#include <string>

namespace dialogcontrols {

/// The text of control `id` (GetDlgItemTextW).
std::string GetText(void* dialog, int id);
/// Sets the text of control `id` (SetDlgItemTextW).
void SetText(void* dialog, int id, const std::string& text);
/// Whether check box `id` is checked.
bool IsChecked(void* dialog, int id);
/// Checks or clears check box `id` (BM_SETCHECK).
void SetChecked(void* dialog, int id, bool checked);
/// The position of trackbar `id` (TBM_GETPOS).
int TrackbarPosition(void* dialog, int id);
/// String `id` of the program's string table in the user's language (LoadStringW).
std::string LoadTableText(int id);
/// Posts a message to the dialog's window (PostMessageW); false when it cannot.
bool Post(void* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
/// Sets the window's caption.
void SetCaption(void* dialog, const std::string& text);

}  // namespace dialogcontrols
