// The WAV library's one process-wide record, with its writer half and its
// reader half. Exposed so that tests can inspect and reset it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

struct WaveFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using WaveFilePtr = std::unique_ptr<std::FILE, WaveFileCloser>;

/// How the writer stores one frame.
enum class WaveLayout : uint8_t { None, Stereo16, Mono16, Stereo8, Mono8 };

struct WaveWriterState {
  int32_t sampleRate = 0;
  int32_t bitsPerSample = 0;
  int32_t channels = 0;
  uint32_t initialDataSize = 0;
  WaveLayout layout = WaveLayout::None;
  int32_t bytesPerFrame = 0;
  int32_t framesPerFlush = 0;                  // frames that fill 409,600 bytes
  std::unique_ptr<uint8_t[]> staging;          // 409,856 bytes while open
  WaveFilePtr file;
  int32_t stagedFrames = 0;                    // frames now in the staging buffer
  int32_t stagedFramesLimit = 0;               // frames the buffer may take before a refusal; 0 when closed
  int64_t framesWritten = 0;                   // whole frames that reached the file
  bool seekable = false;                       // the header can be rewritten in place (not a pipe)
  int lastErrno = 0;                           // the system's reason for the last failure
};

struct WaveReaderState {
  int32_t sampleRate = 0;
  int32_t bitsPerSample = 0;
  int32_t channels = 0;
  uint32_t dataSize = 0;
  std::unique_ptr<uint8_t[]> staging;          // 819,456 bytes: two 409,600-byte halves while open
  WaveFilePtr file;
  int32_t bytesPerFrame = 0;
  int32_t framesPerWindow = 0;                 // F
  int64_t windowNumber = 0;                    // w
  int64_t windowEnd = 0;                       // E = (w + 1) x F
  bool atEnd = false;                          // a read came out short: the file has no more bytes
};

struct WaveFileState {
  WaveWriterState writer;
  WaveReaderState reader;
};

/// The process-wide record. Tests may assign `WaveFileState{}` to reset it.
extern WaveFileState g_waveFileState;

/// Test hook: pretends `frames` whole frames have already reached the open
/// file (the file is extended sparsely to match), so that the 32-bit size
/// limit can be tested without writing gigabytes. Returns WAVE_OK, or
/// WAVE_ERR_WRITE when no file is open or frames is out of range.
int WaveTestSetFramesWritten(int64_t frames);
