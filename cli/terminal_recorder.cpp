#include "cli/terminal_recorder.h"

#include "cli/cli_text.h"
#include "cli/dry_run_report.h"
#include "cli/progress_line.h"
#include "recorder/track_list.h"
#include "recorder/recorder_state.h"
#include "wavefile/wavefile.h"

TerminalRecorder::TerminalRecorder(const NamingServices& naming, Language language, OutputWriter& output,
                                   ProgressMode progress)
    : RecorderEngine(naming), language_(language), output_(output), progress_(progress) {
  if (progress_ != ProgressMode::Off) levelMeter = &meter;
}

void TerminalRecorder::UpdateData(bool saveAndValidate) {
  // The members are the terminal's only controls: reading them back changes
  // nothing, and showing them prints the file line when it changed.
  if (saveAndValidate) return;
  if (m_strFile != shownFile_) {
    shownFile_ = m_strFile;
    // Once the recording has ended, the file line shows the next free name,
    // a file never written: only a failure is worth a line then.
    if (!g_bRecording && m_strFile == MakeNextTrackName()) return;
    PrintLine(m_strFile);
  }
}

void TerminalRecorder::SetSilentLampText(const std::string& text) {
  if (text == lamp_) return;
  lamp_ = text;
  // The indicator is an event of the take: once it has ended there is none.
  if (g_bRecording) PrintLine(text.empty() ? "-" : text);
}

void TerminalRecorder::PrintLine(const std::string& text) { PrintLineAt(text, FramePosition()); }

void TerminalRecorder::PrintLineAt(const std::string& text, int64_t frame) {
  if (dryRun) return;
  // The text, then where it happened: a reader of the text alone cuts at the first tab.
  output_.Line(text + "\t" + RecordingTime(frame, g_nSampleRate, true) + "\t" + std::to_string(frame));
}

void TerminalRecorder::EndProgress() { output_.ClearStatus(); }

void TerminalRecorder::ShowProgress(uint64_t dropped) {
  if (progress_ == ProgressMode::Off || !g_bRecording || g_nSampleRate <= 0) return;
  if (progress_ == ProgressMode::Plain) {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextPlain_) return;
    nextPlain_ = now + std::chrono::seconds(kPlainProgressSeconds);
  }
  ProgressParts parts;
  parts.frames = FramePosition();
  parts.rate = g_nSampleRate;
  parts.track = CliText(CliTextId::kRecProgressTrack, language_, {std::to_string(TrackNumber())});
  parts.level = meter.HasFrames() ? meter.Text() : "";
  parts.path = m_strPath;
  parts.dropped = CliText(CliTextId::kRecProgressDropped, language_, {std::to_string(dropped)});
  parts.note = progressNote;
  output_.Status(progress_ == ProgressMode::InPlace ? FittedProgressLine(parts, columns) : PlainProgressLine(parts));
}

void TerminalRecorder::TrackStarted(TrackStart cause, int64_t silenceFrames) {
  if (dryRun) dryRun->TrackStarted(cause, FramePosition(), silenceFrames);
}

void TerminalRecorder::TrackCompleted(const std::string& path, int64_t firstFrame, int64_t frames) {
  if (dryRun) dryRun->TrackCompleted(firstFrame, frames);
  if (trackList) {
    // A rewrite that failed (a full disk) is tried again at the next track
    // change and at the end; the list keeps every track meanwhile.
    std::string why;
    if (trackList->Add({path, firstFrame, frames}, why)) {
      trackListError.clear();
    } else {
      if (!trackListTold) std::fprintf(stderr, "tapewell-rec: %s\n", CliText(CliTextId::kRecListRetry, language_, {why}).c_str());
      trackListTold = true;
      trackListError = why;
    }
  }
}

void TerminalRecorder::RecordingEnded(RecordingEnd why) {
  // A recording that ended on a failed write left its last track file with
  // every whole frame that reached the disk, under a header that states
  // them: the track list names it too, with those frames.
  if (why != RecordingEnd::WriteFailed || !trackList || dryRun) return;
  if (!trackList->Tracks().empty() && trackList->Tracks().back().path == m_strPath) return;
  int32_t rate = 0, bits = 0, channels = 0, dataOffset = 0;
  uint32_t dataSize = 0;
  if (WaveProbe(m_strPath.c_str(), rate, bits, channels, dataSize, dataOffset) != WAVE_OK || bits <= 0 ||
      channels <= 0) {
    return;
  }
  TrackCompleted(m_strPath, FramePosition() - TrackFrames(), dataSize / (bits / 8 * channels));
}

void TerminalRecorder::FramesWalked(const uint8_t* frames, uint32_t count) {
  if (dryRun) dryRun->Measure(frames, count);
}

void TerminalRecorder::SilenceNotSplit(int64_t start, int64_t frames, Unsplit why) {
  if (dryRun) dryRun->SilenceNotSplit(start, frames, why);
}

void TerminalRecorder::LevelMeasured(int64_t blockStart, double levelDb, double thresholdDb) {
  if (dryRun) dryRun->LevelMeasured(blockStart, levelDb, thresholdDb);
}
