#include "capture/replay/replay_input.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#endif
#include <sndfile.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "capture/raw_frame_queue.h"
#include "capture/replay/wav_data_chunk.h"
#include "wavefile/utf8_file.h"

namespace {

constexpr int kStdinFd = 0;

// Stated data sizes that only hold a place: 0 from a writer that never came
// back to its header, 0xFFFFFFFF (ffmpeg), 0x7FFFFFFF (arecord) and sox's
// 0x7FFFF000 (less what makes it whole frames of `bytesPerFrame`) from
// writers that stream. The data then runs to the end of the input. Any other
// size is the data's own, however large: a chunk after it is no audio.
bool PlaceholderSize(uint64_t stated, bool rf64, uint64_t bytesPerFrame) {
  if (stated == 0) return true;
  if (rf64) return false;
  const uint64_t sox = 0x7FFFF000u;
  return stated == 0xFFFFFFFFu || stated == 0x7FFFFFFFu || stated == sox || stated == sox - sox % bytesPerFrame;
}

// The encoding of a libsndfile format by name, as a user would say it.
std::string EncodingName(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return "8-bit PCM";
    case SF_FORMAT_PCM_16: return "16-bit PCM";
    case SF_FORMAT_PCM_24: return "24-bit PCM";
    case SF_FORMAT_PCM_32: return "32-bit PCM";
    case SF_FORMAT_FLOAT: return "32-bit float";
    case SF_FORMAT_DOUBLE: return "64-bit float";
    case SF_FORMAT_ULAW: return "u-law";
    case SF_FORMAT_ALAW: return "A-law";
    case SF_FORMAT_IMA_ADPCM: return "IMA ADPCM";
    case SF_FORMAT_MS_ADPCM: return "Microsoft ADPCM";
    default: break;
  }
  SF_FORMAT_INFO info{};
  info.format = format & SF_FORMAT_SUBMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) return info.name;
  return "an encoding that is not PCM";
}

// The bits of a sample in an encoding a recording keeps (8-, 16-, 24- or
// 32-bit PCM, 32-bit float), else 0.
int32_t KeptBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    default: return 0;
  }
}

