// The held walk: what the engine does when more than the plain stillness
// split is asked for (the level rule, a lead-in, a minimum track length, a
// trim, an end after a long silence). Frames go into a hold first and are
// written only once they are far enough behind the walk that no split can
// fall before them; a split is placed in the hold, so no frame is written
// twice and none is lost. Both rules feed the same steps.
#include <algorithm>
#include <climits>
#include <cmath>

#include "capture/capture_ring.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/recorder_state.h"
#include "recorder/stillness_walk.h"
#include "recorder/string_table.h"
#include "wavefile/wavefile.h"

namespace {

int64_t Frames(double seconds, int32_t rate) { return std::llround(seconds * rate); }

}  // namespace

int64_t RecorderEngine::SplitLengthFrames(int lengthPos) const {
  if (split.silenceSeconds > 0) return std::max<int64_t>(1, Frames(split.silenceSeconds, g_nSampleRate));
  return int64_t{g_nSampleRate / 10} * lengthPos;
}

void RecorderEngine::StartHolding() {
  active_ = split;
  holding_ = active_.HoldsFrames();
  heard_ = false;
  lampLit_ = false;
  trimmedBefore_ = trimmedAfter_ = 0;
  nothingHeard_ = false;
  written_ = 0;
  if (!holding_) return;
  const int32_t rate = g_nSampleRate;
  leadIn_ = Frames(active_.leadInSeconds, rate);
  minTrack_ = Frames(active_.minTrackSeconds, rate);
  stopAfter_ = Frames(active_.stopAfterSilenceSeconds, rate);
  // The level rule knows a silence has ended a few blocks after its sound
  // began, so its writing stays that much further behind.
  holdFrames_ = leadIn_ + (active_.levelRule ? int64_t{LevelRule::kOnsetBlocks + 1} * (rate / 100 + 1) : 0);
  levelRule_.Start(rate, active_.automaticThreshold, active_.thresholdDb);
  held_.Reset(0, static_cast<uint64_t>(holdFrames_) + kCaptureBufferBytes / 4);
}

bool RecorderEngine::AnalyseHeld(const uint8_t* frames, uint32_t count, int lengthPos, int levelPos,
                                 int64_t& stopAt) {
  held_.Lend(frames, count);
  const bool walked = active_.levelRule ? WalkLevelHeld(frames, count, lengthPos, stopAt)
                                        : WalkStillnessHeld(frames, count, lengthPos, levelPos, stopAt);
  if (!walked) {
    held_.Settle();
    return false;
  }
  const int64_t end = stopAt >= 0 ? stopAt : framesBefore_ + count;
  if (stopAt >= 0) held_.ForgetFrom(stopAt);
  // The level rule's end of side may fall in the block before this one.
  const auto walkedHere = static_cast<uint32_t>(std::max<int64_t>(0, end - framesBefore_));
  blockAt_ = 0;
  framesBefore_ = end;
  if (levelMeter) levelMeter->Measure(frames, walkedHere);
  FramesWalked(frames, walkedHere);
  // What no split can reach any more goes to the track file; what is left
  // of the block is copied before its buffer goes back.
  const bool written = stopAt >= 0 || WriteHeld(end - holdFrames_);
  held_.Settle();
  return written;
}

