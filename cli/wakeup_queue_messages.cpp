// The terminal recorder's message queue, what every platform shares: the
// messages themselves. The wake-up (a pipe, or an event on Windows) is in
// wakeup_queue.cpp and wakeup_queue_win.cpp.
#include "cli/wakeup_queue.h"

bool WakeupQueue::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.emplace_back(message, wParam, lParam);
  }
  if (std::this_thread::get_id() != owner_) Poke();
  return true;
}

bool WakeupQueue::Take(Message& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) return false;
  message = messages_.front();
  messages_.pop_front();
  return true;
}
