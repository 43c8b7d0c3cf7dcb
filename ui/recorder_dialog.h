// CRecorderDlg: the program's one window (template 102). It binds the
// recorder engine's members to its controls, runs the start-up sequence,
// and routes clicks and capture notices to the engine's handlers.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QTimer>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/window_options.h"
#include "capture/live_input.h"
#include "capture/message_window.h"
#include "capture/stop_catch_up.h"
#include "card/port_access.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/string_table.h"
#include "recorder/track_list.h"
#include "ui/options_dialog.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;

class CRecorderDlg : public QDialog, public RecorderEngine, public MessageWindow {
 public:
  /// `commandLine`: the arguments joined with single blanks.
  CRecorderDlg(const NamingServices& naming, PortAccess& ports, std::string commandLine, QWidget* parent = nullptr);
  ~CRecorderDlg() override;

  /// Takes what the Options dialog gave for the next Record: the split
  /// settings, the track list beside the tracks, and the input (opened here
  /// when it is another one).
  void TakeChoices(const RecordingChoices& chosen);
  /// The long options' settings, applied at the end of the start-up
  /// sequence: the check box, the sliders, the split settings and track list.
  void SetStartOptions(const WindowOptions& options) { startOptions_ = options; }
  /// The start-up sequence; returns true (focus on the first tab stop).
  bool OnInitDialog();
  /// OnInitDialog, then the modal run. Returns the dialog's result.
  int DoModal();

  void OnBrowse();
  void WriteControlRegister();
  /// The system-menu command handler: 0x0010 (low four bits ignored) opens
  /// the About box, 0x0020 the Options dialog.
  void OnSysCommand(unsigned command, intptr_t lParam);
  /// The icon shown while the minimised window is dragged.
  QIcon OnQueryDragIcon() const { return m_hIcon; }

  // MessageWindow: notices from the capture thread, queued for this thread.
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  /// A control by its template id (IDC_...), for the tests.
  QWidget* Control(int id) const;
  /// Every control in template order, the unnamed labels and frames included.
  const std::vector<QWidget*>& Controls() const { return widgets_; }
  /// The window's system menu (the context menu on Linux).
  QMenu* SystemMenu() { return &systemMenu_; }
  /// The window's own caption, without what it says about a take.
  QString BaseCaption() const;
  /// Puts the running take's time, track number and dropped frames in the
  /// caption (a timer does so about once a second while recording), and
  /// how far the disk is behind, or what is still to be written after Stop.
  void ShowTakeCaption();
  /// Puts each slider's value in the user's units (seconds; the threshold
  /// and its dBFS) in its tooltip and accessible description.
  void ShowSliderValues();
  /// Stop: the take ends once everything captured before it is written
  /// (capture/stop_catch_up.h); a second Stop meanwhile gives up on the
  /// rest, counting it as dropped.
  void AskStop();

 protected:
  // RecorderEngine
  void UpdateData(bool saveAndValidate) override;
  void SetSilentLampText(const std::string& text) override;
  int SilenceLengthPos() override;
  int SilenceLevelPos() override;
  std::string LoadString(int id) override;
  HWND NoticeWindow() override { return this; }
  void RecordingEnded(RecordingEnd why) override;
  void TrackStarted(TrackStart cause, int64_t silenceFrames) override;
  void TrackCompleted(const std::string& path, int64_t firstFrame, int64_t frames) override;
  void LevelMeasured(int64_t blockStart, double levelDb, double thresholdDb) override;

  /// The folder chooser: the chosen folder, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initial);
  /// Opens the About box modally.
  virtual void ShowAboutBox();
  /// Opens the Options dialog modally and takes its settings for the next Record.
  virtual void ShowOptionsDialog();

  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 public:
  void done(int result) override;

 private:
  void OnOK();
  // While a stop catches up: ends the take once everything captured before
  // it is written.
  void LookAtStop();
  Language WindowLanguage();
  /// Writes the --cue/--labels files afresh for the take that begins.
  void StartTrackList();

  PortAccess& ports_;
  std::string commandLine_;
  WindowOptions startOptions_;
  std::optional<TrackList> trackList_;  // --cue/--labels: the running take's tracks
  bool keepTrackList_ = false;          // Options: a track list beside each take's first track
  std::optional<LiveInput> chosenInput_;  // Options: the input chosen instead of the start's
  LevelMeter meter_;                    // the input's level while recording, for the Options dialog
  // The level rule's last block: its level and threshold, for the caption.
  bool levelHeard_ = false;
  double levelDb_ = 0, thresholdDb_ = 0;
  QIcon m_hIcon;
  std::map<int, QWidget*> controls_;
  std::vector<QWidget*> widgets_;  // template order
  // What each text line was last given and the member bytes it came from.
  struct ShownText {
    QString text;
    std::string bytes;
  };
  std::map<int, ShownText> shown_;
  QSlider* m_sliderLevel = nullptr;
  QSlider* m_sliderLength = nullptr;
  QMenu systemMenu_;
  QTimer captionTimer_;  // refreshes the caption while recording
  bool registerAvailable_ = false;
  bool takeRunning_ = false;  // from a take's start to its end, for the caption that sums it up
  StopCatchUp catchUp_;              // the running take's stop, once asked for
  std::optional<int> closeResult_;   // a close waiting for the stop to catch up
  std::string inputNote_;            // the running take's last change of input, for the caption
};