bool IsWavContainer(int format) {
  const int major = format & SF_FORMAT_TYPEMASK;
  return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

// Reads up to `bytes` bytes from the file descriptor `fd`, as many as the
// input gives before its end (a pipe gives them in pieces). Without stdio's
// buffer: the frames go straight into the capture buffers. `failed` tells
// whether a read failed (errno then says why).
size_t ReadFully(int fd, void* into, size_t bytes, bool* failed = nullptr) {
  size_t done = 0;
  while (done < bytes) {
#ifdef _WIN32
    const int step = static_cast<int>(std::min<size_t>(bytes - done, 1u << 30));
    const int n = _read(fd, static_cast<char*>(into) + done, static_cast<unsigned>(step));
#else
    const ssize_t n = ::read(fd, static_cast<char*>(into) + done, bytes - done);
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && failed) *failed = true;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// A stretch of memory one read fills.
struct ReadPiece {
  char* at;
  size_t bytes;
};

// Fills `pieces` in order from `fd` as ReadFully fills one: as many bytes as
// the input gives before its end. One system call fills them all where the
// input allows (readv), so a fast replay of many capture buffers costs one
// read for all of them. Returns the bytes read.
size_t ReadPiecesFully(int fd, ReadPiece* pieces, size_t count, bool* failed) {
#ifdef _WIN32
  size_t done = 0;
  for (size_t k = 0; k < count; ++k) {
    const size_t n = ReadFully(fd, pieces[k].at, pieces[k].bytes, failed);
    done += n;
    if (n < pieces[k].bytes) break;
  }
  return done;
#else
  iovec iov[kMaxReadPieces];
  count = std::min(count, kMaxReadPieces);
  for (size_t k = 0; k < count; ++k) iov[k] = {pieces[k].at, pieces[k].bytes};
  iovec* next = iov;
  size_t left = count;
  size_t done = 0;
  while (left > 0) {
    const ssize_t n = ::readv(fd, next, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && failed) *failed = true;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
    // Steps past the pieces filled, and into the one filled in part.
    size_t rest = static_cast<size_t>(n);
    while (left > 0 && rest >= next->iov_len) {
      rest -= next->iov_len;
      ++next;
      --left;
    }
    if (left > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + rest;
      next->iov_len -= rest;
    }
  }
  return done;
#endif
}

void AppendLe32(std::vector<uint8_t>& bytes, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

// A clearer reason than libsndfile's ("SF_INFO struct incomplete") for a WAV
// header whose format chunk, found in the file's first `n` bytes, gives a
// sample rate of 0 or past 2^31 - 1, or a channel count of 0; "" otherwise.
std::string EmptyFormatReason(const uint8_t* bytes, size_t n) {
  if (n < 12 || (std::memcmp(bytes, "RIFF", 4) != 0 && std::memcmp(bytes, "RF64", 4) != 0) ||
      std::memcmp(bytes + 8, "WAVE", 4) != 0) {
    return "";
  }
  for (uint64_t at = 12; at + 8 <= n;) {
    const uint32_t size = Le32(bytes + at + 4);
    if (std::memcmp(bytes + at, "fmt ", 4) == 0) {
      if (size < 8 || at + 16 > n) return "";
      // libsndfile takes the rate as a signed number: past 2^31 - 1 it is as unusable as 0.
      const uint32_t rate = Le32(bytes + at + 12);
      if (rate == 0 || rate > 0x7FFFFFFFu) {
        return "the WAV header gives a sample rate of " + std::to_string(rate) + " Hz";
      }
      if ((bytes[at + 10] | bytes[at + 11] << 8) == 0) return "the WAV header gives 0 channels";
      return "";
    }
    at += 8 + uint64_t{size} + (size & 1);
  }
  return "";
}

// The reason a file libsndfile refused cannot be opened: EmptyFormatReason's
// when its header shows one, libsndfile's own otherwise.
std::string OpenFailureReason(const std::string& path) {
  std::string why = sf_strerror(nullptr);
  std::FILE* file = OpenUtf8File(path.c_str(), "rb");
  if (!file) return why;
  std::vector<uint8_t> head(65536);
  head.resize(std::fread(head.data(), 1, head.size(), file));
  std::fclose(file);
  const std::string clearer = EmptyFormatReason(head.data(), head.size());
  return clearer.empty() ? why : clearer;
}

// A WAV stream's head, read from `in` up to the first byte of its data: the
// format chunk (kept), the data size it states, and a short RIFF file made of
// the format chunk and an empty data chunk, for libsndfile to tell the layout.
struct StreamHead {
  std::vector<uint8_t> header;
  uint64_t statedSize = 0;
  bool rf64 = false;
};

bool ReadStreamHead(int in, StreamHead& head, std::string& why) {
  uint8_t riff[12];
  if (ReadFully(in, riff, 12) != 12 || (std::memcmp(riff, "RIFF", 4) != 0 && std::memcmp(riff, "RF64", 4) != 0 &&
                                        std::memcmp(riff, "BW64", 4) != 0) ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    why = "the stream does not begin with a RIFF or RF64 WAV header";
    return false;
  }
  head.rf64 = std::memcmp(riff, "RIFF", 4) != 0;
  std::vector<uint8_t> fmt;
  uint64_t ds64DataSize = 0;
  std::vector<uint8_t> body;
  for (;;) {
    uint8_t chunk[8];
    if (ReadFully(in, chunk, 8) != 8) {
      why = "the WAV stream ends before its data chunk";
      return false;
    }
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      head.statedSize = (head.rf64 && size == 0xFFFFFFFFu) ? ds64DataSize : size;
      break;
    }
    const uint64_t padded = uint64_t{size} + (size & 1u);
    const bool keep = std::memcmp(chunk, "fmt ", 4) == 0 || std::memcmp(chunk, "ds64", 4) == 0;
    if (keep && padded > 65536) {
      why = "the WAV stream has a format chunk of " + std::to_string(size) + " bytes";
      return false;
    }
    // Chunks before the data are read through; only the format is kept.
    body.resize(static_cast<size_t>(std::min<uint64_t>(padded, 65536)));
    for (uint64_t left = padded; left > 0;) {
      const size_t step = static_cast<size_t>(std::min<uint64_t>(left, body.size()));
      if (ReadFully(in, body.data(), step) != step) {
        why = "the WAV stream ends before its data chunk";
        return false;
      }
      left -= step;
    }
    if (std::memcmp(chunk, "fmt ", 4) == 0) fmt.assign(body.begin(), body.begin() + size);
    if (std::memcmp(chunk, "ds64", 4) == 0 && size >= 16) {
      ds64DataSize = Le32(body.data() + 8) | uint64_t{Le32(body.data() + 12)} << 32;
    }
  }
  if (fmt.empty()) {
    why = "the WAV stream has no format chunk before its data";
    return false;
  }
  const uint32_t fmtPadded = static_cast<uint32_t>(fmt.size() + (fmt.size() & 1u));
  head.header.assign({'R', 'I', 'F', 'F'});
  AppendLe32(head.header, 4 + 8 + fmtPadded + 8);
  head.header.insert(head.header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  AppendLe32(head.header, static_cast<uint32_t>(fmt.size()));
  head.header.insert(head.header.end(), fmt.begin(), fmt.end());
  if (fmt.size() & 1u) head.header.push_back(0);
  head.header.insert(head.header.end(), {'d', 'a', 't', 'a'});
  AppendLe32(head.header, 0);
  return true;
}

// libsndfile's view of bytes in memory.
struct MemoryFile {
  const std::vector<uint8_t>* bytes;
  sf_count_t at = 0;
};

SF_VIRTUAL_IO MemoryIo() {
  SF_VIRTUAL_IO io{};
  io.get_filelen = [](void* user) -> sf_count_t {
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes->size());
  };
  io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
    auto* m = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(m->bytes->size());
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : size;
    m->at = std::clamp<sf_count_t>(base + offset, 0, size);
    return m->at;
  };
  io.read = [](void* into, sf_count_t count, void* user) -> sf_count_t {
    auto* m = static_cast<MemoryFile*>(user);
    const sf_count_t n = std::min<sf_count_t>(count, static_cast<sf_count_t>(m->bytes->size()) - m->at);
    std::memcpy(into, m->bytes->data() + m->at, static_cast<size_t>(n));
    m->at += n;
    return n;
  };
  io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
  io.tell = [](void* user) -> sf_count_t { return static_cast<MemoryFile*>(user)->at; };
  return io;
}

// The layout of the WAV stream whose head is `head`, as libsndfile tells it
// from the head's format chunk. False with the reason in `why` when it cannot.
bool ProbeHead(const StreamHead& head, SF_INFO& info, std::string& why) {
  MemoryFile memory{&head.header};
  SF_VIRTUAL_IO io = MemoryIo();
  SNDFILE* probe = sf_open_virtual(&io, SFM_READ, &info, &memory);
  if (!probe) {
    why = EmptyFormatReason(head.header.data(), head.header.size());
    if (why.empty()) why = sf_strerror(nullptr);
    return false;
  }
  sf_close(probe);
  return true;
}

// Spreads `count` frames of `bytesPerFrame` raw bytes (8-bit unsigned or
// 16-bit little-endian, mono or stereo), which stand at the start of
// `frames`, over the whole of it as 16-bit stereo. Back to front, so that
// no sample is overwritten before it is read.
void SpreadToStereo(int16_t* frames, uint32_t count, int32_t bits, int32_t channels) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(frames);
  if (bits == 16 && channels == 2) return;
  for (uint32_t i = count; i-- > 0;) {
    int16_t left, right;
    if (bits == 16) {
      int16_t s;
      std::memcpy(&s, bytes + 2 * size_t{i}, 2);
      left = right = s;
    } else if (channels == 2) {
      left = static_cast<int16_t>((bytes[2 * size_t{i}] - 128) * 256);
      right = static_cast<int16_t>((bytes[2 * size_t{i} + 1] - 128) * 256);
    } else {
      left = right = static_cast<int16_t>((bytes[i] - 128) * 256);
    }
    frames[2 * size_t{i}] = left;
    frames[2 * size_t{i} + 1] = right;
  }
}

