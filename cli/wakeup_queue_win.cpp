// The terminal recorder's message queue on Windows: an event instead of a pipe.
#include "cli/wakeup_queue.h"

#include "cli/win_console.h"

WakeupQueue::WakeupQueue() : event_(winconsole::CreateWakeEvent()) {}

WakeupQueue::~WakeupQueue() { winconsole::CloseWakeEvent(event_); }

bool WakeupQueue::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.emplace_back(message, wParam, lParam);
  }
  Poke();
  return true;
}

bool WakeupQueue::Take(Message& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) return false;
  message = messages_.front();
  messages_.pop_front();
  return true;
}

void WakeupQueue::Poke() const { winconsole::SetWakeEvent(event_); }

// An auto-reset event empties itself when a wait returns.
void WakeupQueue::Drain() const {}
