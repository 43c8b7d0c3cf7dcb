// Record, Stop, Track mark, the rate buttons and the track change.
#include <cerrno>
#include <cstdio>

#include "capture/capture_ring.h"
#include "recorder/recorder_engine.h"
#include "recorder/recorder_state.h"
#include "recorder/string_table.h"
#include "wavefile/wavefile.h"

RecorderEngine::RecorderEngine(const NamingServices& naming) : naming_(naming) {}

std::string RecorderEngine::MakeNextTrackName() const { return MakeTrackName(m_strFolder, naming_); }

// Completes the track file open in the writer, if any. True when the file on
// disk is complete and still where it was created, or the writer had nothing
// open (it closes itself after a failed write, which the caller has already
// reported). A file deleted or moved since the last look is completed where
// it went, marked lost, and gives false.
bool RecorderEngine::CompleteTrackFile() {
  if (!writer_->IsOpen()) return true;
  if (nothingHeard_) {
    // A trimmed recording that heard nothing but silence keeps no track.
    const bool closed = writer_->Close() == WAVE_OK;
    writer_->Discard(m_strPath);
    return closed;
  }
  if (!writer_->StillThereNow()) trackFileLost_ = true;
  const int64_t frames = TrackFrames();
  if (writer_->Close() != WAVE_OK) return false;
  TrackCompleted(m_strPath, trackFirst_, frames);
  return !trackFileLost_;
}

void RecorderEngine::BeginTrack(TrackStart cause, int64_t silenceFrames) {
  trackFirst_ = FramePosition();
  ++trackNumber_;
  TrackStarted(cause, silenceFrames);
}

namespace {
// How many names taken by another writer between the check and the create
// are passed over before the create gives up.
constexpr int kMaxTakenNames = 1000;
}  // namespace

// Creates the track file at m_strPath, exclusively: when another recorder
// took that name after it was found free, the next free name after it is
// taken instead (m_strPath follows). Returns the writer's result.
int RecorderEngine::CreateTrackFile(int32_t rate) {
  for (int taken = 0;; ++taken) {
    const int created = writer_->Create(m_strPath, rate, trackBits, trackChannels);
    if (created != WAVE_ERR_OPEN || writer_->Errno() != EEXIST || taken == kMaxTakenNames) return created;
    m_strPath = m_strFolder + MakeTrackNameAfter(m_strFolder, m_strPath, naming_) + ".wav";
  }
}

std::string RecorderEngine::CreateFailureText(int waveResult) {
  switch (waveResult) {
    case WAVE_ERR_OPEN: return LoadString(IDS_ERR_OPEN);
    case WAVE_ERR_WRITE: return LoadString(IDS_ERR_WRITE);
    case WAVE_ERR_NOMEM: return LoadString(IDS_ERR_MEMORY);
    default: return LoadString(IDS_ERR_RECORD);
  }
}

void RecorderEngine::OnRecord() {
  g_nSilentRun = 0;
  if (g_bRecording) return;
  UpdateData(true);
  trackFileLost_ = false;
  m_strPath = m_strFolder + MakeNextTrackName() + ".wav";
  const int created = CreateTrackFile(g_nSampleRate);
  if (created != WAVE_OK) {
    m_strFile = CreateFailureText(created);
    lastEnd_ = RecordingEnd::CreateFailed;
  } else {
    framesBefore_ = blockAt_ = trackFirst_ = 0;
    trackNumber_ = 0;
    captureRate_ = g_nSampleRate;
    StartHolding();
    g_bRecording = StartCapture(NoticeWindow(), g_nSampleRate);
    if (g_bRecording) {
      m_strFile = LoadString(IDS_REC_PREFIX) + m_strPath;
      QueueCaptureBuffers();
      SetSilentLampText("");
    }
    if (!g_bRecording) {
      // The capture could not be started: the file holds no frame, so it goes
      // (how its close went does not matter).
      static_cast<void>(writer_->Close());
      writer_->Discard(m_strPath);
      m_strFile = LoadString(IDS_ERR_RECORD);
      lastEnd_ = RecordingEnd::CaptureFailed;
    }
  }
  UpdateData(false);
  if (g_bRecording && holding_ && active_.trim) {
    ++trackNumber_;  // the first track begins at the first sound
  } else if (g_bRecording) {
    BeginTrack(TrackStart::Record, 0);
  } else {
    RecordingEnded(lastEnd_);
  }
}

void RecorderEngine::OnStop() {
  if (!g_bRecording) return;
  StopRecording(RecordingEnd::Stopped, true);
}

void RecorderEngine::StopAtHandledFrames() {
  if (!g_bRecording) return;
  StopRecording(RecordingEnd::Stopped, false);
}

