// A small wave-input layer: the records, message values and operations of a
// wave-input service, behind which a real audio input (PortAudio), a file
// replay or a scriptable fake captures 16-bit stereo frames.
//
// As with the service it stands in for, buffers are queued, filled in queue
// order and returned one by one through a function callback with MM_WIM_DATA;
// a reset returns every queued buffer as done. The callback runs on a thread
// of the layer (never the audio thread itself).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

using MMRESULT = uint32_t;
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;

inline constexpr uint32_t WM_USER = 0x0400;        // 1024
inline constexpr uint32_t MM_WIM_OPEN = 0x03BE;    // 958
inline constexpr uint32_t MM_WIM_CLOSE = 0x03BF;   // 959
inline constexpr uint32_t MM_WIM_DATA = 0x03C0;    // 960
/// Our own device message: the input ended by itself. dwParam1 tells why.
inline constexpr uint32_t MM_WIM_ENDED = 0x03C1;
inline constexpr uintptr_t WIM_END_OF_INPUT = 0;   // a replayed file ran out
inline constexpr uintptr_t WIM_DEVICE_LOST = 1;    // the device vanished or failed

inline constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;
inline constexpr uint32_t CALLBACK_FUNCTION = 0x00030000u;
inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};

struct WAVEHDR {
  char* lpData;               // the data block
  uint32_t dwBufferLength;    // its length in bytes
  uint32_t dwBytesRecorded;   // bytes the device filled
  uintptr_t dwUser;
  uint32_t dwFlags;           // WHDR_*
  uint32_t dwLoops;
  WAVEHDR* lpNext;
  uintptr_t reserved;
};

class WaveInDevice;
using HWAVEIN = WaveInDevice*;
using WaveInProc = void (*)(HWAVEIN device, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                            uintptr_t dwParam2);

/// One open capture device. The operations are those of the service; each
/// returns MMSYSERR_NOERROR (0) on success.
class WaveInDevice {
 public:
  virtual ~WaveInDevice() = default;
  virtual MMRESULT Prepare(WAVEHDR* header) = 0;
  virtual MMRESULT Unprepare(WAVEHDR* header) = 0;
  virtual MMRESULT AddBuffer(WAVEHDR* header) = 0;
  virtual MMRESULT Start() = 0;
  virtual MMRESULT Stop() = 0;
  /// Stops and returns every queued buffer as done, each through the callback.
  virtual MMRESULT Reset() = 0;
  /// Ends the device's work; the service then releases the object.
  virtual MMRESULT Close() = 0;
};

// Header bookkeeping shared by the devices.
/// Marks a header prepared. Returns MMSYSERR_NOERROR.
MMRESULT MarkPrepared(WAVEHDR* header);
/// Clears the prepared mark; WAVERR_STILLPLAYING while the header is queued.
MMRESULT MarkUnprepared(WAVEHDR* header);
/// Marks a prepared header with a data block of at least one frame as queued
/// (nothing recorded yet); WAVERR_STILLPLAYING when it is queued already,
/// MMSYSERR_INVALPARAM when it is not prepared or has no room for a frame.
MMRESULT MarkQueued(WAVEHDR* header);
/// Marks a queued header done with `bytes` recorded.
void MarkDone(WAVEHDR* header, uint32_t bytes);

/// Marks a header done and returns it through a device's callback with MM_WIM_DATA.
void ReturnBuffer(WaveInProc callback, HWAVEIN device, uintptr_t instance, WAVEHDR* header, uint32_t bytes);

/// A source of capture devices: the audio input, a file replay, or a fake.
class WaveInService {
 public:
  virtual ~WaveInService() = default;
  /// Opens a device for `format`, with `callback` and its instance data.
  virtual MMRESULT Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                        uintptr_t instance) = 0;
  /// Releases a device after Close.
  virtual void Release(HWAVEIN handle) = 0;

  /// Frames lost since the last open: delivered while no buffer was queued,
  /// or lost below this layer (overflows the audio stack reported).
  uint64_t DroppedFrames() const { return droppedFrames_.load(std::memory_order_relaxed); }
  /// Overflows the audio stack reported since the last open.
  uint64_t Overflows() const { return overflows_.load(std::memory_order_relaxed); }
  /// The answer of StopPoint for a service that keeps nothing below the
  /// ring: the take ends at once, with the buffers the ring holds.
  static constexpr int64_t kStopAtOnce = -2;
  /// The answer of StopPoint while the service still finds the stop out.
  static constexpr int64_t kStopPointPending = -1;

  /// A take was asked to end at `when` (Stop, q, a signal, a closed window;
  /// a moment just past, when the thread that tells was busy writing). From
  /// here on StopPoint tells how many frames were captured before then.
  /// User-interface thread, while the device is open.
  virtual void MarkStop(std::chrono::steady_clock::time_point /*when*/) {}
  /// The frames, counted from the take's first as the ring's buffers receive
  /// them, that were captured before MarkStop: the take is complete when
  /// that many were handled. kStopPointPending while not known yet,
  /// kStopAtOnce when nothing waits below the ring. User-interface thread.
  virtual int64_t StopPoint() { return kStopAtOnce; }
  /// Frames captured since the last open that reached the ring's buffers or
  /// wait below them (every frame but those lost), counted as StopPoint
  /// counts; 0 for a service that keeps nothing below the ring. Any thread.
  virtual uint64_t FramesKept() const { return 0; }
  /// The frames of FramesKept that reached the ring's buffers (those being
  /// filled included), not those waiting in the slack. Any thread.
  virtual uint64_t FramesInRing() const { return 0; }
  /// When the input the take records from changed since the last call (the
  /// default source changed, or the one recorded went away and the server
  /// moved the take to another): true, with the new input's name in `input`
  /// and in `frame` the first frame from it, counted as StopPoint counts.
  /// User-interface thread.
  virtual bool TakeInputChange(std::string& /*input*/, int64_t& /*frame*/) { return false; }
  /// The front end gave up on `frames` captured before the stop and not
  /// written (a second stop): they are counted as dropped.
  void CountGivenUp(uint64_t frames) { droppedFrames_.fetch_add(frames, std::memory_order_relaxed); }

  /// Why the last Open failed or the device was lost, in words for the user;
  /// empty when there is nothing to tell. Read on the user-interface thread.
  virtual std::string LastError() const { return {}; }

 protected:
  std::atomic<uint64_t> droppedFrames_{0};
  std::atomic<uint64_t> overflows_{0};
};

/// The service that waveInOpen uses; set by the front end (or a test).
void SetWaveInService(WaveInService* service);
WaveInService* GetWaveInService();

MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx, WaveInProc dwCallback,
                    uintptr_t dwInstance, uint32_t fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInClose(HWAVEIN hwi);
