#include "recorder/track_writer.h"

#include "wavefile/utf8_file.h"
#include "wavefile/wavefile.h"

int WaveTrackWriter::Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) {
  const int created = WaveCreateNew(path.c_str(), rate, bits, channels, 0);
  if (created == WAVE_OK) watch_.Watch(path);
  return created;
}
int WaveTrackWriter::PutFrames(const uint8_t* frames, uint32_t count) { return WavePutFrames(frames, count); }
int WaveTrackWriter::Close() { return WaveClose(); }
bool WaveTrackWriter::IsOpen() const { return WaveWriterRate() != 0; }
uint64_t WaveTrackWriter::FramesLeft() const { return WaveFramesLeft(); }
void WaveTrackWriter::Discard(const std::string& path) { RemoveUtf8File(path.c_str()); }

int DryTrackWriter::Create(const std::string&, int32_t, int32_t bits, int32_t channels) {
  open_ = true;
  frames_ = 0;
  // A real file's limit, as the writer counts it for this layout.
  maxFrames_ = kWaveMaxDataBytes / static_cast<uint32_t>(bits / 8 * channels);
  return WAVE_OK;
}

int DryTrackWriter::PutFrames(const uint8_t*, uint32_t count) {
  if (!open_) return WAVE_ERR_WRITE;
  frames_ += count;
  return WAVE_OK;
}

int DryTrackWriter::Close() {
  open_ = false;
  return WAVE_OK;
}

uint64_t DryTrackWriter::FramesLeft() const { return open_ && frames_ < maxFrames_ ? maxFrames_ - frames_ : 0; }

TrackWriter& DefaultTrackWriter() {
  static WaveTrackWriter writer;
  return writer;
}
