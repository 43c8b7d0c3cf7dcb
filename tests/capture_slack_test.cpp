// The slack below the capture ring: the feed that keeps a live backend's
// frames through a stall in its elastic buffer, the count of frames a
// sound server dropped, found against the clock, and a stop's catch-up.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "capture/capture_feed.h"
#include "capture/elastic_buffer.h"
#include "capture/stop_catch_up.h"
#include "capture/stream_gap_counter.h"
#include "tests/test_support.h"

using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> Bytes(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

// Everything the buffer holds, oldest first, taken out.
std::vector<uint8_t> TakeAll(ElasticBuffer& buffer) {
  std::vector<uint8_t> taken;
  while (buffer.Size() > 0) {
    const uint8_t* data = nullptr;
    const size_t n = buffer.Front(data);
    taken.insert(taken.end(), data, data + n);
    buffer.Pop(n);
  }
  return taken;
}

TEST(ElasticBufferTest, KeepsBytesInOrderAcrossTheWrapAndRefusesWhatDoesNotFit) {
  ElasticBuffer buffer;
  ASSERT_TRUE(buffer.Reserve(10));
  const auto a = Bytes(6, 1);
  EXPECT_EQ(buffer.Put(a.data(), a.size()), 6u);
  const uint8_t* data = nullptr;
  ASSERT_EQ(buffer.Front(data), 6u);
  buffer.Pop(4);  // 5, 6 left
  const auto b = Bytes(9, 100);
  EXPECT_EQ(buffer.Put(b.data(), b.size()), 8u);  // room for 8: the ninth is refused
  EXPECT_EQ(buffer.Size(), 10u);
  const std::vector<uint8_t> expected{5, 6, 100, 101, 102, 103, 104, 105, 106, 107};
  EXPECT_EQ(TakeAll(buffer), expected);
  EXPECT_EQ(buffer.Put(b.data(), 3), 3u);  // empty again: takes bytes anew
  EXPECT_EQ(TakeAll(buffer), (std::vector<uint8_t>{100, 101, 102}));
}

TEST(ElasticBufferTest, TheFeedsSixtySecondsAreReservedWithoutTakingMemoryUntilUsed) {
  using testsupport::ResidentBytes;
  ASSERT_GT(ResidentBytes(), 0u);
  const uint64_t before = ResidentBytes();
  ElasticBuffer buffer;
  ASSERT_TRUE(buffer.Reserve(CaptureFeed::kSlackSeconds * 48000 * 4));  // 11.5 MB
  EXPECT_LT(ResidentBytes(), before + 1500000) << "the reservation was touched";
  const auto second = Bytes(192000, 0);
  EXPECT_EQ(buffer.Put(second.data(), second.size()), second.size());
  EXPECT_GE(ResidentBytes(), before + 150000) << "a second of frames stored in no memory?";
}

// Frames numbered from `first`, one number a frame.
std::vector<uint32_t> Numbered(uint32_t first, uint32_t count) {
  std::vector<uint32_t> frames(count);
  std::iota(frames.begin(), frames.end(), first);
  return frames;
}

// The device callback of the feed test: every buffer returned, its frames
// appended to the vector in `instance`.
void Collect(HWAVEIN, uint32_t message, uintptr_t instance, uintptr_t header, uintptr_t) {
  if (message != MM_WIM_DATA) return;
  const auto* h = reinterpret_cast<const WAVEHDR*>(header);
  auto* got = reinterpret_cast<std::vector<uint32_t>*>(instance);
  const auto* frames = reinterpret_cast<const uint32_t*>(h->lpData);
  got->insert(got->end(), frames, frames + h->dwBytesRecorded / 4);
}

TEST(CaptureFeedTest, FramesWithoutABufferWaitInTheSlackAndComeFirstThoseBeyondItAreCountedExactly) {
  std::atomic<uint64_t> dropped{0};
  std::vector<uint32_t> got;
  CaptureFeed feed(nullptr, &Collect, reinterpret_cast<uintptr_t>(&got), dropped);
  ASSERT_TRUE(feed.ReserveSlack(1000, 1));  // 1,000 frames
  // A stall: no buffer is queued while 1,500 frames come.
  const auto stalled = Numbered(1, 1500);
  feed.Pour(reinterpret_cast<const uint8_t*>(stalled.data()), 1500 * 4);
  EXPECT_EQ(feed.SlackFrames(), 1000u);
  EXPECT_EQ(feed.FramesLost(), 500u);
  EXPECT_EQ(dropped.load(), 500u);
  // The buffers are back: the slack's frames go in first, then the new ones.
  std::vector<char> data(2 * CaptureFeed::kQueuedBufferBytes);
  WAVEHDR headers[2]{};
  for (int i = 0; i < 2; ++i) {
    headers[i].lpData = data.data() + i * CaptureFeed::kQueuedBufferBytes;
    headers[i].dwBufferLength = CaptureFeed::kQueuedBufferBytes;
    MarkPrepared(&headers[i]);
    ASSERT_EQ(feed.Add(&headers[i]), MMSYSERR_NOERROR);
  }
  const auto after = Numbered(1501, 100);
  feed.Pour(reinterpret_cast<const uint8_t*>(after.data()), 100 * 4);
  EXPECT_EQ(feed.SlackFrames(), 0u);
  feed.ReturnAll();
  std::vector<uint32_t> expected = Numbered(1, 1000);
  expected.insert(expected.end(), after.begin(), after.end());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(feed.FramesSeen(), 1600u);
  EXPECT_EQ(feed.FramesSeen() - feed.FramesLost(), got.size());
}

using Clock = StreamGapCounter::Clock;

// Feeds the counter a stream that delivers a 4,096-frame fragment every
// 85.33 ms at 48 kHz, arriving up to `jitter` late; returns the frames counted
// as lost. `lostAt`: the fragment after which `lostFrames` never arrive.
uint64_t RunStream(int fragments, int lostAt, uint64_t lostFrames, std::chrono::microseconds jitter = 0us) {
  StreamGapCounter counter(48000);
  const Clock::time_point start{};
  uint64_t received = 0, counted = 0;
  for (int i = 0; i < fragments; ++i) {
    received += 4096;
    const auto late = jitter * ((i * 7) % 5) / 4;
    const auto now = start + std::chrono::microseconds(int64_t((i + 1) * 4096 * 1e6 / 48000)) + late;
    if (i == lostAt) received -= lostFrames;
    counted += counter.Told(now, received, 0);
  }
  return counted;
}

TEST(StreamGapCounterTest, AStreamThatKeepsPaceLosesNothingWhateverItsJitter) {
  EXPECT_EQ(RunStream(1000, -1, 0), 0u);
  EXPECT_EQ(RunStream(1000, -1, 0, 20ms), 0u);
}

TEST(StreamGapCounterTest, AGapIsCountedOnceAndExactlyWhenTheStreamKeepsTime) {
  EXPECT_EQ(RunStream(1000, 300, 8 * 48000), 8u * 48000);
  EXPECT_EQ(RunStream(1000, 300, 7 * 4096 + 1234), 7u * 4096 + 1234);
}

TEST(StreamGapCounterTest, AGapIsCountedToWithinTheJitter) {
  const double counted = double(RunStream(1000, 300, 8 * 48000, 5ms));
  EXPECT_NEAR(counted, 8.0 * 48000, 0.005 * 48000);
}

// A stream as the counter is told of it, answer by answer.
struct ToldStream {
  StreamGapCounter counter{48000};
  Clock::time_point now{};
  uint64_t received = 0, counted = 0;
  /// The server's answer now: it holds `held` frames beyond those received.
  void Tell(uint64_t held = 0) { counted += counter.Told(now, received, held); }
  /// `steps` answers 100 ms apart, the stream keeping pace and nothing held.
  void KeepPace(int steps) {
    for (int i = 0; i < steps; ++i) {
      now += 100ms;
      received += 4800;
      Tell();
    }
  }
};

TEST(StreamGapCounterTest, ABacklogStillArrivingIsNoGap) {
  // A stall: nothing is read for 10 s, then the frames the server kept come
  // in faster than real time until the stream is caught up again.
  ToldStream stream;
  stream.KeepPace(20);
  stream.now += 10s;  // stopped; 480,000 frames wait in the server
  for (uint64_t behind = 480000 + 4800; behind > 0;) {
    stream.now += 50ms;
    behind += 2400;  // captured meanwhile
    const uint64_t taken = std::min<uint64_t>(behind, 48000);
    stream.received += taken;
    behind -= taken;
    stream.Tell();  // the library ran dry for a moment
  }
  stream.KeepPace(40);
  EXPECT_EQ(stream.counted, 0u);
}

TEST(StreamGapCounterTest, AStreamStarvedOfCpuLosesNothingWhileTheServerHoldsWhatItCouldNotSend) {
  // The process runs 1 ms a second: it reads each second what came a second
  // before, and the server says it holds the rest. Then a real loss: the
  // server throws 3 s away, and says it holds nothing.
  ToldStream stream;
  stream.KeepPace(20);
  const uint64_t before = stream.received;
  for (int second = 1; second <= 30; ++second) {
    stream.now += 1s;
    const uint64_t held = 43000 + 4096 * (second % 3);
    stream.received = before + 48000 * second - held;
    stream.Tell(held);
  }
  EXPECT_EQ(stream.counted, 0u);
  stream.received = before + 48000 * 30 - 3 * 48000;
  stream.KeepPace(40);
  EXPECT_NEAR(double(stream.counted), 3.0 * 48000, 0.005 * 48000);
}

}  // namespace