// One sample of a wide layout (24- or 32-bit little-endian PCM, or 32-bit
// float) as 16 bits: the integer's top 16 bits, the float × 32768 floored
// and clamped (NaN as 0).
int16_t WideTo16(const uint8_t* at, int32_t bits, bool floating) {
  if (bits == 24) {
    const int32_t v = static_cast<int32_t>(uint32_t{at[0]} << 8 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 24);
    return static_cast<int16_t>(v >> 16);
  }
  const uint32_t word = Le32(at);
  if (!floating) return static_cast<int16_t>(static_cast<int32_t>(word) >> 16);
  float f;
  std::memcpy(&f, &word, 4);
  const double scaled = std::floor(double{f} * 32768.0);
  if (!(scaled == scaled)) return 0;
  return static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

// Converts `count` frames of a wide layout at `raw` into `frames` as 16-bit
// stereo; mono gives both channels equal.
void WideToStereo(const uint8_t* raw, uint32_t count, int32_t bits, bool floating, int32_t channels,
                  int16_t* frames) {
  const size_t bytes = size_t(bits / 8);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* at = raw + size_t{i} * bytes * size_t(channels);
    const int16_t left = WideTo16(at, bits, floating);
    frames[2 * size_t{i}] = left;
    frames[2 * size_t{i} + 1] = channels == 2 ? WideTo16(at + bytes, bits, floating) : left;
  }
}

}  // namespace

