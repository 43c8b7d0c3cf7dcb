#include "win/dialog_engine.h"

#include <cstdio>

#include "app/option_scan.h"
#include "capture/capture_ring.h"
#include "capture/stop_catch_up.h"
#include "cli/cli_text.h"
#include "card/control_register.h"
#include "card/windows_port_access.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/recorder_state.h"
#include "recorder/string_table.h"
#include "recorder/track_list.h"
#include "templates/dialog_template.h"
#include "win/dialog_controls.h"

namespace dc = dialogcontrols;

namespace {

class Engine : public DialogEngine, public RecorderEngine, public MessageWindow {
 public:
  explicit Engine(void* dialog) : RecorderEngine(naming_), dialog_(dialog) {
    levelMeter = &meter_;  // the Options dialog shows the level the take hears
  }

  bool InitRecorder(const std::string& commandLine, std::string& reason) override {
    m_wPort = 0xE000;
    g_nSampleRate = 44100;
    m_strFile = MakeNextTrackName();
    g_bI2S = 1;
    std::string remnant = commandLine;
    ScanOptions(remnant, OptionTargets{g_bI2S, m_wPort, m_strFolder, m_strFile,
                                       [this] { return MakeNextTrackName(); }, kFolderSeparator});
    g_hWaveIn = nullptr;
    g_bRecording = 0;
    std::string why;
    const bool available =
        ports_.Available(m_wPort, why) &&
        ReadControlRegisterAtStartup(ports_, remnant, {m_wPort, m_dwControl, m_bMonitor, m_bMpegSource, m_strDiag},
                                     why);
    if (!available) {
      m_dwControl = 0;
      m_bMonitor = m_bMpegSource = 0;
      char port[16];
      std::snprintf(port, sizeof port, "0x%04lx", static_cast<unsigned long>(m_wPort));
      m_strDiag = remnant + " " + port + " - " + why;
      // The diagnostic line keeps the card's own words; the user reads the
      // string table's, in the UI's language.
      reason = FillTableString(dc::LoadTableText(IDS_NO_PORT_ACCESS), port);
    }
    for (auto*& slot : g_pWaveHdr) slot = nullptr;
    return available;
  }

  void ShowMembers() override { UpdateData(false); }

  void SetStartOptions(const WindowOptions& options) override {
    m_bAutoTrack = options.autoTrack ? 1 : 0;
    split = options.split;
    cue_ = options.cue;
    labels_ = options.labels;
  }
  RecordingChoices Choices() const override { return {split, std::string(), keepTrackList_}; }
  void TakeChoices(const RecordingChoices& chosen) override {
    split = chosen.split;
    keepTrackList_ = chosen.keepTrackList;
  }
  LevelMeter& Meter() override { return meter_; }
  bool Recording() const override { return g_bRecording != 0; }
  int Rate() const override { return g_nSampleRate; }
  void OnRecord() override { RecorderEngine::OnRecord(); }
  // Stop: the take ends once everything captured before it is written (a
  // second Stop gives up on what is left, counted as dropped).
  void OnStop() override {
    if (!g_bRecording) return;
    WaveInService* service = GetWaveInService();
    if (!service) {
      RecorderEngine::OnStop();
      return;
    }
    catchUp_.Request(*service, FramePosition());
    if (catchUp_.GaveUp()) {
      StopAtHandledFrames();
      return;
    }
    LookAtStop();
  }
  void OnTrackMark() override { RecorderEngine::OnTrackMark(); }
  void OnRate32k() override { RecorderEngine::OnRate32k(); }
  void OnRate44k() override { RecorderEngine::OnRate44k(); }
  void OnRate48k() override { RecorderEngine::OnRate48k(); }
  intptr_t OnBufferDone(uintptr_t wParam, intptr_t lParam) override {
    // After Stop, the take ends at the last frame captured before it.
    WaveInService* service = GetWaveInService();
    const int slot = g_bRecording && catchUp_.Active() && service && wParam == MM_WIM_DATA
                         ? PeekCaptureNotice(this, lParam)
                         : -1;
    const bool last = slot >= 0 && catchUp_.Clip(*service, g_pWaveHdr[slot], FramePosition());
    const intptr_t result = RecorderEngine::OnBufferDone(wParam, lParam);
    if (last) {
      StopAtHandledFrames();
    } else {
      LookAtStop();
    }
    return result;
  }
  void OnCaptureEnded(uintptr_t wParam) override { RecorderEngine::OnCaptureEnded(wParam); }
  bool StopBeforeClose() override {
    closing_ = false;
    if (!g_bRecording) return true;
    OnStop();
    if (!g_bRecording) return true;
    closing_ = true;
    return false;
  }
  void CloseRecording() override { RecorderEngine::CloseRecording(); }

