// The terminal recorder's message queue on POSIX systems: a pipe wakes the loop.
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

void WakeupQueue::Poke() const {
  const char byte = 1;
  (void)!write(pipe_[1], &byte, 1);  // a full pipe already wakes the loop
}

void WakeupQueue::Drain() const {
  char buffer[256];
  while (read(pipe_[0], buffer, sizeof buffer) > 0) {
  }
}
