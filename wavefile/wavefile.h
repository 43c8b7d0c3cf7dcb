// Tapewell WAV library: one streamed PCM WAV writer and one windowed reader,
// plain functions over one process-wide state record (see wavefile_state.h).
//
// A frame is two signed 16-bit samples, left then right. The writer converts
// each frame to the file's layout (16 or 8 bits, stereo or mono); the reader
// hands every frame back as such a pair, whatever the file's layout.
#pragma once

#include <bit>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the WAV header is laid out in host order; a little-endian host is assumed");

/// Integer results of the WAV library.
using WaveResult = int;
inline constexpr WaveResult WAVE_OK = 0;
inline constexpr WaveResult WAVE_ERR_OPEN = 1;     ///< cannot open or position a file, or it is shorter than the header bytes tried
inline constexpr WaveResult WAVE_ERR_WRITE = 2;    ///< a write came out short (or no file is open for writing)
inline constexpr WaveResult WAVE_ERR_NOMEM = 7;    ///< the staging buffer cannot be allocated
inline constexpr WaveResult WAVE_ERR_SHORT = 23;   ///< the bytes end before the header is complete
inline constexpr WaveResult WAVE_ERR_FORMAT = 58;  ///< not RIFF WAVE, no usable "fmt " before "data", or an unreadable layout
inline constexpr WaveResult WAVE_ERR_NOFILE = 63;  ///< the probe cannot open the file

/// The canonical 44-byte RIFF WAVE PCM header, little-endian.
struct WaveHeader {
  char riffId[4];            // "RIFF"
  uint32_t riffSize;         // data size + 36
  char waveId[4];            // "WAVE"
  char fmtId[4];             // "fmt "
  uint32_t fmtSize;          // 16
  uint16_t formatTag;        // 1: integer PCM
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;   // rate x block align
  uint16_t blockAlign;       // (bits x channels) / 8: bytes per frame
  uint16_t bitsPerSample;
  char dataId[4];            // "data"
  uint32_t dataSize;         // bytes of audio
};
static_assert(sizeof(WaveHeader) == 44, "WaveHeader must be exactly 44 bytes");

/// Bytes of the staged block the writer flushes in one write request.
inline constexpr int32_t kWaveBlockBytes = 409600;
/// Format tags of the "fmt " chunk.
inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

/// Largest data size the writer puts in one file: the whole file (44-byte
/// header and data) must stay within 4 GiB - 1 bytes, the largest file FAT32
/// holds; the RIFF size (data + 36) then fits 32 bits as well.
inline constexpr uint32_t kWaveMaxDataBytes = 0xFFFFFFFFu - 44u;

// ---------------------------------------------------------------- writer

/// Fills `header` for the given rate (Hz), bits per sample, channel count and
/// data size (bytes); stores 44 in `headerLength`. Always returns WAVE_OK.
WaveResult WaveMakeHeader(WaveHeader& header, int32_t rate, int32_t bits, int32_t channels,
                          uint32_t dataSize, int32_t& headerLength);

/// Creates (or truncates) the file at `path` and writes a provisional header
/// stating `dataSize` bytes. A file still open in the writer is completed
/// first. Returns WAVE_OK, WAVE_ERR_NOMEM, WAVE_ERR_OPEN or WAVE_ERR_WRITE
/// (the header could not be written: the file is removed again). On an
/// output that cannot seek (a pipe) the writer streams and never rewrites
/// the header.
WaveResult WaveCreate(const char* path, int32_t rate, int32_t bits, int32_t channels,
                      uint32_t dataSize);

/// WaveCreate for a file that must not exist yet: when any entry (a file, a
/// folder, a link) is named `path`, nothing is touched and the result is
/// WAVE_ERR_OPEN with WaveWriterErrno() EEXIST. The check and the create are
/// one step, so two writers can never end up sharing one file.
WaveResult WaveCreateNew(const char* path, int32_t rate, int32_t bits, int32_t channels,
                         uint32_t dataSize);

/// Converts one frame (inputs clamped to -32768..32767) to the file's layout and
/// stages it; a full 409,600-byte block is written and the header's sizes are
/// brought up to date. Returns WAVE_OK, or WAVE_ERR_WRITE when the block write
/// came out short or the frame would take the data past kWaveMaxDataBytes
/// (either way the writer completes and closes the file, its header stating
/// exactly the frames that reached it), or when no file is open.
WaveResult WavePutSample(int32_t left, int32_t right);

/// Appends `frameCount` frames of interleaved signed 16-bit little-endian
/// stereo (4 bytes each), exactly as WavePutSample would one by one, stopping
/// at the first frame that fails. Returns WAVE_OK or WAVE_ERR_WRITE.
WaveResult WavePutFrames(const uint8_t* frames, uint32_t frameCount);

