// WM_BUFFER_DONE: the frame-by-frame stillness analysis that lights the
// silence indicator and splits tracks where a long silence ends, and the
// hand-back of the buffer.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "capture/capture_ring.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/recorder_state.h"
#include "recorder/stillness_walk.h"
#include "recorder/string_table.h"
#include "wavefile/wavefile.h"

namespace {

// One frame of the walk: false when frame j needs the careful path (it would
// light the indicator or end a run of at least `tenth`); otherwise counts it.
inline bool QuietFrame(const uint8_t* frames, uint32_t j, int32_t threshold, int32_t tenth, Stillness& s) {
  int32_t left, right;
  ReadFrame(frames, j, left, right);
  if (IsStill(s.prevLeft, s.prevRight, left, right, threshold)) {
    // Saturation first: the run must never be incremented past INT32_MAX.
    if (s.run == INT32_MAX || s.run + 1 == tenth) return false;
    ++s.run;
  } else {
    if (s.run >= tenth) return false;
    s.run = 0;
  }
  s.prevLeft = left;
  s.prevRight = right;
  return true;
}

#if defined(__SSE2__)
// Stillness of four frames j..j+3 against their predecessors (frame j-1 must
// be in the buffer): bit k of the result is set when frame j+k is still.
inline unsigned StillMask4(const uint8_t* frames, uint32_t j, __m128i lowBound, __m128i highBound) {
  const __m128i cur = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 4 * size_t{j}));
  const __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 4 * size_t{j} - 4));
  auto widenLow = [](__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); };
  auto widenHigh = [](__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); };
  const __m128i dLow = _mm_sub_epi32(widenLow(cur), widenLow(prev));    // frames j, j+1
  const __m128i dHigh = _mm_sub_epi32(widenHigh(cur), widenHigh(prev));  // frames j+2, j+3
  auto inside = [&](__m128i d) { return _mm_and_si128(_mm_cmpgt_epi32(d, lowBound), _mm_cmplt_epi32(d, highBound)); };
  // One byte per channel, then one bit per frame where both channels are still.
  const __m128i packed = _mm_packs_epi16(_mm_packs_epi32(inside(dLow), inside(dHigh)), _mm_setzero_si128());
  const unsigned bytes = static_cast<unsigned>(_mm_movemask_epi8(packed));  // bit 2k left, 2k+1 right
  return (bytes & (bytes >> 1)) & 0x55u;  // bit 2k: frame j+k still
}

// The same for sixteen frames j..j+15 (bit 2k: frame j+k still) when the
// threshold is at most 16384, in 16-bit lanes: a difference that saturates
// lies at least 32768 away, so it is never still, as in 32 bits.
inline unsigned StillMask16(const uint8_t* frames, uint32_t j, __m128i lowBound16, __m128i highBound16) {
  auto stillLanes = [&](uint32_t k) {  // the eight samples of frames j+k..j+k+3: all ones where still
    const uint8_t* at = frames + 4 * (size_t{j} + k);
    const __m128i d = _mm_subs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(at - 4)));
    return _mm_and_si128(_mm_cmpgt_epi16(d, lowBound16), _mm_cmplt_epi16(d, highBound16));
  };
  const unsigned low = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(stillLanes(0), stillLanes(4))));
  const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(stillLanes(8), stillLanes(12))));
  const unsigned bits = low | high << 16;  // bit 2k left, 2k+1 right of frame j+k
  return bits & (bits >> 1) & 0x55555555u;
}

// Stillness of eight frames j..j+7 against their predecessors in 16-bit
// lanes, as in StillMask16: all ones in both lanes of a still frame.
__attribute__((target("avx2"))) inline __m256i StillLanes8(const uint8_t* frames, uint32_t j, __m256i lowBound16,
                                                           __m256i highBound16) {
  const uint8_t* at = frames + 4 * size_t{j};
  const __m256i d = _mm256_subs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)),
                                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at - 4)));
  return _mm256_and_si256(_mm256_cmpgt_epi16(d, lowBound16), _mm256_cmpgt_epi16(highBound16, d));
}

// StillMask16 for thirty-two frames j..j+31 with AVX2 (bit 2k: frame j+k still).
__attribute__((target("avx2"))) uint64_t StillMask32(const uint8_t* frames, uint32_t j, int32_t threshold) {
  const __m256i lowBound16 = _mm256_set1_epi16(static_cast<int16_t>(-threshold));
  const __m256i highBound16 = _mm256_set1_epi16(static_cast<int16_t>(threshold));
  // The packs work within 128-bit halves; the permutation puts the bytes back in frame order.
  auto bits16 = [&](uint32_t k) __attribute__((target("avx2"))) {
    const __m256i packed = _mm256_packs_epi16(StillLanes8(frames, j + k, lowBound16, highBound16),
                                              StillLanes8(frames, j + k + 8, lowBound16, highBound16));
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_permute4x64_epi64(packed, 0xD8)));
  };
  const uint64_t bits = bits16(0) | uint64_t{bits16(16)} << 32;  // bit 2k left, 2k+1 right of frame j+k
  return bits & (bits >> 1) & 0x5555555555555555u;
}
#endif

}  // namespace

