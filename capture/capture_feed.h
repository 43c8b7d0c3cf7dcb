// The queued buffers of a live capture device between the audio library's
// thread, which pours frames into them, and a delivery thread of ours, which
// returns each full buffer through the device callback and watches for a
// device that stopped delivering. Both live backends (the sound server's and
// PortAudio's) use it.
//
// Below the buffers lies the one slack of every live backend: frames that
// find no free buffer (the thread that writes them stalls on a slow or hung
// disk, or a starved CPU) wait in memory of our own, reserved at open and
// touched only when used, instead of in whatever the sound server or the
// audio library would keep for us (PipeWire throws a late client's whole
// backlog away past about 21.8 s). The audio thread keeps reading, so the
// slack fills whatever the writing side does; only frames that do not fit
// into it are lost, and counted.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <semaphore>
#include <thread>

#include "capture/elastic_buffer.h"
#include "capture/spsc_queue.h"
#include "capture/wave_in.h"

class CaptureFeed {
 public:
  /// Length of each queued buffer: the capture ring's (8,192 stereo frames).
  static constexpr size_t kQueuedBufferBytes = 32768;
  /// The slack below the buffers: a stall of the writing side this long loses nothing.
  static constexpr size_t kSlackSeconds = 60;

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

  /// Before the device starts: reserves the slack for `seconds` of frames
  /// at `rate` Hz (memory that is not touched until used). False when the
  /// memory cannot be had.
  bool ReserveSlack(uint32_t rate, size_t seconds = kSlackSeconds) { return slack_.Reserve(seconds * rate * 4); }

  /// Audio thread: takes `bytes` of frames (zeros when `input` is null, a
  /// hole): the slack's frames go into the queued buffers first, in order,
  /// then these; what finds no buffer waits in the slack, and only what does
  /// not fit there is dropped and counted. No allocation, no lock, no I/O.
  void Pour(const uint8_t* input, size_t bytes);
  /// Audio thread: frames that arrived but cannot be kept (counted as seen and dropped).
  void Lose(size_t frames);

  /// Any thread: frames taken so far, kept or lost.
  uint64_t FramesSeen() const { return framesSeen_.load(std::memory_order_relaxed); }
  /// Any thread: frames taken so far that were lost (no room in the slack, or Lose).
  uint64_t FramesLost() const { return framesLost_.load(std::memory_order_relaxed); }
  /// The frames captured up to `when`, from `frames` captured up to `at`
  /// (a later moment) at `rate` Hz: the capture's clock is taken to run
  /// with the system's between the two.
  static int64_t FramesAt(int64_t frames, std::chrono::steady_clock::time_point at,
                          std::chrono::steady_clock::time_point when, uint32_t rate) {
    const double late = std::chrono::duration<double>(at - when).count();
    return late > 0 ? frames - static_cast<int64_t>(late * rate + 0.5) : frames;
  }

  /// Any thread: frames waiting in the slack.
  uint64_t SlackFrames() const { return slackBytes_.load(std::memory_order_relaxed) / 4; }
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
  // Audio thread: copies into the queued buffers, at most Room() bytes.
  void Fill(const uint8_t* input, size_t bytes);
  size_t Room() const;
  // Counts frames that were seen already as lost and dropped.
  void CountLost(size_t frames);
  void Return(WAVEHDR* header, uint32_t bytes) { ReturnBuffer(callback_, device_, instance_, header, bytes); }

  HWAVEIN device_;
  WaveInProc callback_;
  uintptr_t instance_;
  std::atomic<uint64_t>& dropped_;
  SpscQueue<WAVEHDR*, 16> added_;  // queued by the user-interface thread, taken by the audio thread
  SpscQueue<WAVEHDR*, 16> done_;   // filled by the audio thread, returned by the delivery thread
  WAVEHDR* current_ = nullptr;     // audio thread only while frames are poured
  uint32_t filledBytes_ = 0;       // likewise
  ElasticBuffer slack_;            // audio thread only while frames are poured
  std::atomic<uint64_t> framesSeen_{0};
  std::atomic<uint64_t> framesLost_{0};
  std::atomic<size_t> slackBytes_{0};
  std::atomic<bool> quit_{false};
  std::counting_semaphore<1 << 20> wake_{0};
  std::thread delivery_;
};
