#include "app/signal_close.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

std::atomic<int> g_writeEnd{-1};  // the pipe the handler writes to; -1 when none

void OnSignal(int) {
  const int saved = errno;
  const int fd = g_writeEnd.load();
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(fd, &byte, 1);  // a full pipe already holds a wake-up
  }
  errno = saved;
}

}  // namespace

SignalClose::SignalClose(std::function<void()> close, std::string& why) : close_(std::move(close)) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    why = std::string("cannot make a pipe for the signal handler: ") + std::strerror(errno) +
          " (Ctrl-C and SIGTERM end the program without completing a recording)";
    pipe_[0] = pipe_[1] = -1;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    char bytes[16];
    while (read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    close_();
  });
  g_writeEnd.store(pipe_[1]);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < 3; ++i) {
    sigaction(kSignals[i], nullptr, &saved_[i]);
    // Started to outlive its terminal (nohup): an ignored SIGHUP stays ignored.
    if (kSignals[i] == SIGHUP && saved_[i].sa_handler == SIG_IGN) continue;
    sigaction(kSignals[i], &action, nullptr);
  }
  active_ = true;
}

SignalClose::~SignalClose() {
  if (active_) {
    for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
  }
  g_writeEnd.store(-1);
  notifier_.reset();
  for (int fd : pipe_) {
    if (fd >= 0) ::close(fd);
  }
}