uint32_t WalkQuietFrames(const uint8_t* frames, uint32_t j, uint32_t end, int32_t threshold, int32_t tenth,
                         Stillness& state) {
  Stillness s = state;
  if (j < end && j == 0) {
    if (!QuietFrame(frames, j, threshold, tenth, s)) {
      state = s;
      return j;
    }
    ++j;
  }
#if defined(__SSE2__)
  const __m128i lowBound = _mm_set1_epi32(-threshold), highBound = _mm_set1_epi32(threshold);
  const bool narrow = threshold <= 16384;
  const __m128i lowBound16 = _mm_set1_epi16(static_cast<int16_t>(narrow ? -threshold : 0));
  const __m128i highBound16 = _mm_set1_epi16(static_cast<int16_t>(narrow ? threshold : 0));
  // Steps of 32 (with AVX2), 16 or 4 frames while they change nothing but the run:
  // all still far from the indicator's threshold (or past it), or some not
  // still while the still frames before the first of them leave the run
  // below the threshold (the run then restarts after the last frame that is
  // not still). Single frames otherwise.
  auto step = [&](uint32_t n, uint64_t still) {
    const uint64_t all = 0x5555555555555555u >> (64 - 2 * n);  // bit 2k: frame j+k still
    const uint64_t moving = ~still & all;
    if (moving != 0 && int64_t{s.run} + __builtin_ctzll(moving) / 2 < tenth) {
      s.run = static_cast<int32_t>(n - 1) - (63 - __builtin_clzll(moving)) / 2;
    } else if (still == all && (s.run >= tenth || s.run < tenth - static_cast<int32_t>(n)) &&
               s.run <= INT32_MAX - static_cast<int32_t>(n)) {
      s.run += static_cast<int32_t>(n);
    } else {
      return false;
    }
    j += n;
    ReadFrame(frames, j - 1, s.prevLeft, s.prevRight);
    return true;
  };
  static const bool avx2 = __builtin_cpu_supports("avx2");
  while (j < end) {
    if (avx2 && narrow && j + 32 <= end && step(32, StillMask32(frames, j, threshold))) continue;
    if (j + 16 <= end) {
      const unsigned still = narrow ? StillMask16(frames, j, lowBound16, highBound16)
                                    : StillMask4(frames, j, lowBound, highBound) |
                                          StillMask4(frames, j + 4, lowBound, highBound) << 8 |
                                          StillMask4(frames, j + 8, lowBound, highBound) << 16 |
                                          StillMask4(frames, j + 12, lowBound, highBound) << 24;
      if (step(16, still)) continue;
    }
    if (j + 4 <= end && step(4, StillMask4(frames, j, lowBound, highBound))) continue;
    if (!QuietFrame(frames, j, threshold, tenth, s)) break;
    ++j;
  }
#else
  for (; j < end; ++j) {
    if (!QuietFrame(frames, j, threshold, tenth, s)) break;
  }
#endif
  state = s;
  return j;
}

intptr_t RecorderEngine::OnBufferDone(uintptr_t wParam, intptr_t lParam) {
  UpdateData(true);
  const int lengthPos = SilenceLengthPos();
  const int levelPos = SilenceLevelPos();
  // Every buffer notice is taken, also while no capture runs, so that the
  // notices of a torn-down ring are known as such.
  const int slot = wParam == MM_WIM_DATA ? TakeCaptureNotice(NoticeWindow(), lParam) : -1;
  if (wParam == MM_WIM_DATA && g_bRecording) {
    if (slot < 0) return 1;  // not one of the current eight: left alone
    WAVEHDR* header = g_pWaveHdr[slot];
    const bool running = AnalyseFrames(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBytesRecorded,
                                       slot, lengthPos, levelPos) &&
                         CheckTrackFile();
    if (running && !HandBackCaptureBuffer(header, m_strDiag)) EndAfterLostCapture();
  }
  UpdateData(false);
  return 1;
}

