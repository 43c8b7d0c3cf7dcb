// The terminal recorder's output thread: a reader that takes nothing never
// holds up the caller; lines that find the queue full are dropped and
// counted; the others arrive whole and in order; the status line keeps only
// its newest text and is erased before a line on a terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "cli/output_writer.h"

namespace {

// Everything a pipe's reading end delivers until the writers close it.
std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// The next `count` bytes from `fd`.
std::string ReadExactly(int fd, size_t count) {
  std::string text(count, '\0');
  size_t done = 0;
  for (ssize_t n; done < count && (n = read(fd, text.data() + done, count - done)) > 0;) done += static_cast<size_t>(n);
  text.resize(done);
  return text;
}

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }
  void CloseWrite() {
    close(fds[1]);
    fds[1] = -1;
  }
  int fds[2] = {-1, -1};
};

}  // namespace

TEST(OutputWriterTest, AReaderThatTakesNothingNeverHoldsUpTheCaller) {
  Pipe lines, status;
  OutputWriter output(lines.fds[1], status.fds[1], false, 64 * 1024);
  const std::string text(99, 'x');  // a line: six digits, 99 x and a newline
  // Far more than the pipe and the queue hold together; each call must come back.
  auto writing = std::async(std::launch::async, [&] {
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
      accepted += output.Line(std::to_string(100000 + i) + text) ? 1 : 0;
      output.Status("status " + std::to_string(i));
    }
    return accepted;
  });
  ASSERT_EQ(writing.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the caller waited for the reader";
  const int accepted = writing.get();
  EXPECT_EQ(output.DroppedLines(), uint64_t(20000 - accepted));
  EXPECT_GT(output.DroppedLines(), 0u);
  EXPECT_LT(accepted, 2000) << "the queue is bounded";

  // The reader comes back: every accepted line arrives whole, in order.
  auto reading = std::async(std::launch::async, [&] { return ReadAll(lines.fds[0]); });
  auto readingStatus = std::async(std::launch::async, [&] { return ReadAll(status.fds[0]); });
  output.Finish();
  lines.CloseWrite();
  status.CloseWrite();
  const std::string got = reading.get();
  ASSERT_EQ(got.size(), size_t(accepted) * 106);
  // The first line is kept; the others follow in order, whole (a dropped line leaves a gap).
  int previous = 99999;
  for (size_t at = 0; at < got.size(); at += 106) {
    const int number = std::stoi(got.substr(at, 6));
    ASSERT_TRUE(previous == 99999 ? number == 100000 : number > previous) << number << " after " << previous;
    ASSERT_EQ(got.substr(at + 6, 100), text + "\n");
    previous = number;
  }
  // Status texts that were overtaken by newer ones were never written.
  const std::string statusText = readingStatus.get();
  EXPECT_LT(statusText.size(), 20000u * 8);
}

TEST(OutputWriterTest, OnATerminalTheStatusIsErasedBeforeALineAndAtTheEnd) {
  Pipe shared;
  {
    OutputWriter output(shared.fds[1], shared.fds[1], true);
    // Each step waits until the previous one is on the terminal.
    output.Status("00:00:01  track 1");
    EXPECT_EQ(ReadExactly(shared.fds[0], 21), "\r\033[K00:00:01  track 1");
    output.Line("REC - a.wav");
    EXPECT_EQ(ReadExactly(shared.fds[0], 16), "\r\033[KREC - a.wav\n");
    output.Status("00:00:02  track 1");
    EXPECT_EQ(ReadExactly(shared.fds[0], 21), "\r\033[K00:00:02  track 1");
  }
  shared.CloseWrite();
  EXPECT_EQ(ReadAll(shared.fds[0]), "\r\033[K") << "the last status is erased at the end";
}

TEST(OutputWriterTest, PlainStatusLinesEndInANewline) {
  Pipe lines, status;
  {
    OutputWriter output(lines.fds[1], status.fds[1], false);
    output.Status("00:00:05  track 1  dropped 0");
    EXPECT_EQ(ReadExactly(status.fds[0], 29), "00:00:05  track 1  dropped 0\n");
    output.Line("Silent");
  }
  lines.CloseWrite();
  status.CloseWrite();
  EXPECT_EQ(ReadAll(status.fds[0]), "") << "nothing to erase in a plain line";
  EXPECT_EQ(ReadAll(lines.fds[0]), "Silent\n");
}
