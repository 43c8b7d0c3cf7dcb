// The window that capture notices are posted to. Posting must be safe from
// any thread: the notices come from the wave-input layer's own thread.
#pragma once

#include <atomic>
#include <cstdint>

/// The capture notices a window has been sent and has taken, counted so that
/// notices still queued when a capture ring is torn down are known as stale
/// (a window handles its posted messages in the order they were posted).
struct NoticeLedger {
  std::atomic<uint64_t> posted{0};  // counted by the capture device's thread before each post
  uint64_t taken = 0;               // the window's thread: notices taken off its queue
  uint64_t firstLive = 0;           // the window's thread: notices before this one are stale
};

class MessageWindow {
 public:
  virtual ~MessageWindow() = default;
  /// Queues a message for the window's own (user-interface) thread.
  virtual bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

  NoticeLedger notices;
};

using HWND = MessageWindow*;

/// Posts a message to `hwnd`; returns false when there is no window.
inline bool PostMessageA(HWND hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return hwnd && hwnd->Post(message, wParam, lParam);
}
