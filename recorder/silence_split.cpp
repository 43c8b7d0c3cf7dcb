// WM_BUFFER_DONE: the frame-by-frame stillness analysis that lights the
// silence indicator and splits tracks where a long silence ends, and the
// hand-back of the buffer.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "capture/capture_ring.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/recorder_state.h"
#include "recorder/string_table.h"
#include "wavefile/wavefile.h"

namespace {

struct Stillness {
  int32_t run, prevLeft, prevRight;
};

// Frame j's two samples, sign-extended.
inline void ReadFrame(const uint8_t* frames, uint32_t j, int32_t& left, int32_t& right) {
  int16_t sample[2];
  std::memcpy(sample, frames + 4 * size_t{j}, 4);
  left = sample[0];
  right = sample[1];
}

// A frame is still when each channel moves by less than the threshold.
inline bool IsStill(int32_t prevLeft, int32_t prevRight, int32_t left, int32_t right, int32_t threshold) {
  return std::abs(prevLeft - left) < threshold && std::abs(prevRight - right) < threshold;
}

// One frame of the walk: false when frame j needs the careful path (it would
// light the indicator or end a run of at least `tenth`); otherwise counts it.
inline bool QuietFrame(const uint8_t* frames, uint32_t j, int32_t threshold, int32_t tenth, Stillness& s) {
  int32_t left, right;
  ReadFrame(frames, j, left, right);
  if (IsStill(s.prevLeft, s.prevRight, left, right, threshold)) {
    if (s.run + 1 == tenth || s.run == INT32_MAX) return false;
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
#endif

// Walks frames [j, end) while nothing happens but the run counting: stops at
// the first frame that would light the indicator (the run reaching `tenth`)
// or end a run of at least `tenth` (clearing it, perhaps splitting), and
// leaves that frame unhandled. Returns its index, or `end`.
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
  // Four frames at a time while they are all sound far from a silence, or all
  // still far from the indicator's threshold.
  const __m128i lowBound = _mm_set1_epi32(-threshold), highBound = _mm_set1_epi32(threshold);
  while (j + 4 <= end) {
    const unsigned still = StillMask4(frames, j, lowBound, highBound);
    if (still == 0 && s.run < tenth) {
      s.run = 0;
    } else if (still == 0x55u && (s.run >= tenth || s.run < tenth - 4) && s.run <= INT32_MAX - 4) {
      s.run += 4;
    } else {
      break;
    }
    j += 4;
    ReadFrame(frames, j - 1, s.prevLeft, s.prevRight);
  }
#endif
  for (; j < end; ++j) {
    if (!QuietFrame(frames, j, threshold, tenth, s)) break;
  }
  state = s;
  return j;
}

}  // namespace

intptr_t RecorderEngine::OnBufferDone(uintptr_t wParam, intptr_t lParam) {
  UpdateData(true);
  const int lengthPos = SilenceLengthPos();
  const int levelPos = SilenceLevelPos();
  if (wParam == MM_WIM_DATA && g_bRecording) {
    const int slot = FindCaptureSlot(lParam);
    if (slot < 0) return 1;  // not one of the current eight: left alone
    WAVEHDR* header = g_pWaveHdr[slot];
    const bool running = AnalyseFrames(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBytesRecorded,
                                       slot, lengthPos, levelPos);
    if (running && !HandBackCaptureBuffer(header, m_strDiag)) {
      EndAfterFailure(RecordingEnd::CaptureFailed, IDS_ERR_RECORD);
    }
  }
  UpdateData(false);
  return 1;
}

bool RecorderEngine::AnalyseFrames(const uint8_t* frames, uint32_t bytesRecorded, int slot, int lengthPos,
                                   int levelPos) {
  const int32_t threshold = int32_t{1} << levelPos;
  const int32_t tenth = g_nSampleRate / 10;
  const int32_t splitLength = tenth * lengthPos;
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
    if (WavePutFrames(frames + 4 * size_t{spanStart}, end - spanStart) == WAVE_OK) return true;
    commit();
    StopCapture();
    EndAfterFailure(RecordingEnd::WriteFailed, IDS_ERR_WRITE);
    return false;
  };
  // A new track before frame j: a long silence just ended, or the file is full.
  auto changeTrackBefore = [&](uint32_t j) {
    if (!writeSpan(j)) return false;
    spanStart = j;
    commit();
    StartNextTrack();
    return g_bRecording != 0;
  };
  // The frame at which the open file would pass its size limit.
  auto limitIndex = [&](uint32_t from) {
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{from} + WaveFramesLeft(), UINT32_MAX));
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
    bool split = false;
    if (still) {
      // The run saturates instead of wrapping (after 13 hours of silence at 44.1 kHz).
      if (run != INT32_MAX && ++run == tenth) SetSilentLampText(LoadString(IDS_SILENT));
    } else {
      if (run >= tenth) SetSilentLampText("");
      split = autoSplit && run >= splitLength;
      run = 0;
    }
    if (split || j == fileFullAt) {
      if (!changeTrackBefore(j)) return false;
      fileFullAt = limitIndex(j);
    }
  }
  if (!writeSpan(count)) return false;
  commit();
  // The level meter reads the block while the walk has left it in the cache.
  if (levelMeter) levelMeter->Measure(frames, count);

  char diag[64];
  std::snprintf(diag, sizeof diag, "%d,%d,%u", run, slot, bytesRecorded);
  m_strDiag = diag;
  m_strDiag += run >= splitLength ? "silent" : "no silent";
  return true;
}