// Where the frames come from: a WAV file's or stream's data read straight
// (little-endian PCM or float), or libsndfile for everything else.
class ReplayInput::Source {
 public:
  ~Source() {
    if (sndfile) sf_close(sndfile);
    if (file) std::fclose(file);
#ifndef _WIN32
    if (streamFd > kStdinFd) ::close(streamFd);
#endif
  }
  std::FILE* file = nullptr;     // a WAV file whose data is read straight from `fd`
  int fd = -1;                   // the data, read straight: the file's, or the stream's
  int streamFd = -1;             // a stream: standard input, or a pipe opened by name
  SNDFILE* sndfile = nullptr;    // or through libsndfile
  int32_t bits = 16, channels = 2;
  bool floating = false;

  /// Wide layouts: reads up to `count` frames as the track file holds them
  /// (little-endian, the input's bits and channels) into `raw`, straight
  /// from the data or through libsndfile. Returns the frames read; a failed
  /// read leaves its reason in `why`.
  size_t ReadRaw(size_t count, std::string& why);
  std::vector<uint8_t> raw;  // the frames ReadRaw read last

  /// Fills `pieces` in order from `fd` as ReadPiecesFully does, the bytes
  /// read ahead first. Returns the bytes read.
  size_t ReadPieces(const ReadPiece* pieces, size_t count, bool* failed);
  std::vector<uint8_t> ahead;  // a stream's first frame, read at Open and delivered first
  StreamHead streamHead;       // a file read as a stream: its head

 private:
  std::vector<int32_t> ints_;    // libsndfile's integer samples, before they become bytes
  std::vector<float> floats_;    // or its float samples
};