void RecorderEngine::StopRecording(RecordingEnd why, bool writeUnhandled) {
  UpdateData(true);
  HaltCapture();
  if (writeUnhandled && !WriteUnhandledBuffers()) return;  // the recording has ended inside them
  EndRecording(why);
}

// The end of a recording whose capture is halted and whose buffers are
// handled: the frames still held are written, the capture is torn down and
// the track file completed.
void RecorderEngine::EndRecording(RecordingEnd why) {
  if (holding_ && !FinishHeld()) return;  // a failed write has ended the recording
  StopCapture();
  if (CompleteTrackFile()) {
    m_strFile = MakeNextTrackName();
  } else {
    why = RecordingEnd::WriteFailed;
    m_strFile = LoadString(IDS_ERR_WRITE);
  }
  UpdateData(false);
  SetSilentLampText("");
  lastEnd_ = why;
  RecordingEnded(why);
}

bool RecorderEngine::WriteUnhandledBuffers() {
  const int lengthPos = SilenceLengthPos();
  const int levelPos = SilenceLevelPos();
  int slots[kCaptureSlots];
  const int count = UnhandledCaptureSlots(slots);
  for (int i = 0; i < count; ++i) {
    const WAVEHDR* header = g_pWaveHdr[slots[i]];
    if (!AnalyseFrames(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBytesRecorded, slots[i],
                       lengthPos, levelPos)) {
      return false;
    }
  }
  return true;
}

void RecorderEngine::OnTrackMark() {
  if (!g_bRecording) return;
  if (holding_) {
    // The mark falls after the last frame handled: every frame held goes to the track it ends.
    if (active_.trim && !heard_) return;  // no track has begun yet
    if (!WriteHeld(FramePosition())) return;
  }
  nextCause_ = TrackStart::Mark;
  StartNextTrack();
}

void RecorderEngine::OnRate32k() { g_nSampleRate = 32000; }
void RecorderEngine::OnRate44k() { g_nSampleRate = 44100; }
void RecorderEngine::OnRate48k() { g_nSampleRate = 48000; }

void RecorderEngine::StartNextTrack() {
  UpdateData(true);
  const TrackStart cause = nextCause_;
  const int64_t silence = nextSilence_;
  nextCause_ = TrackStart::Mark;  // a direct call is a Track mark
  nextSilence_ = 0;
  if (!CompleteTrackFile()) {
    // The track just finished lost frames: the recording ends here and says so.
    StopCapture();
    EndAfterFailure(RecordingEnd::WriteFailed, IDS_ERR_WRITE);
    return;
  }
  m_strPath = m_strFolder + MakeTrackNameAfter(m_strFolder, m_strPath, naming_) + ".wav";
  const int created = CreateTrackFile(captureRate_);
  if (created != WAVE_OK) {
    // No file to write into: the recording ends here rather than dropping frames.
    StopCapture();
    m_strFile = CreateFailureText(created);
    SetSilentLampText("");
    lastEnd_ = RecordingEnd::CreateFailed;
    UpdateData(false);
    RecordingEnded(lastEnd_);
    return;
  }
  m_strFile = LoadString(IDS_REC_PREFIX) + m_strPath;
  UpdateData(false);
  BeginTrack(cause, silence);
}

void RecorderEngine::CloseRecording() { OnStop(); }

void RecorderEngine::OnCaptureEnded(uintptr_t wParam) {
  if (!g_bRecording) return;
  if (wParam == WIM_END_OF_INPUT) {
    StopRecording(RecordingEnd::InputEnded, true);  // exactly as Stop
    return;
  }
  UpdateData(true);
  HaltCapture();
  EndAfterLostCapture();
}

// The device is lost, or a buffer could not be handed back, and the device
// is halted: what it captured still goes into the file.
void RecorderEngine::EndAfterLostCapture() {
  if (!WriteUnhandledBuffers()) return;  // the recording has ended inside them
  if (holding_ && !FinishHeld()) return;  // a failed write has ended the recording
  StopCapture();
  EndAfterFailure(RecordingEnd::CaptureFailed, IDS_ERR_RECORD);
}

bool RecorderEngine::CheckTrackFile() {
  if (writer_->StillThere()) return true;
  // Deleted or moved: the frames written into it are out of reach from
  // here, so the recording ends and says so rather than going on unseen.
  trackFileLost_ = true;
  StopCapture();
  EndAfterFailure(RecordingEnd::WriteFailed, IDS_ERR_WRITE);
  return false;
}

void RecorderEngine::EndAfterFailure(RecordingEnd why, int messageId) {
  if (!CompleteTrackFile()) {
    why = RecordingEnd::WriteFailed;
    messageId = IDS_ERR_WRITE;
  }
  m_strFile = LoadString(messageId);
  SetSilentLampText("");
  lastEnd_ = why;
  UpdateData(false);
  RecordingEnded(why);
}
