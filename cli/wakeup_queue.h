// The terminal recorder's message queue: any thread may post; the main loop
// waits on a file descriptor that becomes readable when something is posted
// (or a signal handler pokes it), alongside standard input. The loop runs on
// the thread that made the queue and takes every waiting message before it
// waits again, so a message posted on that thread needs no wake-up.
#pragma once

#include <deque>
#include <mutex>
#include <thread>
#include <tuple>

#include "capture/message_window.h"

class WakeupQueue : public MessageWindow {
 public:
  using Message = std::tuple<uint32_t, uintptr_t, intptr_t>;

  WakeupQueue();
  ~WakeupQueue() override;
  WakeupQueue(const WakeupQueue&) = delete;
  WakeupQueue& operator=(const WakeupQueue&) = delete;

  /// Queues a message; from any thread but the owner's it also makes WaitFd readable.
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  /// Takes the oldest message; false when none is waiting.
  bool Take(Message& message);
#ifdef _WIN32
  /// An event set when a message was posted or Poke was called.
  void* WaitEvent() const { return event_; }
#else
  /// Readable when a message was posted or Poke was called.
  int WaitFd() const { return pipe_[0]; }
#endif
  /// Makes WaitFd readable; safe in a signal handler.
  void Poke() const;
  /// Empties the wake-up pipe.
  void Drain() const;

 private:
  const std::thread::id owner_ = std::this_thread::get_id();  // the thread whose loop takes the messages
  std::mutex mutex_;
  std::deque<Message> messages_;
#ifdef _WIN32
  void* event_ = nullptr;
#else
  int pipe_[2] = {-1, -1};
#endif
};