size_t ReplayInput::Source::ReadRaw(size_t count, std::string& why) {
  const size_t bytesPerSample = size_t(bits / 8);
  const size_t bytesPerFrame = bytesPerSample * size_t(channels);
  raw.resize(count * bytesPerFrame);
  if (!sndfile) {
    bool failed = false;
    const ReadPiece all{reinterpret_cast<char*>(raw.data()), raw.size()};
    const size_t bytes = ReadPieces(&all, 1, &failed);
    if (failed) why = std::strerror(errno);
    return bytes / bytesPerFrame;
  }
  const size_t samples = count * size_t(channels);
  sf_count_t n = 0;
  if (floating) {
    floats_.resize(samples);
    n = sf_readf_float(sndfile, floats_.data(), static_cast<sf_count_t>(count));
  } else {
    ints_.resize(samples);
    n = sf_readf_int(sndfile, ints_.data(), static_cast<sf_count_t>(count));
  }
  const size_t frames = static_cast<size_t>(std::max<sf_count_t>(0, n));
  if (frames < count && sf_error(sndfile) != SF_ERR_NO_ERROR) why = sf_strerror(sndfile);
  // libsndfile gives integers in the top bits of 32, floats as they are.
  for (size_t k = 0; k < frames * size_t(channels); ++k) {
    uint32_t word;
    if (floating) {
      std::memcpy(&word, &floats_[k], 4);
    } else {
      word = static_cast<uint32_t>(ints_[k]) >> (32 - bits);
    }
    for (size_t b = 0; b < bytesPerSample; ++b) raw[k * bytesPerSample + b] = static_cast<uint8_t>(word >> (8 * b));
  }
  return frames;
}

size_t ReplayInput::Source::ReadPieces(const ReadPiece* pieces, size_t count, bool* failed) {
  ReadPiece rest[kMaxReadPieces];
  count = std::min(count, kMaxReadPieces);
  std::copy(pieces, pieces + count, rest);
  size_t done = 0, k = 0, used = 0;
  while (used < ahead.size() && k < count) {
    const size_t n = std::min(ahead.size() - used, rest[k].bytes);
    std::memcpy(rest[k].at, ahead.data() + used, n);
    rest[k].at += n;
    rest[k].bytes -= n;
    used += n;
    done += n;
    if (rest[k].bytes == 0) ++k;
  }
  ahead.erase(ahead.begin(), ahead.begin() + static_cast<std::ptrdiff_t>(used));
  if (!ahead.empty()) return done;  // every piece was filled from what was read ahead
  return done + ReadPiecesFully(fd, rest + k, count - k, failed);
}

namespace {

// Opens the WAV file at `path` by reading its head as a stream's is: true
// with `info` (the layout), `source.file` (open at its data) and `dataOffset`
// when libsndfile takes its format chunk.
bool OpenHeadAsStream(const std::string& path, ReplayInput::Source& source, SF_INFO& info, uint64_t& dataOffset) {
  std::FILE* file = OpenUtf8File(path.c_str(), "rb");
  if (!file) return false;
  std::string unused;
#ifdef _WIN32
  const int fd = _fileno(file);
  const int64_t at = ReadStreamHead(fd, source.streamHead, unused) && ProbeHead(source.streamHead, info, unused)
                         ? _lseeki64(fd, 0, SEEK_CUR)
                         : -1;
#else
  const int fd = fileno(file);
  const int64_t at = ReadStreamHead(fd, source.streamHead, unused) && ProbeHead(source.streamHead, info, unused)
                         ? ::lseek(fd, 0, SEEK_CUR)
                         : -1;
#endif
  if (at < 0) {
    std::fclose(file);
    return false;
  }
  source.file = file;
  dataOffset = static_cast<uint64_t>(at);
  return true;
}

}  // namespace

ReplayInput::ReplayInput() = default;
ReplayInput::~ReplayInput() = default;

