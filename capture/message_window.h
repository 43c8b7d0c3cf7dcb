// The window that capture notices are posted to. Posting must be safe from
// any thread: the notices come from the wave-input layer's own thread.
#pragma once

#include <cstdint>

class MessageWindow {
 public:
  virtual ~MessageWindow() = default;
  /// Queues a message for the window's own (user-interface) thread.
  virtual bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

using HWND = MessageWindow*;

/// Posts a message to `hwnd`; returns false when there is no window.
inline bool PostMessageA(HWND hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return hwnd && hwnd->Post(message, wParam, lParam);
}
