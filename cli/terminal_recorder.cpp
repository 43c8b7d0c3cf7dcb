#include "cli/terminal_recorder.h"

#include "recorder/recorder_state.h"

TerminalRecorder::TerminalRecorder(const NamingServices& naming, Language language, std::FILE* out, bool progress)
    : RecorderEngine(naming), language_(language), out_(out), progress_(progress) {
  if (progress_) levelMeter = &meter;
}

void TerminalRecorder::UpdateData(bool saveAndValidate) {
  // The members are the terminal's only controls: reading them back changes
  // nothing, and showing them prints the file line when it changed.
  if (saveAndValidate) return;
  if (m_strFile != shownFile_) {
    shownFile_ = m_strFile;
    PrintLine(m_strFile);
  }
}

void TerminalRecorder::SetSilentLampText(const std::string& text) {
  if (text == lamp_) return;
  lamp_ = text;
  PrintLine(text.empty() ? "-" : text);
}

void TerminalRecorder::PrintLine(const std::string& text) {
  EndProgress();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void TerminalRecorder::EndProgress() {
  if (progressShown_) {
    std::fputs("\r\033[K", out_);
    progressShown_ = false;
  }
}

void TerminalRecorder::ShowProgress(uint64_t dropped) {
  if (!progress_ || !g_bRecording || g_nSampleRate <= 0) return;
  const int64_t seconds = framesHandled / g_nSampleRate;
  const std::string level = meter.HasFrames() ? meter.Text() + "  " : "";
  std::fprintf(out_, "\r\033[K%02lld:%02lld:%02lld  %s%s  dropped %llu", static_cast<long long>(seconds / 3600),
               static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60), level.c_str(),
               m_strPath.c_str(), static_cast<unsigned long long>(dropped));
  std::fflush(out_);
  progressShown_ = true;
}
