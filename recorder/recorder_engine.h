// The recorder's logic, shared by the window and the terminal recorder: the
// members the window binds to its controls, and the handlers of Record,
// Stop, Track mark, the rate buttons and WM_BUFFER_DONE.
//
// A front end derives from it and supplies what the logic takes from a
// window: the data exchange in both directions, the silence indicator's
// text, the two slider positions, the string table and the window that
// capture notices are posted to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/message_window.h"
#include "capture/raw_frame_queue.h"
#include "recorder/held_frames.h"
#include "recorder/level_rule.h"
#include "recorder/split_settings.h"
#include "recorder/track_naming.h"
#include "recorder/track_writer.h"

class LevelMeter;

/// Why a recording ended, for the front end to show.
enum class RecordingEnd { Stopped, InputEnded, CaptureFailed, WriteFailed, CreateFailed };

/// What started a track: Record, the end of a long silence, Track mark, or
/// the open file reaching its size limit.
enum class TrackStart { Record, Silence, Mark, FileFull };

/// Why a silence of at least a tenth of a second ended without a split.
enum class Unsplit { TooShort, InsideMinTrack };

class RecorderEngine {
 public:
  explicit RecorderEngine(const NamingServices& naming);
  virtual ~RecorderEngine() = default;
  RecorderEngine(const RecorderEngine&) = delete;
  RecorderEngine& operator=(const RecorderEngine&) = delete;

  // -- members bound to the window's controls (and three that are not)
  int32_t m_bMonitor = 0;        // MPEG pass-through check box
  std::string m_strDiag;         // hidden diagnostic line
  int32_t m_bMpegSource = 0;     // MPEG as recording source check box
  std::string m_strFolder;       // destination folder: empty or ending in the folder separator
  std::string m_strFile;         // the file line
  int32_t m_bAutoTrack = 0;      // automatic track numbering check box
  std::string m_strPath;         // full path of the track file being written
  uint32_t m_dwControl = 0;      // last value read from or written to the control register
  uint16_t m_wPort = 0;          // I/O port of the control register
  LevelMeter* levelMeter = nullptr;  // when set, takes every block of frames the walk handles
  /// Layout of the track files (the writer converts the stereo 16-bit frames
  /// to it): 16 or 8 bits, 2 or 1 channels. A replay keeps its input's.
  int32_t trackBits = 16;
  int32_t trackChannels = 2;
  /// How silences are found and what a split does around them; taken at Record.
  SplitSettings split;

  // -- recording control
  /// Starts a recording into the first free track file of m_strFolder.
  void OnRecord();
  /// Ends the recording and completes its file. Frames the device captured
  /// but whose buffers were not handled yet are written first.
  void OnStop();
  /// Ends the recording like OnStop, but with the frames handled so far: the
  /// buffers the device returns unhandled are not written (a duration reached).
  void StopAtHandledFrames();
  /// Completes the current track file and starts the next, while recording.
  void OnTrackMark();
  void OnRate32k();
  void OnRate44k();
  void OnRate48k();
  /// Completes the current file, creates the next at the running capture's rate (named with the
  /// first free number after the current track's), shows it.
  void StartNextTrack();
  /// The first free DDMmmNNN name in m_strFolder, without folder and extension.
  std::string MakeNextTrackName() const;
  /// The clean shutdown of a closing window: Stop's steps when recording.
  void CloseRecording();

  // -- silence analysis
  /// Handles WM_BUFFER_DONE (wParam MM_WIM_DATA, lParam the header); returns 1.
  intptr_t OnBufferDone(uintptr_t wParam, intptr_t lParam);
  /// Handles WM_CAPTURE_ENDED: the input ended (wParam WIM_END_OF_INPUT) or the
  /// device was lost (WIM_DEVICE_LOST).
  void OnCaptureEnded(uintptr_t wParam);
  /// Walks a block of stereo frames (`bytesRecorded` / 4 of them): counts the
  /// silence run, lights and clears the indicator, splits tracks, hands every
  /// frame to the writer, then writes the diagnostic line for ring slot
  /// `slot`. The slider positions give the split length (tenths of a second)
  /// and the level (threshold 2^levelPos). Returns false when the recording
  /// stopped inside the block (a failed track change or write).
  bool AnalyseFrames(const uint8_t* frames, uint32_t bytesRecorded, int slot, int lengthPos, int levelPos);

  /// How the last recording ended.
  RecordingEnd LastEnd() const { return lastEnd_; }
  /// True when the last recording ended because its track file (m_strPath)
  /// was deleted or moved while it was being written (LastEnd() WriteFailed).
  bool TrackFileLost() const { return trackFileLost_; }

  /// The position in the recording of the frame being handled: frames handed
  /// to the track files since Record (0 at Record). During a track change it
  /// is the new track's first frame.
  int64_t FramePosition() const { return framesBefore_ + blockAt_; }
  /// The number of the track being written, 1 for a recording's first.
  int TrackNumber() const { return trackNumber_; }
  /// The frames of the track being written so far.
  int64_t TrackFrames() const { return FramePosition() - trackFirst_; }
  /// Where the tracks' frames go (the WAV writer unless a dry run says otherwise).
  void SetTrackWriter(TrackWriter& writer) { writer_ = &writer; }
  /// A wide input's own frames, numbered from the take's first as the
  /// engine's are, laid out as `layout` says: the level rule measures their
  /// full range rather than the 16 bits it is handed. Null: the 16 bits.
  void MeasureLevelsFrom(const RawFrameQueue* frames, const LevelRule::WideLayout& layout);