bool RecorderEngine::WalkStillnessHeld(const uint8_t* frames, uint32_t count, int lengthPos, int levelPos,
                                       int64_t& stopAt) {
  const int32_t threshold = int32_t{1} << levelPos;
  const int32_t tenth = g_nSampleRate / 10;
  const int64_t splitLength = SplitLengthFrames(lengthPos);
  Stillness s{g_nSilentRun, g_nPrevLeft, g_nPrevRight};
  auto commit = [&] {
    g_nSilentRun = s.run;
    g_nPrevLeft = s.prevLeft;
    g_nPrevRight = s.prevRight;
  };
  auto stopDue = [&] { return stopAfter_ > 0 && heard_ && s.run >= stopAfter_; };
  uint32_t j = 0;
  while (j < count) {
    // Until the first sound every frame is looked at; after it, the quiet
    // stretches go by in the fast walk (never past the end of side).
    if (heard_) {
      const uint32_t limit =
          stopAfter_ > 0 ? static_cast<uint32_t>(std::min<int64_t>(count, j + std::max<int64_t>(1, stopAfter_ - s.run)))
                         : count;
      j = WalkQuietFrames(frames, j, limit, threshold, tenth, s);
      if (stopDue()) break;
      if (j == count) break;
      if (j == limit) continue;
    }
    int32_t left, right;
    ReadFrame(frames, j, left, right);
    const bool still = IsStill(s.prevLeft, s.prevRight, left, right, threshold);
    s.prevLeft = left;
    s.prevRight = right;
    blockAt_ = j;
    if (still) {
      if (s.run != INT32_MAX && ++s.run == tenth) SetSilentLampText(LoadString(IDS_SILENT));
    } else {
      if (s.run >= tenth) SetSilentLampText("");
      const int64_t at = framesBefore_ + j;
      const int64_t silence = s.run;
      s.run = 0;
      commit();
      if (!SilenceEnded(at - silence, at, splitLength)) return false;
    }
    ++j;
    if (stopDue()) break;
  }
  commit();
  if (stopDue()) stopAt = framesBefore_ + j;
  return true;
}

void RecorderEngine::MeasureLevelsFrom(const RawFrameQueue* frames, const LevelRule::WideLayout& layout) {
  levelFrames_ = frames;
  levelLayout_ = layout;
  levelBytes_.assign(frames ? size_t{kCaptureBufferBytes} / 4 * frames->BytesPerFrame() : 0, 0);
}

bool RecorderEngine::WalkLevelHeld(const uint8_t* frames, uint32_t count, int lengthPos, int64_t& stopAt) {
  const int32_t tenth = g_nSampleRate / 10;
  const int64_t splitLength = SplitLengthFrames(lengthPos);
  // A wide input is measured in its own frames, which wait in the queue
  // until they are written, behind this walk.
  const size_t wideBytes = levelFrames_ ? levelFrames_->BytesPerFrame() : 0;
  if (levelBytes_.size() < size_t{count} * wideBytes) levelBytes_.resize(size_t{count} * wideBytes);
  const bool wide =
      levelFrames_ && levelFrames_->Peek(static_cast<uint64_t>(framesBefore_), levelBytes_.data(), count) == count;
  uint32_t j = 0;
  while (j < count) {
    j += wide ? levelRule_.TakeWide(levelBytes_.data() + wideBytes * j, count - j, levelLayout_)
              : levelRule_.Take(frames + 4 * size_t{j}, count - j);
    if (!levelRule_.BlockDone()) break;
    LevelMeasured(levelRule_.BlockStart(), levelRule_.BlockLevelDb(), levelRule_.ThresholdDb());
    const int64_t start = levelRule_.SilenceStart();
    if (levelRule_.Silent()) {
      if (!lampLit_ && levelRule_.BlockEnd() - start >= tenth) {
        lampLit_ = true;
        blockAt_ = start + tenth - framesBefore_;
        SetSilentLampText(LoadString(IDS_SILENT));
      }
      if (stopAfter_ > 0 && heard_ && levelRule_.BlockEnd() - start >= stopAfter_) {
        stopAt = start + stopAfter_;
        return true;
      }
    } else if (levelRule_.SilenceEnded()) {
      const int64_t onset = levelRule_.Onset();
      blockAt_ = onset - framesBefore_;
      if (lampLit_) {
        lampLit_ = false;
        SetSilentLampText("");
      }
      if (!SilenceEnded(start, onset, splitLength)) return false;
    }
  }
  return true;
}

// A silence from `start` ended with the sound at `onset`: the first sound of
// the recording, or perhaps a split, placed the lead-in before the sound but
// never before the silence began nor before the open track. Returns false
// when the recording has ended.
bool RecorderEngine::SilenceEnded(int64_t start, int64_t onset, int64_t splitLength) {
  if (!heard_) {
    SoundHeard(onset);
    if (active_.trim) return true;  // the trim has left the silence before it out
  }
  const int64_t length = onset - start;
  if (!m_bAutoTrack || length < g_nSampleRate / 10) return true;
  if (length < splitLength) {
    SilenceNotSplit(start, length, Unsplit::TooShort);
    return true;
  }
  const int64_t at = std::max({start, onset - leadIn_, trackFirst_, held_.Begin()});
  if (at - trackFirst_ < std::max<int64_t>(minTrack_, 1)) {
    if (at > trackFirst_) SilenceNotSplit(start, length, Unsplit::InsideMinTrack);
    return true;
  }
  return WriteHeld(at) && ChangeTrackAt(at, TrackStart::Silence, length);
}

