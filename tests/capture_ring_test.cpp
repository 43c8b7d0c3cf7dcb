// The buffer ring over the fake wave-input service.
#include <gtest/gtest.h>

#include "tests/engine_harness.h"

namespace {

class CaptureRingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_recorderState = RecorderState{};
    StopCapture();
    SetWaveInService(&fake);
  }
  void TearDown() override {
    StopCapture();
    SetWaveInService(nullptr);
  }
  FakeWaveInService fake;
  harness::QueueWindow window;
};

}  // namespace

TEST_F(CaptureRingTest, FormatAtEachRate) {
  for (auto [rate, bytesPerSecond] : {std::pair{32000, 128000u}, {44100, 176400u}, {48000, 192000u}}) {
    ASSERT_EQ(StartCapture(&window, rate), 1);
    EXPECT_EQ(fake.lastFormat.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(fake.lastFormat.nChannels, 2);
    EXPECT_EQ(fake.lastFormat.nSamplesPerSec, uint32_t(rate));
    EXPECT_EQ(fake.lastFormat.nAvgBytesPerSec, bytesPerSecond);
    EXPECT_EQ(fake.lastFormat.nBlockAlign, 4);
    EXPECT_EQ(fake.lastFormat.wBitsPerSample, 16);
    EXPECT_EQ(fake.lastFormat.cbSize, 0);
    StopCapture();
  }
}

TEST_F(CaptureRingTest, OpenAndCloseMessagesPostNothing) {
  ASSERT_EQ(StartCapture(&window, 44100), 1);
  g_bRecording = 1;
  QueueCaptureBuffers();
  EXPECT_EQ(window.Size(), 0u);  // MM_WIM_OPEN was ignored
  StopCapture();
  EXPECT_EQ(fake.closes, 1);
  EXPECT_EQ(window.Size(), 8u);  // the eight buffers returned by the reset, and no close notice
  std::tuple<uint32_t, uintptr_t, intptr_t> m;
  while (window.Take(m)) {
    EXPECT_EQ(std::get<0>(m), WM_USER);
    EXPECT_EQ(std::get<1>(m), MM_WIM_DATA);
  }
}

TEST_F(CaptureRingTest, RingOfEightZeroFilledBuffersQueuedInSlotOrder) {
  ASSERT_EQ(StartCapture(&window, 48000), 1);
  g_bRecording = 1;
  QueueCaptureBuffers();
  ASSERT_EQ(fake.starts, 1);
  EXPECT_EQ(fake.QueuedBuffers(), 8u);
  for (int k = 0; k < kCaptureSlots; ++k) {
    ASSERT_NE(g_pWaveHdr[k], nullptr);
    EXPECT_EQ(g_pWaveHdr[k]->dwBufferLength, kCaptureBufferBytes);
    for (uint32_t i = 0; i < kCaptureBufferBytes; i += 997) EXPECT_EQ(g_pWaveHdr[k]->lpData[i], 0);
    EXPECT_EQ(FindCaptureSlot(reinterpret_cast<intptr_t>(g_pWaveHdr[k])), k);
  }
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(fake.Deliver(bytes, 8));
  std::tuple<uint32_t, uintptr_t, intptr_t> m;
  ASSERT_TRUE(window.Take(m));
  EXPECT_EQ(std::get<2>(m), reinterpret_cast<intptr_t>(g_pWaveHdr[0]));
  EXPECT_EQ(g_pWaveHdr[0]->dwBytesRecorded, 8u);
  EXPECT_EQ(FindCaptureSlot(0), -1);
  WAVEHDR other{};
  EXPECT_EQ(FindCaptureSlot(reinterpret_cast<intptr_t>(&other)), -1);
}

TEST_F(CaptureRingTest, FailedStartTearsTheRingDown) {
  fake.failStart = true;
  ASSERT_EQ(StartCapture(&window, 44100), 1);
  g_bRecording = 1;
  QueueCaptureBuffers();
  EXPECT_EQ(g_bRecording, 0);
  EXPECT_FALSE(fake.IsOpen());
  EXPECT_EQ(g_hWaveIn, nullptr);
  for (auto* h : g_pWaveHdr) EXPECT_EQ(h, nullptr);
}

TEST_F(CaptureRingTest, EveryFailingSlotStillLetsTheLaterSlotsBePrepared) {
  for (int slot = 0; slot < kCaptureSlots; ++slot) {
    FakeWaveInService service;
    SetWaveInService(&service);
    service.failAddBufferCalls.insert(slot);
    ASSERT_EQ(StartCapture(&window, 44100), 1);
    g_bRecording = 1;
    QueueCaptureBuffers();
    EXPECT_EQ(service.prepareCalls, 8);
    EXPECT_EQ(service.addBufferCalls, 8);
    EXPECT_EQ(service.starts, 0);
    EXPECT_EQ(g_bRecording, 0);
    EXPECT_EQ(service.unprepareCalls, 8);
    for (auto* h : g_pWaveHdr) EXPECT_EQ(h, nullptr);
    SetWaveInService(&fake);
  }
}

TEST_F(CaptureRingTest, NoServiceMeansNoDevice) {
  SetWaveInService(nullptr);
  EXPECT_EQ(StartCapture(&window, 44100), 0);
  StopCapture();  // harmless without a device
  EXPECT_EQ(g_bRecording, 0);
}

TEST_F(CaptureRingTest, AHeaderAlreadyQueuedIsRefusedLikeTheRealService) {
  ASSERT_EQ(StartCapture(&window, 44100), 1);
  g_bRecording = 1;
  QueueCaptureBuffers();
  ASSERT_EQ(fake.QueuedBuffers(), 8u);
  WAVEHDR* header = g_pWaveHdr[3];
  EXPECT_EQ(waveInPrepareHeader(g_hWaveIn, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInAddBuffer(g_hWaveIn, header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(fake.QueuedBuffers(), 8u);
  StopCapture();
}

TEST_F(CaptureRingTest, NoticesStillQueuedAtTeardownAreStaleForTheNextRing) {
  ASSERT_EQ(StartCapture(&window, 44100), 1);
  g_bRecording = 1;
  QueueCaptureBuffers();
  StopCapture();  // eight notices of the old ring wait in the queue
  ASSERT_EQ(StartCapture(&window, 44100), 1);
  g_bRecording = 1;
  QueueCaptureBuffers();
  // Whatever address the old notices carry, none is taken for a buffer of the new ring.
  std::tuple<uint32_t, uintptr_t, intptr_t> m;
  int stale = 0;
  while (window.Take(m)) {
    EXPECT_EQ(TakeCaptureNotice(&window, std::get<2>(m)), -1);
    ++stale;
  }
  EXPECT_EQ(stale, 8);
  // The new ring's own notices are found again.
  const uint8_t frame[4] = {1, 0, 2, 0};
  ASSERT_TRUE(fake.Deliver(frame, 4));
  ASSERT_TRUE(window.Take(m));
  EXPECT_EQ(PeekCaptureNotice(&window, std::get<2>(m)), 0);
  EXPECT_EQ(TakeCaptureNotice(&window, std::get<2>(m)), 0);
  StopCapture();
}
