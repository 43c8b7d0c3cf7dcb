// The terminal recorder's message queue on Windows: an event instead of a pipe.
#include "cli/wakeup_queue.h"

#include "cli/win_console.h"

WakeupQueue::WakeupQueue() : event_(winconsole::CreateWakeEvent()) {}

WakeupQueue::~WakeupQueue() { winconsole::CloseWakeEvent(event_); }

void WakeupQueue::Poke() const { winconsole::SetWakeEvent(event_); }

// An auto-reset event empties itself when a wait returns.
void WakeupQueue::Drain() const {}
