// The track writer for a replay in a wide layout (24- or 32-bit PCM, or
// 32-bit float, mono or stereo): the engine splits the 16-bit stereo frames
// it analyses, while the files get the input's own frames, taken in the same
// order from a RawFrameQueue the replay fills. So the tracks, joined, hold
// the input's data byte for byte. The files are WAV, written through
// libsndfile, each created exclusively and kept within FAT32's 4 GiB - 1
// bytes as the WAV library's are.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/raw_frame_queue.h"
#include "recorder/track_file_watch.h"
#include "recorder/track_writer.h"

struct sf_private_tag;  // libsndfile's SNDFILE

class WideTrackWriter : public TrackWriter {
 public:
  /// A writer of the frames in `frames` (which outlives it); `floating`:
  /// 32-bit samples are float rather than integers. Its file watch looks at
  /// the path at most once per `lookEvery`.
  WideTrackWriter(RawFrameQueue& frames, bool floating,
                  std::chrono::milliseconds lookEvery = TrackFileWatch::kLookEvery);
  ~WideTrackWriter() override;
  WideTrackWriter(const WideTrackWriter&) = delete;
  WideTrackWriter& operator=(const WideTrackWriter&) = delete;

  /// `bits`: 24 or 32, as many bytes to a frame as the queue's frames.
  int Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) override;
  /// Ignores the 16-bit `frames` and writes the next `count` frames of the queue.
  int PutFrames(const uint8_t* frames, uint32_t count) override;
  /// Drops the next `count` frames of the queue.
  void SkipFrames(uint64_t count) override;
  void LeaveOutLast(uint64_t count) override { leaveOut_ = count; }
  int Close() override;
  bool IsOpen() const override { return file_ != nullptr; }
  uint64_t FramesLeft() const override;
  void Discard(const std::string& path) override;
  bool StillThere() override { return watch_.StillThere(); }
  bool StillThereNow() override { return watch_.LookNow(); }
  int Errno() const override { return errno_; }

 private:
  // Closes the open file after a failed write, keeping `reason`.
  int Fail(int reason);

  RawFrameQueue& frames_;
  bool floating_;
  TrackFileWatch watch_;          // the file created last
  sf_private_tag* file_ = nullptr;   // the open file
  int fd_ = -1;                   // its descriptor, closed after the file
  uint32_t bytesPerFrame_ = 0;
  uint64_t written_ = 0;          // frames in the open file
  uint64_t maxFrames_ = 0;        // frames it can hold within 4 GiB - 1 bytes
  uint64_t leaveOut_ = 0;         // frames Close takes back out
  int errno_ = 0;
  std::vector<uint8_t> block_;    // the frames of one PutFrames on their way to the file
};