bool ReplayInput::Open(const std::string& path, std::string& why) {
  auto source = std::make_unique<Source>();
  SF_INFO info{};
  uint64_t statedSize = 0, dataOffset = 0;
  bool rf64 = false, located = false;
  if (path == kStandardInput) {
#ifdef _WIN32
    _setmode(kStdinFd, _O_BINARY);
#endif
    source->streamFd = kStdinFd;
  }
#ifndef _WIN32
  // A pipe given by name (bash's <(...) gives /dev/fd/63) is read once, as a stream.
  struct stat st {};
  if (source->streamFd < 0 && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    source->streamFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (source->streamFd < 0) {
      why = std::strerror(errno);
      return false;
    }
  }
#endif
  if (source->streamFd >= 0) {
    StreamHead head;
    if (!ReadStreamHead(source->streamFd, head, why) || !ProbeHead(head, info, why)) return false;
    source->fd = source->streamFd;
    statedSize = head.statedSize;
    rf64 = head.rf64;
    located = true;
  } else {
#ifdef _WIN32
    const std::wstring wide = WideFromUtf8(path);
    source->sndfile = sf_wchar_open(wide.c_str(), SFM_READ, &info);
#else
    source->sndfile = sf_open(path.c_str(), SFM_READ, &info);
#endif
    if (!source->sndfile) {
      why = OpenFailureReason(path);
      // libsndfile refuses some WAV files whose bytes it takes as a stream
      // (RF64 with an odd-sized chunk and its pad byte before the data):
      // their head is read as a stream's is, and their data straight.
      if (!OpenHeadAsStream(path, *source, info, dataOffset)) return false;
      why.clear();
      statedSize = source->streamHead.statedSize;
      rf64 = source->streamHead.rf64;
      located = true;
    }
  }

  layout_ = ReplayLayout{};
  layout_.rate = info.samplerate;
  layout_.channels = info.channels;
  layout_.encoding = EncodingName(info.format);
  const int32_t bits = KeptBits(info.format);
  layout_.keptBits = (bits != 0 && (info.channels == 1 || info.channels == 2)) ? bits : 0;
  layout_.floating = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
  source->bits = bits;
  source->channels = info.channels;
  source->floating = layout_.floating;
  if (layout_.keptBits == 0) {
    source_ = std::move(source);  // the layout is reported; nothing will be read
    return true;
  }
  const int64_t bytesPerFrame = int64_t{bits / 8} * info.channels;

  if (!located && IsWavContainer(info.format)) {
    // A WAV file in a layout that is kept: its data is read straight, from
    // the data chunk, for as many frames as the file holds.
    std::FILE* file = OpenUtf8File(path.c_str(), "rb");
    WavDataChunk chunk;
    if (file && FindWavDataChunk(file, chunk)) {
      source->file = file;
      statedSize = chunk.statedSize;
      dataOffset = chunk.offset;
      rf64 = chunk.rf64;
      located = true;
    } else if (file) {
      std::fclose(file);
    }
  }

  if (source->streamFd >= 0) {
    // A stream's length is its stated size, unless that only holds a place.
    layout_.frames = PlaceholderSize(statedSize, rf64, static_cast<uint64_t>(bytesPerFrame))
                         ? -1
                         : static_cast<int64_t>(statedSize) / bytesPerFrame;
    // Its first frame is read ahead: a stream without one is refused as a
    // file without one is, before anything is created.
    if (layout_.frames != 0) {
      source->ahead.resize(static_cast<size_t>(bytesPerFrame));
      bool failed = false;
      if (ReadFully(source->fd, source->ahead.data(), source->ahead.size(), &failed) < source->ahead.size()) {
        if (failed) {
          why = std::strerror(errno);
          return false;
        }
        source->ahead.clear();
        layout_.frames = 0;
      }
    }
    layout_.statedFrames = layout_.frames;
  } else if (located) {
#ifdef _WIN32
    const bool sought = _fseeki64(source->file, 0, SEEK_END) == 0;
    const int64_t size = sought ? _ftelli64(source->file) : -1;
    source->fd = _fileno(source->file);
    const bool atData = _lseeki64(source->fd, static_cast<long long>(dataOffset), SEEK_SET) >= 0;
#else
    const bool sought = fseeko(source->file, 0, SEEK_END) == 0;
    const int64_t size = sought ? ftello(source->file) : -1;
    source->fd = fileno(source->file);
    const bool atData = ::lseek(source->fd, static_cast<off_t>(dataOffset), SEEK_SET) >= 0;
#endif
    if (size < 0 || !atData) {
      why = std::strerror(errno);
      return false;
    }
    const int64_t held = std::max<int64_t>(0, size - static_cast<int64_t>(dataOffset)) / bytesPerFrame;
    const bool placeholder = PlaceholderSize(statedSize, rf64, static_cast<uint64_t>(bytesPerFrame));
    const int64_t stated = placeholder ? held : static_cast<int64_t>(statedSize / static_cast<uint64_t>(bytesPerFrame));
    layout_.frames = std::min(held, stated);
    layout_.statedFrames = stated;
    // The data is read straight from here on; libsndfile has told the layout.
    if (source->sndfile) sf_close(source->sndfile);
    source->sndfile = nullptr;
  } else {
    layout_.frames = info.frames;
    layout_.statedFrames = info.frames;
  }
  framesRead_ = 0;
  ended_ = false;
  readError_.clear();
  source_ = std::move(source);
  return true;
}