bool RecorderEngine::AnalyseFrames(const uint8_t* frames, uint32_t bytesRecorded, int slot, int lengthPos,
                                   int levelPos) {
  if (holding_) {
    int64_t stopAt = -1;
    if (!AnalyseHeld(frames, bytesRecorded / 4, lengthPos, levelPos, stopAt)) return false;
    const int32_t run = g_nSilentRun;
    const int64_t silence = active_.levelRule ? (levelRule_.Silent() ? FramePosition() - levelRule_.SilenceStart() : 0)
                                              : run;
    char diag[64];
    std::snprintf(diag, sizeof diag, "%lld,%d,%u", static_cast<long long>(silence), slot, bytesRecorded);
    m_strDiag = diag;
    m_strDiag += silence >= SplitLengthFrames(lengthPos) ? "silent" : "no silent";
    if (stopAt < 0) return true;
    EndRecording(RecordingEnd::Stopped);  // the input has been silent long enough
    return false;
  }
  const int32_t threshold = int32_t{1} << levelPos;
  const int32_t tenth = g_nSampleRate / 10;
  const auto splitLength = static_cast<int32_t>(std::min<int64_t>(SplitLengthFrames(lengthPos), INT32_MAX));
  const bool autoSplit = m_bAutoTrack && splitLength > 0;
  const uint32_t count = bytesRecorded / 4;

  // The run and the previous samples live in locals inside the loop and go
  // back to the process-wide state before anything else can look at them.
  int32_t run = g_nSilentRun, prevLeft = g_nPrevLeft, prevRight = g_nPrevRight;
  auto commit = [&] {
    g_nSilentRun = run;
    g_nPrevLeft = prevLeft;
    g_nPrevRight = prevRight;
  };

  // Frames are handed to the writer in spans: everything since the last
  // track change goes out in one call before the next change, and the rest
  // after the loop. The writer sees the same frames in the same order as
  // with one call per frame.
  uint32_t spanStart = 0;
  auto writeSpan = [&](uint32_t end) {
    if (writer_->PutFrames(frames + 4 * size_t{spanStart}, end - spanStart) == WAVE_OK) return true;
    commit();
    StopCapture();
    EndAfterFailure(RecordingEnd::WriteFailed, IDS_ERR_WRITE);
    return false;
  };
  // A new track before frame j: a long silence just ended, or the file is full.
  auto changeTrackBefore = [&](uint32_t j, TrackStart cause, int32_t silence) {
    if (!writeSpan(j)) return false;
    spanStart = j;
    commit();
    nextCause_ = cause;
    nextSilence_ = silence;
    StartNextTrack();
    return g_bRecording != 0;
  };
  // The frame at which the open file would pass its size limit.
  auto limitIndex = [&](uint32_t from) {
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{from} + writer_->FramesLeft(), UINT32_MAX));
  };
  uint32_t fileFullAt = limitIndex(0);

  for (uint32_t j = 0; j < count; ++j) {
    Stillness quiet{run, prevLeft, prevRight};
    j = WalkQuietFrames(frames, j, std::min(count, fileFullAt), threshold, tenth, quiet);
    run = quiet.run;
    prevLeft = quiet.prevLeft;
    prevRight = quiet.prevRight;
    if (j == count) break;

    // Frame j lights or clears the indicator, ends a long silence, or does
    // not fit the open file.
    int32_t left, right;
    ReadFrame(frames, j, left, right);
    const bool still = IsStill(prevLeft, prevRight, left, right, threshold);
    prevLeft = left;
    prevRight = right;
    blockAt_ = j;  // the position the indicator and a track change are told at
    bool split = false;
    const int32_t endedRun = run;
    if (still) {
      // The run saturates instead of wrapping (after 13 hours of silence at 44.1 kHz).
      if (run != INT32_MAX && ++run == tenth) SetSilentLampText(LoadString(IDS_SILENT));
    } else {
      if (run >= tenth) SetSilentLampText("");
      split = autoSplit && run >= splitLength;
      run = 0;
    }
    if (split || j == fileFullAt) {
      if (!changeTrackBefore(j, split ? TrackStart::Silence : TrackStart::FileFull, split ? endedRun : 0)) {
        return false;
      }
      fileFullAt = limitIndex(j);
    }
  }
  if (!writeSpan(count)) return false;
  commit();
  framesBefore_ += count;
  blockAt_ = 0;
  // The level meter reads the block while the walk has left it in the cache.
  if (levelMeter) levelMeter->Measure(frames, count);
  FramesWalked(frames, count);

  char diag[64];
  std::snprintf(diag, sizeof diag, "%d,%d,%u", run, slot, bytesRecorded);
  m_strDiag = diag;
  m_strDiag += run >= splitLength ? "silent" : "no silent";
  return true;
}
