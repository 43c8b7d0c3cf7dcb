// The input of a file replay: an audio file from any program, or a WAV
// stream on standard input, opened through libsndfile. libsndfile walks
// whatever chunks stand around the data, reads extensible and RF64 headers,
// and opens W64, AIFF, FLAC and the other formats it knows.
//
// Frames come out as 16-bit stereo whatever the input's layout; the layouts
// a recording keeps are 8-, 16-, 24- or 32-bit PCM and 32-bit float, mono or
// stereo (Layout().keptBits). The wide ones (24 bits and up) come out as
// their top 16 bits (float: × 32768, floored and clamped), and their frames
// as the input holds them can be kept in a RawFrameQueue for the tracks.
// The data of a WAV file or stream in one of them is read straight from the
// file, without libsndfile's conversions, from the data chunk found by
// FindWavDataChunk: so a stated data size of 0 or a streaming writer's
// placeholder (a writer that streamed or never finished) reads to the end,
// any other size is the data's own, and a stream has no length limit. Frames
// are counted in 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class RawFrameQueue;

/// The most buffers one ReplayInput::ReadStereo call fills.
inline constexpr size_t kMaxReadPieces = 16;

struct ReplayLayout {
  int32_t rate = 0;
  int32_t channels = 0;
  /// The encoding by name: "16-bit PCM", "24-bit PCM", "32-bit float", "A-law"...
  std::string encoding;
  /// The bits of a sample when the recording can keep the layout (8-, 16-,
  /// 24- or 32-bit PCM or 32-bit float, one or two channels); 0 otherwise.
  int32_t keptBits = 0;
  /// True when the 32 bits kept are a float.
  bool floating = false;
  /// Frames the input holds; -1 for a stream whose length is not known.
  int64_t frames = -1;
  /// Frames the header states, when more than the file holds (a file cut
  /// short); otherwise equal to `frames`.
  int64_t statedFrames = -1;
};

class ReplayInput {
 public:
  ReplayInput();
  ~ReplayInput();
  ReplayInput(const ReplayInput&) = delete;
  ReplayInput& operator=(const ReplayInput&) = delete;

  /// The name that stands for standard input.
  static constexpr const char* kStandardInput = "-";

  /// Opens the UTF-8 `path`, or standard input for "-", and reads its
  /// layout. Standard input and a pipe given by name are read once, as a WAV
  /// stream, whose first frame is read here already (a stream without one
  /// has Layout().frames 0, as a file without one has). A WAV file that
  /// libsndfile refuses is read as a stream of its bytes would be. Returns
  /// false with the reason in `why` (libsndfile's own when it cannot open
  /// the file) when it cannot be opened.
  bool Open(const std::string& path, std::string& why);

  /// The layout found by Open.
  const ReplayLayout& Layout() const { return layout_; }

  /// True for a layout kept in more than 16 bits (24, 32, float).
  bool Wide() const { return layout_.keptBits > 16; }

  /// Wide layouts only: from now on every frame read is also put into
  /// `frames` (which outlives the reads), in the order read, as the track
  /// file holds it: little-endian, the input's bits and channels (for a WAV
  /// input, its data bytes as they are). Null stops it.
  void KeepRawFrames(RawFrameQueue* frames) { rawFrames_ = frames; }

  /// Reads the next `count` frames into `frames` as 16-bit stereo (4 bytes a
  /// frame; mono comes out as both channels equal, 8-bit as value × 256,
  /// 24- and 32-bit as their top 16 bits, float as value × 32768 floored).
  /// Only for a layout that is kept. Returns how many were read: fewer than
  /// `count` only at the end of the input or when it cannot be read further
  /// (then ReadError says why).
  uint32_t ReadStereo(int16_t* frames, uint32_t count);

  /// Reads the next frames into `n` buffers (at most kMaxReadPieces) in
  /// order, as that many ReadStereo calls would: buffer k takes up to
  /// `counts[k]` frames, and `got[k]` says how many it took. After a buffer
  /// that is not filled, the rest take none. A file's frames reach all the
  /// buffers in one read where the platform allows.
  void ReadStereo(int16_t* const* buffers, const uint32_t* counts, uint32_t* got, size_t n);

  /// Frames read so far.
  int64_t FramesRead() const { return framesRead_; }
  /// Why the last read stopped early, or "" when it met the end of the input.
  const std::string& ReadError() const { return readError_; }
  /// True when the input ended before the frames it held at Open were read
  /// (a file cut short while it was read).
  bool CutShort() const { return ended_ && layout_.frames >= 0 && framesRead_ < layout_.frames; }

  class Source;

 private:
  ReplayLayout layout_;
  std::unique_ptr<Source> source_;
  int64_t framesRead_ = 0;
  bool ended_ = false;  // a read came out short
  std::string readError_;
  RawFrameQueue* rawFrames_ = nullptr;
};
