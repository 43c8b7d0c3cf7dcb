// The terminal recorder's output, written by a thread of its own so that a
// reader that stops taking it (Ctrl-S, a stalled ssh, a pipe nobody reads)
// never holds up the thread that handles the audio buffers. Event lines wait
// in a bounded queue; a line that finds the queue full is dropped and
// counted. The status (progress) line keeps only its newest text.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class OutputWriter {
 public:
  /// `lineFd`: where event lines go. `statusFd`: where the status line goes;
  /// `statusInPlace`: redraw it in place ("\r", erase to the end of the line;
  /// a terminal) instead of writing one plain line per text.
  /// `maxQueuedBytes`: how much may wait for a slow reader before lines drop.
  OutputWriter(int lineFd, int statusFd, bool statusInPlace, size_t maxQueuedBytes = kDefaultQueueBytes);
  /// Finish().
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  static constexpr size_t kDefaultQueueBytes = 256 * 1024;

  /// Queues `text` and a newline for lineFd; never waits for the reader.
  /// False when the queue was full and the line was dropped (and counted).
  bool Line(std::string text);
  /// Sets the status line's text; a text not yet written when the next one
  /// comes is never written. Never waits for the reader.
  void Status(std::string text);
  /// Takes the status line away (erased on a terminal).
  void ClearStatus();
  /// Writes everything queued, erases an in-place status line and ends the
  /// writing thread; this waits for the reader. Later lines are written
  /// directly.
  void Finish();
  /// Event lines dropped because the queue was full.
  uint64_t DroppedLines() const;

 private:
  void Run();
  bool WriteAll(int fd, const std::string& bytes);

  const int lineFd_;
  const int statusFd_;
  const bool statusInPlace_;
  const size_t maxQueuedBytes_;

  mutable std::mutex mutex_;  // guards everything below up to the thread
  std::condition_variable wake_;
  std::deque<std::string> lines_;  // queued by the recording thread, taken by the writer thread
  size_t queuedBytes_ = 0;
  std::string status_;             // the newest status text
  bool statusPending_ = false;     // status_ not written yet
  bool statusClear_ = false;       // erase the status line
  bool finishing_ = false;
  bool finished_ = false;  // the writer thread has ended
  uint64_t dropped_ = 0;

  bool statusShown_ = false;  // writer thread only: an in-place status line is on screen
  bool lineFdBroken_ = false;  // writer thread only: its reader went away
  bool statusFdBroken_ = false;
  std::thread thread_;
};