  bool WriteControlRegister(std::string& why) override {
    UpdateData(true);
    const bool written =
        ProgramControlRegister(ports_, g_bI2S, {m_wPort, m_dwControl, m_bMonitor, m_bMpegSource, m_strDiag}, why);
    UpdateData(false);
    return written;
  }

  std::string BeginBrowse() override {
    UpdateData(true);
    return m_strFolder.empty() ? std::string() : m_strFolder.substr(0, m_strFolder.size() - 1);
  }

  void EndBrowse(const std::optional<std::string>& chosen) override {
    if (chosen && !chosen->empty()) {
      m_strFolder = *chosen;
      if (m_strFolder.back() != kFolderSeparator) m_strFolder += kFolderSeparator;
    }
    m_strFile = MakeNextTrackName();
    UpdateData(false);
  }

  // The capture's notices go to the dialog's own message queue.
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    return dc::Post(dialog_, message, wParam, lParam);
  }

 protected:
  void UpdateData(bool save) override {
    auto check = [&](int id, int32_t& member) {
      if (save) {
        member = dc::IsChecked(dialog_, id) ? 1 : 0;
      } else {
        dc::SetChecked(dialog_, id, member != 0);
      }
    };
    auto text = [&](int id, std::string& member) {
      if (save) {
        member = dc::GetText(dialog_, id);
      } else {
        dc::SetText(dialog_, id, member);
      }
    };
    check(IDC_MONITOR, m_bMonitor);
    text(IDC_DIAG, m_strDiag);
    check(IDC_MPEG_SOURCE, m_bMpegSource);
    text(IDC_FOLDER, m_strFolder);
    text(IDC_FILE, m_strFile);
    check(IDC_AUTO_TRACK, m_bAutoTrack);
  }
  void SetSilentLampText(const std::string& text) override { dc::SetText(dialog_, IDC_SILENT_LAMP, text); }
  int SilenceLengthPos() override { return dc::TrackbarPosition(dialog_, IDC_SILENCE_LENGTH); }
  int SilenceLevelPos() override { return dc::TrackbarPosition(dialog_, IDC_SILENCE_LEVEL); }
  std::string LoadString(int id) override { return dc::LoadTableText(id); }
  HWND NoticeWindow() override { return this; }
  void RecordingEnded(RecordingEnd) override {
    catchUp_ = StopCatchUp();
    // A close that waited for the stop to catch up goes on.
    if (closing_) {
      closing_ = false;
      dc::Post(dialog_, kCloseMessage, 0, 0);
    }
    // The title bar tells what the capture lost, as the Linux window does, in
    // the string table's language.
    std::string caption = std::string(kRecorderCaption) +
                          DroppedFramesSuffix(CaptureDroppedFrames(), [](int id) { return dc::LoadTableText(id); });
    const std::string reason = GetWaveInService() ? GetWaveInService()->LastError() : std::string();
    if (!reason.empty()) caption += " - " + reason;
    if (!trackListProblem_.empty()) caption += " - " + trackListProblem_;
    dc::SetCaption(dialog_, caption);
  }
  void TrackStarted(TrackStart cause, int64_t) override {
    if (cause != TrackStart::Record) return;
    meter_.Reset(g_nSampleRate);
    levelShownAt_ = -g_nSampleRate;
    StartTrackList();
  }
  void LevelMeasured(int64_t blockStart, double levelDb, double thresholdDb) override {
    // The level rule: the caption says the level it hears and its threshold,
    // a few times a second.
    if (blockStart < levelShownAt_ + g_nSampleRate / 4 && blockStart >= levelShownAt_) return;
    levelShownAt_ = blockStart;
    dc::SetCaption(dialog_, LevelNowText(dc::LoadTableText(IDS_LEVEL_NOW), levelDb, thresholdDb) + " - " +
                                kRecorderCaption);
  }
  void TrackCompleted(const std::string& path, int64_t firstFrame, int64_t frames) override {
    std::string why;
    if (trackList_ && !trackList_->Add({path, firstFrame, frames}, why)) {
      trackListProblem_ = "the track list stops here: " + why;
      trackList_.reset();
    }
  }