// The first sound: with the trim, what lies before it, less the lead-in, is
// left out, and the first track begins there.
void RecorderEngine::SoundHeard(int64_t onset) {
  if (active_.trim) {
    const int64_t first = std::max(written_, onset - leadIn_);
    held_.Release(first, [&](const uint8_t*, uint32_t n) { return PutHeld(nullptr, n); });
    const int64_t keep = blockAt_;
    blockAt_ = first - framesBefore_;
    trackFirst_ = first;
    heard_ = true;
    TrackStarted(TrackStart::Record, 0);
    blockAt_ = keep;
    return;
  }
  heard_ = true;
}

bool RecorderEngine::WriteHeld(int64_t upTo) {
  return held_.Release(upTo, [&](const uint8_t* frames, uint32_t n) { return PutHeld(frames, n); });
}

// Frames leaving the hold: left out before the first sound of a trimmed
// recording, otherwise written, a new track begun where the file is full.
bool RecorderEngine::PutHeld(const uint8_t* frames, uint32_t count) {
  if (active_.trim && !heard_) {
    writer_->SkipFrames(count);
    trimmedBefore_ += count;
    written_ += count;
    return true;
  }
  while (count > 0) {
    const uint64_t room = writer_->FramesLeft();
    if (room == 0) {
      if (!ChangeTrackAt(written_, TrackStart::FileFull, 0)) return false;
      continue;
    }
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(count, room));
    if (writer_->PutFrames(frames, n) != WAVE_OK) {
      StopCapture();
      EndAfterFailure(RecordingEnd::WriteFailed, IDS_ERR_WRITE);
      return false;
    }
    frames += 4 * size_t{n};
    count -= n;
    written_ += n;
  }
  return true;
}

// A track change before position `at`, whose frames before it are written.
bool RecorderEngine::ChangeTrackAt(int64_t at, TrackStart cause, int64_t silenceFrames) {
  const int64_t keep = blockAt_;
  blockAt_ = at - framesBefore_;
  nextCause_ = cause;
  nextSilence_ = silenceFrames;
  StartNextTrack();
  blockAt_ = keep;
  return g_bRecording != 0;
}

// Where the silence at the end of the recording began, or the end itself
// when it ends on sound (a silence counts from a tenth of a second).
int64_t RecorderEngine::TrailingSilenceStart() const {
  const int64_t end = held_.End();
  const int64_t start = active_.levelRule ? (levelRule_.Silent() ? levelRule_.SilenceStart() : end)
                                          : end - g_nSilentRun;
  return end - start >= g_nSampleRate / 10 ? start : end;
}

// The end of a recording: the frames still held are written, less what the
// trim leaves out after the last sound beyond the lead-in. Returns false when
// a write failed (the recording has then ended and said so).
bool RecorderEngine::FinishHeld() {
  const int64_t end = held_.End();
  if (active_.trim && !heard_) {
    held_.Release(end, [&](const uint8_t*, uint32_t n) { return PutHeld(nullptr, n); });
    nothingHeard_ = true;
    return true;
  }
  int64_t leaveOut = 0;
  if (active_.trim) {
    leaveOut = std::clamp<int64_t>(end - TrailingSilenceStart() - leadIn_, 0, end - trackFirst_);
  }
  if (!WriteHeld(end - leaveOut)) return false;
  int64_t skipped = 0;
  held_.Release(end, [&](const uint8_t*, uint32_t n) {
    writer_->SkipFrames(n);
    skipped += n;
    return true;
  });
  writer_->LeaveOutLast(static_cast<uint64_t>(leaveOut - skipped));
  trimmedAfter_ = leaveOut;
  blockAt_ = end - leaveOut - framesBefore_;
  return true;
}