uint32_t ReplayInput::ReadStereo(int16_t* frames, uint32_t count) {
  uint32_t got = 0;
  ReadStereo(&frames, &count, &got, 1);
  return got;
}

void ReplayInput::ReadStereo(int16_t* const* buffers, const uint32_t* counts, uint32_t* got, size_t n) {
  std::fill(got, got + n, 0u);
  if (!source_ || layout_.keptBits == 0) return;
  // What the input still holds, as far as it is known.
  int64_t left = layout_.frames >= 0 ? std::max<int64_t>(0, layout_.frames - framesRead_) : INT64_MAX;
  uint32_t want[kMaxReadPieces];
  n = std::min(n, kMaxReadPieces);
  uint64_t wanted = 0;
  for (size_t k = 0; k < n; ++k) {
    want[k] = static_cast<uint32_t>(std::min<int64_t>(left, counts[k]));
    left -= want[k];
    wanted += want[k];
  }
  if (wanted == 0) return;
  uint64_t total = 0;
  if (Wide()) {
    // The input's frames are read as they are, kept when asked, and given to
    // the buffers as 16-bit stereo.
    const size_t frames = source_->ReadRaw(wanted, readError_);
    const size_t bytesPerFrame = size_t(source_->bits / 8) * size_t(source_->channels);
    size_t at = 0;
    for (size_t k = 0; k < n; ++k) {
      got[k] = static_cast<uint32_t>(std::min<size_t>(want[k], frames - at));
      WideToStereo(source_->raw.data() + at * bytesPerFrame, got[k], source_->bits, source_->floating,
                   source_->channels, buffers[k]);
      at += got[k];
      total += got[k];
      if (got[k] < want[k]) break;
    }
    if (rawFrames_ && frames > 0) rawFrames_->Put(source_->raw.data(), frames);
  } else if (source_->sndfile) {
    // libsndfile delivers 16-bit samples in the input's channel count.
    for (size_t k = 0; k < n; ++k) {
      if (want[k] == 0) break;
      got[k] = static_cast<uint32_t>(std::max<sf_count_t>(0, sf_readf_short(source_->sndfile, buffers[k], want[k])));
      if (source_->channels == 1) SpreadToStereo(buffers[k], got[k], 16, 1);
      total += got[k];
      if (got[k] < want[k]) {
        if (sf_error(source_->sndfile) != SF_ERR_NO_ERROR) readError_ = sf_strerror(source_->sndfile);
        break;
      }
    }
  } else {
    // Each buffer takes its frames in the input's layout at its front; they
    // are spread to 16-bit stereo in place afterwards.
    const size_t bytesPerFrame = size_t(source_->bits / 8) * size_t(source_->channels);
    ReadPiece pieces[kMaxReadPieces];
    for (size_t k = 0; k < n; ++k) pieces[k] = {reinterpret_cast<char*>(buffers[k]), want[k] * bytesPerFrame};
    bool failed = false;
    size_t bytes = source_->ReadPieces(pieces, n, &failed);
    if (failed) readError_ = std::strerror(errno);
    for (size_t k = 0; k < n && bytes > 0; ++k) {
      const size_t here = std::min(bytes, pieces[k].bytes);
      got[k] = static_cast<uint32_t>(here / bytesPerFrame);
      SpreadToStereo(buffers[k], got[k], source_->bits, source_->channels);
      total += got[k];
      bytes -= here;
    }
  }
  if (total < wanted) ended_ = true;
  framesRead_ += static_cast<int64_t>(total);
}