 private:
  // Writes the --cue/--labels files, or those beside the first track, afresh
  // for the take that begins.
  void StartTrackList() {
    trackList_.reset();
    trackListProblem_.clear();
    const std::string cue = keepTrackList_ ? BesideTrack(m_strPath, ".cue") : cue_;
    const std::string labels = keepTrackList_ ? BesideTrack(m_strPath, ".txt") : labels_;
    if (cue.empty() && labels.empty()) return;
    trackList_.emplace(cue, labels, g_nSampleRate);
    std::string why;
    if (!trackList_->Start(why)) {
      trackListProblem_ = "no track list for this take: " + why;
      trackList_.reset();
    }
  }

  static constexpr uint32_t kCloseMessage = 0x0010;  // WM_CLOSE

  // While a stop catches up: ends the take once everything captured before
  // the stop is in, and says in the title bar how much is still to write.
  void LookAtStop() {
    WaveInService* service = GetWaveInService();
    if (!g_bRecording || !catchUp_.Active() || !service) return;
    const int64_t limit = catchUp_.Limit(*service);
    if (limit == WaveInService::kStopAtOnce) {
      RecorderEngine::OnStop();
    } else if (limit >= 0 && FramePosition() >= limit) {
      StopAtHandledFrames();
    } else if (catchUp_.InRing(*service)) {
      RecorderEngine::OnStop();
    } else if (const double left = catchUp_.SecondsLeft(*service, FramePosition(), g_nSampleRate); left >= 0.5) {
      dc::SetCaption(dialog_, std::string(kRecorderCaption) + " - " +
                                  CliText(CliTextId::kTakeWritingLast, WindowLanguage(), {TenthsOfSeconds(left)}));
    }
  }

  // The language of the string table the window shows.
  static Language WindowLanguage() {
    return dc::LoadTableText(IDS_SILENT) == LoadTableString(IDS_SILENT, Language::Japanese) ? Language::Japanese
                                                                                          : Language::English;
  }

  StopCatchUp catchUp_;
  bool closing_ = false;  // the window closes once the take has ended
  SystemNaming naming_;
  WindowsPortAccess ports_;
  void* dialog_;
  LevelMeter meter_;                    // the input's level while recording
  std::string cue_, labels_;            // --cue/--labels
  bool keepTrackList_ = false;          // Options: a track list beside each take's first track
  std::optional<TrackList> trackList_;  // the running take's tracks
  std::string trackListProblem_;        // why the running take's list stopped, for the caption
  int64_t levelShownAt_ = 0;            // the block whose level the caption shows
};

}  // namespace

std::unique_ptr<DialogEngine> DialogEngine::Create(void* dialog) { return std::make_unique<Engine>(dialog); }

bool DialogEngine::IsBufferNotice(uint32_t message, uintptr_t wParam) {
  return message == WM_USER && wParam == MM_WIM_DATA;
}

uint32_t DialogEngine::CaptureEndedMessage() { return WM_CAPTURE_ENDED; }