  /// The level rule's threshold now, in dBFS, and the noise floor it has
  /// measured (automatic threshold; LevelRule::kSilentBlockDb before any).
  double LevelThresholdDb() const { return levelRule_.ThresholdDb(); }
  double LevelFloorDb() const { return levelRule_.FloorDb(); }
  /// Frames the trim left out before the first track and after the last.
  int64_t TrimmedBefore() const { return trimmedBefore_; }
  int64_t TrimmedAfter() const { return trimmedAfter_; }
  /// True when the last recording, trimmed, heard nothing but silence: no
  /// track was kept.
  bool NothingHeard() const { return nothingHeard_; }
  /// The silence length in frames for the length slider's position at the running rate.
  int64_t SplitLengthFrames(int lengthPos) const;

 protected:
  /// true: controls into members; false: members into controls.
  virtual void UpdateData(bool saveAndValidate) = 0;
  virtual void SetSilentLampText(const std::string& text) = 0;
  virtual int SilenceLengthPos() = 0;  // 1..100
  virtual int SilenceLevelPos() = 0;   // 0..15
  virtual std::string LoadString(int id) = 0;
  /// The window WM_BUFFER_DONE is posted to.
  virtual HWND NoticeWindow() = 0;
  /// Told when a recording has ended, after the file line shows the outcome.
  virtual void RecordingEnded(RecordingEnd) {}
  /// Told when a track file was created, after the file line shows it.
  /// `silenceFrames`: for TrackStart::Silence, the still frames before it.
  virtual void TrackStarted(TrackStart, int64_t /*silenceFrames*/) {}
  /// Told when a track file was completed: its path, its first frame in the
  /// recording and its length in frames.
  virtual void TrackCompleted(const std::string& /*path*/, int64_t /*firstFrame*/, int64_t /*frames*/) {}
  /// Given every block of frames after the walk has handled it, in order.
  virtual void FramesWalked(const uint8_t* /*frames*/, uint32_t /*count*/) {}
  /// Told of each silence of at least a tenth of a second that ended without
  /// a split while automatic numbering was on: where it began, its length, why.
  virtual void SilenceNotSplit(int64_t /*start*/, int64_t /*frames*/, Unsplit /*why*/) {}
  /// Given each 10 ms block's level and the threshold it was judged by (level rule).
  virtual void LevelMeasured(int64_t /*blockStart*/, double /*levelDb*/, double /*thresholdDb*/) {}

 private:
  std::string CreateFailureText(int waveResult);
  void StopRecording(RecordingEnd why, bool writeUnhandled);
  bool WriteUnhandledBuffers();
  void EndAfterFailure(RecordingEnd why, int messageId);
  bool CompleteTrackFile();
  void BeginTrack(TrackStart cause, int64_t silenceFrames);
  void EndAfterLostCapture();
  bool CheckTrackFile();
  int CreateTrackFile(int32_t rate);
  void EndRecording(RecordingEnd why);

  // The held walk (any split settings beyond plain stillness).
  void StartHolding();
  bool AnalyseHeld(const uint8_t* frames, uint32_t count, int lengthPos, int levelPos, int64_t& stopAt);
  bool WalkStillnessHeld(const uint8_t* frames, uint32_t count, int lengthPos, int levelPos, int64_t& stopAt);
  bool WalkLevelHeld(const uint8_t* frames, uint32_t count, int lengthPos, int64_t& stopAt);
  bool SilenceEnded(int64_t start, int64_t onset, int64_t splitLength);
  void SoundHeard(int64_t onset);
  bool WriteHeld(int64_t upTo);
  bool PutHeld(const uint8_t* frames, uint32_t count);
  bool ChangeTrackAt(int64_t at, TrackStart cause, int64_t silenceFrames);
  bool FinishHeld();
  int64_t TrailingSilenceStart() const;

  const NamingServices& naming_;
  int32_t captureRate_ = 0;  // rate of the running capture, for the track files it feeds
  RecordingEnd lastEnd_ = RecordingEnd::Stopped;
  TrackWriter* writer_ = &DefaultTrackWriter();
  // Positions, all on the thread that handles buffers.
  int64_t framesBefore_ = 0;  // frames of the blocks walked completely since Record
  int64_t blockAt_ = 0;       // index in the block being walked of the frame being handled
  int64_t trackFirst_ = 0;    // first frame of the open track
  int trackNumber_ = 0;
  TrackStart nextCause_ = TrackStart::Mark;  // why StartNextTrack is called
  int64_t nextSilence_ = 0;
  bool trackFileLost_ = false;
  // The held walk, all on the thread that handles buffers.
  bool holding_ = false;      // this recording holds frames back
  SplitSettings active_;      // the settings taken at Record
  HeldFrames held_;
  LevelRule levelRule_;
  const RawFrameQueue* levelFrames_ = nullptr;  // a wide input's frames, for the level rule
  LevelRule::WideLayout levelLayout_;
  std::vector<uint8_t> levelBytes_;             // the frames of a buffer, copied out of levelFrames_
  int64_t holdFrames_ = 0;    // how far the writing stays behind the walk
  int64_t leadIn_ = 0, minTrack_ = 0, stopAfter_ = 0;  // in frames
  int64_t written_ = 0;       // position of the next frame to leave the hold
  bool heard_ = false;        // a sound was heard since Record
  bool lampLit_ = false;      // the level rule's indicator
  int64_t trimmedBefore_ = 0, trimmedAfter_ = 0;
  bool nothingHeard_ = false;
};