/// Writes the staged frames, rewrites the header with the final sizes, closes
/// the file and releases the staging buffer. Returns WAVE_OK, or
/// WAVE_ERR_WRITE when a write came out short or no file was open.
WaveResult WaveClose();

/// Bytes of audio the open file holds, written and staged; 0 when closed.
uint64_t WaveBytesHeld();

/// How many more frames the open file can take before its data would pass
/// kWaveMaxDataBytes; 0 when no file is open.
uint64_t WaveFramesLeft();

/// The system's error number (errno) behind the writer's last failed create,
/// write or close; EFBIG for the size limit. 0 when nothing has failed since
/// the last WaveCreate.
int WaveWriterErrno();

/// Sample rate (Hz) of the file open in the writer; 0 when closed.
int32_t WaveWriterRate();

// ---------------------------------------------------------------- reader

/// Walks the chunks of the first `length` bytes of a file. On WAVE_OK writes
/// the format's rate, bits, channels, the data chunk's size and the offset of
/// its first byte. Returns WAVE_OK, WAVE_ERR_SHORT (fewer than 44 bytes, or a
/// chunk head cut off) or WAVE_ERR_FORMAT. Touches no state.
WaveResult WaveParseHeader(const uint8_t* buffer, int32_t length, int32_t& rate, int32_t& bits,
                           int32_t& channels, uint32_t& dataSize, int32_t& dataOffset);

/// The format tag of the "fmt " chunk in the first `length` bytes of a file
/// (kWaveFormatPcm for integer PCM). Returns WAVE_OK, WAVE_ERR_SHORT or WAVE_ERR_FORMAT; writes `formatTag` only
/// on WAVE_OK. Touches no state.
WaveResult WaveParseEncoding(const uint8_t* buffer, int32_t length, uint16_t& formatTag);

/// Reads only the header of the file at `path`; always writes the outputs
/// (0, 0, 0, 0, 44 unless the walk succeeded). Returns WAVE_OK,
/// WAVE_ERR_NOFILE, WAVE_ERR_OPEN or WAVE_ERR_FORMAT. Uses no library state.
WaveResult WaveProbe(const char* path, int32_t& rate, int32_t& bits, int32_t& channels,
                     uint32_t& dataSize, int32_t& dataOffset);

/// Opens `path` for reading (closing a file already open) and loads the first
/// window. Outputs are written only on WAVE_OK. Returns WAVE_OK,
/// WAVE_ERR_NOMEM, WAVE_ERR_OPEN or WAVE_ERR_FORMAT.
WaveResult WaveOpenRead(const char* path, int32_t& rate, int32_t& bits, int32_t& channels,
                        uint32_t& dataSize);

/// Fetches the frame at `position` (frames from the first frame of the data)
/// as a signed 16-bit pair. Positions before the previous window read its
/// first frame; positions past the end read (0, 0). Returns WAVE_OK, or
/// WAVE_ERR_OPEN (outputs untouched) when no file is open.
WaveResult WaveGetSample(int32_t position, int32_t& left, int32_t& right);

/// Fetches `count` frames from `position` on into `frames` (interleaved
/// left, right), exactly as WaveGetSample would for each position in turn.
/// Returns WAVE_OK, or WAVE_ERR_OPEN (nothing written) when no file is open.
WaveResult WaveGetFrames(int32_t position, uint32_t count, int16_t* frames);

/// Closes the file open in the reader and releases its buffer. WAVE_OK.
WaveResult WaveCloseRead();

// ------------------------------------------------------ interpolating reads

/// Linear interpolation between frames n and n+1 (n = x truncated toward 0).
/// Returns WAVE_OK or the first failing WaveGetSample result.
WaveResult WaveGetSampleLinear(double x, int32_t& left, int32_t& right);

/// Cubic convolution over frames n-1..n+2, truncated toward zero (not clamped).
WaveResult WaveGetSampleCubic(double x, int32_t& left, int32_t& right);

/// The same cubic sum as WaveGetSampleCubic, delivered without truncation.
WaveResult WaveGetSampleCubicReal(double x, double& left, double& right);

/// Truncated sinc sum over `taps` frames (at most 200) from n+1-taps/2 on.
/// taps <= 0 gives (0, 0) and reads nothing.
WaveResult WaveGetSampleSinc(double x, int32_t& left, int32_t& right, int32_t taps);

/// The cubic convolution kernel with parameter -1.
double CubicKernel(double t);

/// sin(pi t) / (pi t), 1 at t == 0; returns for every argument.
double Sinc(double t);
