#include "cli/wakeup_queue.h"

#include <fcntl.h>
#include <unistd.h>

WakeupQueue::WakeupQueue() {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
}

WakeupQueue::~WakeupQueue() {
  for (int fd : pipe_) {
    if (fd >= 0) close(fd);
  }
}

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

void WakeupQueue::Poke() const {
  const char byte = 1;
  (void)!write(pipe_[1], &byte, 1);  // a full pipe already wakes the loop
}

void WakeupQueue::Drain() const {
  char buffer[256];
  while (read(pipe_[0], buffer, sizeof buffer) > 0) {
  }
}
