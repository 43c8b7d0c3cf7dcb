#include "cli/output_writer.h"

#include <cerrno>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {
constexpr const char* kEraseLine = "\r\033[K";
}

OutputWriter::OutputWriter(int lineFd, int statusFd, bool statusInPlace, size_t maxQueuedBytes)
    : lineFd_(lineFd), statusFd_(statusFd), statusInPlace_(statusInPlace), maxQueuedBytes_(maxQueuedBytes) {
  thread_ = std::thread([this] { Run(); });
}

OutputWriter::~OutputWriter() { Finish(); }

bool OutputWriter::Line(std::string text) {
  text += '\n';
  {
    std::lock_guard lock(mutex_);
    if (!finished_) {
      if (queuedBytes_ + text.size() > maxQueuedBytes_) {
        ++dropped_;
        return false;
      }
      queuedBytes_ += text.size();
      lines_.push_back(std::move(text));
      wake_.notify_one();
      return true;
    }
  }
  // After Finish nothing else writes any more: the line goes out directly.
  return WriteAll(lineFd_, text);
}

void OutputWriter::Status(std::string text) {
  std::lock_guard lock(mutex_);
  if (finishing_) return;
  status_ = std::move(text);
  statusPending_ = true;
  statusClear_ = false;
  wake_.notify_one();
}

void OutputWriter::ClearStatus() {
  std::lock_guard lock(mutex_);
  statusPending_ = false;
  statusClear_ = true;
  wake_.notify_one();
}

void OutputWriter::Finish() {
  {
    std::lock_guard lock(mutex_);
    if (finishing_) return;
    finishing_ = true;
    statusPending_ = false;
    statusClear_ = true;
    wake_.notify_one();
  }
  thread_.join();
  std::lock_guard lock(mutex_);
  finished_ = true;
}

uint64_t OutputWriter::DroppedLines() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

bool OutputWriter::WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
#ifdef _WIN32
    const int n = _write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
#else
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void OutputWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return !lines_.empty() || statusPending_ || statusClear_ || finishing_; });
    if (!lines_.empty()) {
      std::string line = std::move(lines_.front());
      lines_.pop_front();
      queuedBytes_ -= line.size();
      // A line on the terminal that shows the status line first erases it;
      // the status comes back with its next text.
      const bool erase = statusShown_ && statusInPlace_;
      lock.unlock();
      if (erase && !statusFdBroken_) statusFdBroken_ = !WriteAll(statusFd_, kEraseLine);
      statusShown_ = false;
      if (!lineFdBroken_) lineFdBroken_ = !WriteAll(lineFd_, line);
      lock.lock();
      continue;
    }
    if (statusClear_) {
      statusClear_ = false;
      const bool erase = statusShown_ && statusInPlace_;
      statusShown_ = false;
      if (erase && !statusFdBroken_) {
        lock.unlock();
        statusFdBroken_ = !WriteAll(statusFd_, kEraseLine);
        lock.lock();
      }
      continue;
    }
    if (statusPending_) {
      statusPending_ = false;
      const std::string text = statusInPlace_ ? kEraseLine + status_ : status_ + '\n';
      lock.unlock();
      if (!statusFdBroken_) statusFdBroken_ = !WriteAll(statusFd_, text);
      statusShown_ = statusInPlace_;
      lock.lock();
      continue;
    }
    if (finishing_) return;
  }
}
