// Where the recorder engine puts a track's frames: the WAV writer for a real
// recording, or a counter that writes nothing for a dry run (and, for a
// replay in 24 or 32 bits, recorder/wide_track_writer.h). The engine's
// splitting is the same for all; only the files differ.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "recorder/track_file_watch.h"

class RawFrameQueue;

class TrackWriter {
 public:
  virtual ~TrackWriter() = default;
  /// Creates the track file `path` at `rate` Hz with `bits` (8 or 16; the
  /// wide writer's 24 or 32) and `channels` (1 or 2) and a provisional
  /// header; the stereo 16-bit frames put later are converted to that layout.
  /// The name must be free: a taken one is left alone and gives
  /// WAVE_ERR_OPEN with Errno() EEXIST.
  /// Returns a WaveResult (WAVE_OK when it is open).
  virtual int Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) = 0;
  /// Appends `count` stereo frames (4 bytes each). Returns a WaveResult; after
  /// a failure the file is closed.
  virtual int PutFrames(const uint8_t* frames, uint32_t count) = 0;
  /// Passes over `count` frames that the recording leaves out (a trim): none
  /// of them is written. A writer that takes the frames' data from elsewhere,
  /// in the same order, passes over as many there.
  virtual void SkipFrames(uint64_t count) { static_cast<void>(count); }
  /// Takes the last `count` frames put into the open file back out of it:
  /// Close completes the file without them (at most all it holds).
  virtual void LeaveOutLast(uint64_t count) = 0;
  /// Completes and closes the open file. Returns a WaveResult.
  virtual int Close() = 0;
  /// True while a file is open.
  virtual bool IsOpen() const = 0;
  /// Frames the open file can still take before its size limit.
  virtual uint64_t FramesLeft() const = 0;
  /// Removes a file that was created but never held a frame.
  virtual void Discard(const std::string& path) = 0;
  /// True while the file created last is still where it was created: not
  /// deleted, moved or replaced (the real writer looks at most every
  /// TrackFileWatch::kLookEvery unless told otherwise).
  virtual bool StillThere() = 0;
  /// As StillThere, but looked at now (before the file is closed).
  virtual bool StillThereNow() = 0;
  /// The system's error number (errno) behind the last failed create, write
  /// or close (EEXIST for a name that was taken, EFBIG for the size limit);
  /// 0 when there is none.
  virtual int Errno() const { return 0; }
};

/// The real one: the WAV library's writer.
class WaveTrackWriter : public TrackWriter {
 public:
  /// A writer whose file watch looks at the path at most once per `lookEvery`.
  explicit WaveTrackWriter(std::chrono::milliseconds lookEvery = TrackFileWatch::kLookEvery) : watch_(lookEvery) {}
  int Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) override;
  int PutFrames(const uint8_t* frames, uint32_t count) override;
  void LeaveOutLast(uint64_t count) override { leaveOut_ = count; }
  int Close() override;
  bool IsOpen() const override;
  uint64_t FramesLeft() const override;
  void Discard(const std::string& path) override;
  bool StillThere() override { return watch_.StillThere(); }
  bool StillThereNow() override { return watch_.LookNow(); }
  int Errno() const override;

 private:
  TrackFileWatch watch_;  // the file created last
  std::string path_;      // the open file's
  uint32_t bytesPerFrame_ = 0;
  uint64_t leaveOut_ = 0;  // frames Close takes back out
};

/// A dry run's: opens nothing and writes nothing, but counts the frames
/// against the same size limit as a real file.
class DryTrackWriter : public TrackWriter {
 public:
  /// A wide input's own frames, kept for the level rule: each frame the
  /// dry run would write or skip is let go of, as a real run's writer takes it.
  void LetGoOf(RawFrameQueue* frames) { rawFrames_ = frames; }
  int Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) override;
  int PutFrames(const uint8_t* frames, uint32_t count) override;
  void SkipFrames(uint64_t count) override;
  void LeaveOutLast(uint64_t count) override;
  int Close() override;
  bool IsOpen() const override { return open_; }
  uint64_t FramesLeft() const override;
  void Discard(const std::string&) override {}
  bool StillThere() override { return true; }
  bool StillThereNow() override { return true; }

 private:
  bool open_ = false;
  uint64_t frames_ = 0;     // frames of the open track
  uint64_t maxFrames_ = 0;  // frames a real file of the open track's layout can hold
  RawFrameQueue* rawFrames_ = nullptr;
};

/// The WAV library's writer, shared by every engine that is given no other.
TrackWriter& DefaultTrackWriter();