// A service that kept 48,000 frames below the ring when the stop came.
class KeptFramesService : public WaveInService {
 public:
  MMRESULT Open(HWAVEIN*, const WAVEFORMATEX&, WaveInProc, uintptr_t) override { return MMSYSERR_NOERROR; }
  void Release(HWAVEIN) override {}
  int64_t StopPoint() override { return 48000; }
  uint64_t FramesKept() const override { return 48000; }
};

TEST(StopCatchUpTest, ASecondStopGivesUpByWhenItWasAskedForNotWhenItIsTaken) {
  const auto t0 = std::chrono::steady_clock::now() - 2s;
  // Taken together after a long write: asked for 1.5 s apart, two stops.
  KeptFramesService service;
  StopCatchUp apart;
  apart.Request(service, 12000, t0);
  apart.Request(service, 12000, t0 + 1500ms);
  EXPECT_TRUE(apart.GaveUp());
  EXPECT_EQ(apart.GivenUp(), 36000u);
  EXPECT_EQ(service.DroppedFrames(), 36000u);
  // Asked for 0.2 s apart (a signal to the process group): one stop, however late taken.
  KeptFramesService once;
  StopCatchUp twice;
  twice.Request(once, 12000, t0);
  twice.Request(once, 12000, t0 + 200ms);
  EXPECT_FALSE(twice.GaveUp());
  EXPECT_EQ(once.DroppedFrames(), 0u);
}
