// The input level for the terminal recorder's progress line: per channel the
// peak of the last ~100 ms in dBFS, a peak hold, and a clip mark when a
// sample reaches full scale. Fed by the engine's walk over each buffer;
// read on the same (user-interface) thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class LevelMeter {
 public:
  static constexpr int kSlicesPerWindow = 5;  // 5 slices of about 20 ms: the ~100 ms window
  static constexpr int kHoldSeconds = 2;       // how long the hold and the clip mark stay

  /// Starts afresh for frames at `rate` Hz (nothing measured yet); the clip
  /// light stays as it is.
  void Reset(int rate);

  /// Takes `count` stereo frames (16-bit little-endian, left first) that
  /// follow the frames taken before.
  void Measure(const uint8_t* frames, uint32_t count);

  struct Reading {
    int32_t peak = 0;      // largest magnitude of the last ~100 ms, 0..32768
    int32_t hold = 0;      // largest magnitude of the last 2 s or so
    bool clipped = false;  // a sample at full scale (-32768 or 32767) in the last 2 s or so
  };
  /// Channel 0 (left) or 1 (right).
  Reading Read(int channel) const;

  /// The clip light: true once a sample reached full scale on either channel,
  /// and it stays so, however long ago that was, until ClearClipLight.
  bool ClipLight() const { return clipLight_; }
  /// Puts the clip light out (the user has seen it).
  void ClearClipLight() { clipLight_ = false; }

  /// True once any frame was measured since Reset.
  bool HasFrames() const { return measured_; }

  /// The progress line's text: each channel's peak and, in parentheses, its
  /// hold, with CLIP while the clip mark is on:
  /// "L -12.3 (-6.0)  R -0.0 (0.0 CLIP) dBFS".
  std::string Text() const;

  /// A magnitude (0..32768) in dBFS with one decimal: "-6.0", "0.0", "-inf".
  static std::string Decibels(int32_t magnitude);

 private:
  struct Channel {
    std::array<int32_t, kSlicesPerWindow> slices{};  // peaks of the last completed slices
    int32_t current = 0;                             // peak of the slice being filled
    int32_t hold = 0;
    int64_t holdAge = 0;  // frames since the hold was set
    int64_t clipAge = -1; // frames since the last full-scale sample; -1: none
  };
  void EndSlice();

  uint32_t sliceFrames_ = 441;
  uint32_t inSlice_ = 0;   // frames of the current slice so far
  int nextSlot_ = 0;       // slot the next completed slice goes to
  int64_t holdFrames_ = 0;
  bool measured_ = false;
  bool clipLight_ = false;
  std::array<Channel, 2> channels_{};
};
