// The queued buffers of a live capture device between the audio library's
// thread, which pours frames into them, and a delivery thread of ours, which
// returns each full buffer through the device callback and watches for a
// device that stopped delivering. Both live backends (the sound server's and
// PortAudio's) use it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <semaphore>
#include <thread>

#include "capture/spsc_queue.h"
#include "capture/wave_in.h"

class CaptureFeed {
 public:
  /// Length of each queued buffer: the capture ring's (8,192 stereo frames).
  static constexpr size_t kQueuedBufferBytes = 32768;

  /// Asked by the delivery thread at every tick: with the frames seen so far
  /// and how long ago they last grew, whether the device is lost.
  using LossCheck = std::function<bool(uint64_t seen, std::chrono::steady_clock::duration idle)>;

  /// `device`, `callback` and `instance` are the device's own, for the
  /// buffers it returns; `dropped` counts the frames that found no buffer.
  CaptureFeed(HWAVEIN device, WaveInProc callback, uintptr_t instance, std::atomic<uint64_t>& dropped)
      : device_(device), callback_(callback), instance_(instance), dropped_(dropped) {}
  ~CaptureFeed() { StopDelivery(); }
  CaptureFeed(const CaptureFeed&) = delete;
  CaptureFeed& operator=(const CaptureFeed&) = delete;

  /// User-interface thread: queues a prepared header. Returns
  /// MMSYSERR_NOERROR, or the refusal of MarkQueued, or MMSYSERR_NOMEM.
  MMRESULT Add(WAVEHDR* header);

  /// Audio thread: copies `bytes` of frames (zeros when `input` is null)
  /// into the queued buffers in queue order; frames that find no buffer are
  /// counted as dropped. No allocation, no lock, no I/O.
  void Pour(const uint8_t* input, size_t bytes);
  /// Audio thread: frames that arrived but cannot be kept (counted as seen and dropped).
  void Lose(size_t frames);
  /// Audio thread: bytes the queued buffers can take now without dropping any.
  size_t Room() const;
  /// Audio thread: frames are waiting below the ring because no buffer is
  /// free (they stay where they are, in the library's own buffer). The
  /// watchdog counts this as a device that delivers.
  void NoteWaiting() { waits_.fetch_add(1, std::memory_order_relaxed); }
  /// Any thread: makes the delivery thread look at once.
  void Wake() { wake_.release(); }

  /// Starts the delivery thread: every `tick` (or sooner when woken) it
  /// returns the full buffers and asks `isLost`; the first yes is reported
  /// through the callback as MM_WIM_ENDED with WIM_DEVICE_LOST.
  void StartDelivery(std::chrono::milliseconds tick, LossCheck isLost);
  /// Ends the delivery thread after it has returned every full buffer.
  void StopDelivery();
  bool Delivering() const { return delivery_.joinable(); }

  /// Once the audio thread no longer pours and delivery has stopped: returns
  /// every buffer through the callback, the one being filled with what it holds.
  void ReturnAll();
  /// True while any buffer is queued, being filled or waiting to be returned.
  bool HoldsBuffers() const { return current_ || added_.Size() > 0 || done_.Size() > 0; }

 private:
  void DeliveryLoop(std::chrono::milliseconds tick, const LossCheck& isLost);
  void Return(WAVEHDR* header, uint32_t bytes) { ReturnBuffer(callback_, device_, instance_, header, bytes); }

  HWAVEIN device_;
  WaveInProc callback_;
  uintptr_t instance_;
  std::atomic<uint64_t>& dropped_;
  SpscQueue<WAVEHDR*, 16> added_;  // queued by the user-interface thread, taken by the audio thread
  SpscQueue<WAVEHDR*, 16> done_;   // filled by the audio thread, returned by the delivery thread
  WAVEHDR* current_ = nullptr;     // audio thread only while frames are poured
  uint32_t filledBytes_ = 0;       // likewise
  std::atomic<uint64_t> framesSeen_{0};
  std::atomic<uint64_t> waits_{0};  // NoteWaiting calls
  std::atomic<bool> quit_{false};
  std::counting_semaphore<1 << 20> wake_{0};
  std::thread delivery_;
};
