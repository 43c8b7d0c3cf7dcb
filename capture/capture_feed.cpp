#include "capture/capture_feed.h"

#include <algorithm>
#include <cstring>

MMRESULT CaptureFeed::Add(WAVEHDR* header) {
  if (MMRESULT r = MarkQueued(header); r != MMSYSERR_NOERROR) return r;
  return added_.Push(header) ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
}

void CaptureFeed::Pour(const uint8_t* input, size_t bytes) {
  framesSeen_.fetch_add(bytes / 4, std::memory_order_relaxed);
  for (const uint8_t* kept = nullptr; slack_.Size() > 0 && Room() > 0;) {
    const size_t n = std::min(slack_.Front(kept), Room());
    Fill(kept, n);
    slack_.Pop(n);
  }
  if (slack_.Size() == 0) {
    const size_t now = std::min(bytes, Room());
    Fill(input, now);
    if (input) input += now;
    bytes -= now;
  }
  const size_t held = slack_.Put(input, bytes);
  slackBytes_.store(slack_.Size(), std::memory_order_relaxed);
  if (held < bytes) CountLost((bytes - held) / 4);
}

void CaptureFeed::Fill(const uint8_t* input, size_t bytes) {
  while (bytes > 0 && (current_ || added_.Pop(current_))) {
    const size_t room = (current_->dwBufferLength & ~3u) - filledBytes_;
    const size_t n = std::min(bytes, room);
    if (input) {
      std::memcpy(current_->lpData + filledBytes_, input, n);
      input += n;
    } else {
      std::memset(current_->lpData + filledBytes_, 0, n);
    }
    bytes -= n;
    filledBytes_ += static_cast<uint32_t>(n);
    if (n == room) {
      current_->dwBytesRecorded = filledBytes_;
      done_.Push(current_);
      current_ = nullptr;
      filledBytes_ = 0;
      wake_.release();
    }
  }
}

void CaptureFeed::Lose(size_t frames) {
  framesSeen_.fetch_add(frames, std::memory_order_relaxed);
  CountLost(frames);
}

void CaptureFeed::CountLost(size_t frames) {
  framesLost_.fetch_add(frames, std::memory_order_relaxed);
  dropped_.fetch_add(frames, std::memory_order_relaxed);
}

size_t CaptureFeed::Room() const {
  size_t room = current_ ? (current_->dwBufferLength & ~3u) - filledBytes_ : 0;
  return room + added_.Size() * kQueuedBufferBytes;
}

void CaptureFeed::StartDelivery(std::chrono::milliseconds tick, LossCheck isLost) {
  if (delivery_.joinable()) return;
  quit_ = false;
  delivery_ = std::thread([this, tick, check = std::move(isLost)] { DeliveryLoop(tick, check); });
}

void CaptureFeed::StopDelivery() {
  if (!delivery_.joinable()) return;
  quit_ = true;
  wake_.release();
  delivery_.join();
}

void CaptureFeed::ReturnAll() {
  WAVEHDR* header = nullptr;
  while (done_.Pop(header)) Return(header, header->dwBytesRecorded);
  if (current_) {
    Return(current_, filledBytes_);
    current_ = nullptr;
    filledBytes_ = 0;
  }
  while (added_.Pop(header)) Return(header, 0);
}

void CaptureFeed::DeliveryLoop(std::chrono::milliseconds tick, const LossCheck& isLost) {
  auto lastProgress = std::chrono::steady_clock::now();
  auto lastLook = lastProgress;
  uint64_t lastSeen = framesSeen_.load();
  bool lostReported = false;
  for (;;) {
    wake_.try_acquire_for(tick);
    WAVEHDR* header = nullptr;
    while (done_.Pop(header)) Return(header, header->dwBytesRecorded);
    if (quit_) break;
    const auto now = std::chrono::steady_clock::now();
    const uint64_t seen = framesSeen_.load(std::memory_order_relaxed);
    // A look far later than the tick means this process did not run in
    // between (SIGSTOP, a starved CPU): the device is not to blame for that
    // time, and its frames wait in the library's buffer.
    if (seen != lastSeen || now - lastLook > 4 * tick) {
      lastSeen = seen;
      lastProgress = now;
    }
    lastLook = now;
    if (!lostReported && isLost(framesSeen_.load(std::memory_order_relaxed), now - lastProgress)) {
      lostReported = true;
      callback_(device_, MM_WIM_ENDED, instance_, WIM_DEVICE_LOST, 0);
    }
  }
}
