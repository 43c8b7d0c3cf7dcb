#include "ui/recorder_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "app/option_scan.h"
#include "capture/capture_ring.h"
#include "capture/wave_in.h"
#include "card/control_register.h"
#include "recorder/recorder_state.h"
#include "recorder/string_table.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "templates/dialog_template.h"
#include "ui/icon_placement.h"
#include "cli/cli_text.h"
#include "ui/notice_event.h"
#include "ui/options_dialog.h"
#include "ui/take_caption.h"
#include "ui/template_layout.h"
#include "wavefile/wavefile.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

CRecorderDlg::CRecorderDlg(const NamingServices& naming, PortAccess& ports, std::string commandLine, QWidget* parent)
    : QDialog(parent), RecorderEngine(naming), ports_(ports), commandLine_(std::move(commandLine)), m_hIcon(AppIcon()) {
  setWindowTitle(BaseCaption());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  TemplateLayout layout(TemplateLayout::DialogFont());
  widgets_ = layout.Build(this, kRecorderContext, kRecorderTemplate, kRecorderWidthDu, kRecorderHeightDu);
  for (size_t i = 0; i < kRecorderTemplate.size(); ++i) {
    if (kRecorderTemplate[i].id != IDC_STATIC) controls_[kRecorderTemplate[i].id] = widgets_[i];
  }
  m_sliderLevel = static_cast<QSlider*>(Control(IDC_SILENCE_LEVEL));
  m_sliderLength = static_cast<QSlider*>(Control(IDC_SILENCE_LENGTH));
  levelMeter = &meter_;  // the Options dialog shows the level the take hears

  // The three rates are one exclusive group.
  auto* rates = new QButtonGroup(this);
  for (int id : {IDC_RATE_32K, IDC_RATE_44K, IDC_RATE_48K}) rates->addButton(static_cast<QRadioButton*>(Control(id)));

  auto clicked = [this](int id, auto handler) {
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this, handler);
  };
  // The message map, in its order (the system menu, painting and the drag
  // icon are the handlers above; WM_BUFFER_DONE arrives through event()).
  clicked(IDC_MONITOR, [this] { WriteControlRegister(); });
  clicked(IDC_MPEG_SOURCE, [this] { WriteControlRegister(); });
  clicked(IDC_RECORD, [this] { OnRecord(); });
  clicked(IDC_BROWSE, [this] { OnBrowse(); });
  clicked(IDC_STOP, [this] { AskStop(); });
  clicked(IDC_TRACK_MARK, [this] { OnTrackMark(); });
  clicked(IDC_RATE_32K, [this] { OnRate32k(); });
  clicked(IDC_RATE_44K, [this] { OnRate44k(); });
  clicked(IDC_RATE_48K, [this] { OnRate48k(); });
  clicked(IDC_STOP_TIMER, [] {});
  connect(static_cast<QAbstractButton*>(Control(IDCANCEL)), &QAbstractButton::clicked, this, &QDialog::reject);
  // The caption follows a running take about once a second; the buffers
  // themselves never redraw anything but the file line and the indicator.
  captionTimer_.setInterval(1000);
  connect(&captionTimer_, &QTimer::timeout, this, [this] { ShowTakeCaption(); });
  // Each slider says its value in seconds or dBFS, as it moves.
  for (QSlider* slider : {m_sliderLength, m_sliderLevel}) {
    connect(slider, &QSlider::valueChanged, this, [this] { ShowSliderValues(); });
  }
}

CRecorderDlg::~CRecorderDlg() {
  // An input chosen in Options goes with the window.
  if (chosenInput_ && GetWaveInService() == chosenInput_->service.get()) SetWaveInService(nullptr);
}

QWidget* CRecorderDlg::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

QString CRecorderDlg::BaseCaption() const { return QCoreApplication::translate(kRecorderContext, kRecorderCaption); }

bool CRecorderDlg::OnInitDialog() {
  UpdateData(false);  // the framework's first exchange, members into controls

  // The system menu's About item (a separator first), when string 101 has text.
  systemMenu_.clear();
  const std::string about = LoadString(IDS_ABOUTBOX);
  if (!about.empty()) {
    systemMenu_.addSeparator();
    QAction* item = systemMenu_.addAction(Q(about));
    item->setData(IDM_ABOUTBOX);
    connect(item, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX, 0); });
  }
  // Options after About.
  if (const std::string options = LoadString(IDS_OPTIONS); !options.empty()) {
    QAction* item = systemMenu_.addAction(Q(options));
    item->setData(IDM_OPTIONS);
    connect(item, &QAction::triggered, this, [this] { OnSysCommand(IDM_OPTIONS, 0); });
  }
  setWindowIcon(m_hIcon);

  m_wPort = 0xE000;
  g_nSampleRate = 44100;
  m_strFile = MakeNextTrackName();
  g_bI2S = 1;
  m_sliderLength->setValue(1);
  m_sliderLevel->setValue(7);

  std::string remnant = commandLine_;
  ScanOptions(remnant, OptionTargets{g_bI2S, m_wPort, m_strFolder, m_strFile,
                                     [this] { return MakeNextTrackName(); }, kFolderSeparator});
  // Without -w the files go to the current folder: the folder line says which.
  if (m_strFolder.empty()) {
    std::error_code ec;
    const std::u8string here = std::filesystem::current_path(ec).u8string();
    if (!ec && !here.empty()) {
      m_strFolder.assign(here.begin(), here.end());
      if (m_strFolder.back() != kFolderSeparator) m_strFolder += kFolderSeparator;
    }
  }

  g_hWaveIn = nullptr;
  g_bRecording = 0;

  // The control register, read once; without one the two boxes stay off.
  std::string why;
  registerAvailable_ = ports_.Available(m_wPort, why) &&
                       ReadControlRegisterAtStartup(ports_, remnant,
                                                    {m_wPort, m_dwControl, m_bMonitor, m_bMpegSource, m_strDiag}, why);
  if (!registerAvailable_) {
    m_dwControl = 0;
    m_bMonitor = m_bMpegSource = 0;
    char port[16];
    std::snprintf(port, sizeof port, "0x%04lx", static_cast<unsigned long>(m_wPort));
    m_strDiag = remnant + " " + port + " - " + why;
    for (int id : {IDC_MONITOR, IDC_MPEG_SOURCE}) {
      Control(id)->setEnabled(false);
      Control(id)->setToolTip(Q(why));
    }
  }

  m_sliderLength->setRange(1, 100);
  m_sliderLevel->setRange(0, 15);
  // The long options: the check box, the sliders and how every Record splits.
  m_bAutoTrack = startOptions_.autoTrack ? 1 : 0;
  m_sliderLength->setValue(startOptions_.lengthPos);
  m_sliderLevel->setValue(startOptions_.levelPos);
  split = startOptions_.split;
  ShowSliderValues();
  static_cast<QRadioButton*>(Control(IDC_RATE_44K))->setChecked(true);
  UpdateData(false);
  for (auto*& slot : g_pWaveHdr) slot = nullptr;
  Control(IDCANCEL)->setFocus();
  return true;
}

int CRecorderDlg::DoModal() {
  OnInitDialog();
  return exec();
}

void CRecorderDlg::UpdateData(bool save) {
  auto check = [&](int id, int32_t& member) {
    auto* box = static_cast<QCheckBox*>(Control(id));
    if (save) {
      member = box->isChecked() ? 1 : 0;
    } else {
      box->setChecked(member != 0);
    }
  };
  // A text line shows its member as UTF-8, with any byte that is not valid
  // UTF-8 as a replacement character. Reading it back keeps the member's
  // bytes unless the line was given another text since, so a folder whose
  // name is not UTF-8 survives the exchange unchanged.
  auto text = [&](int id, std::string& member) {
    auto* label = static_cast<QLabel*>(Control(id));
    ShownText& shown = shown_[id];
    if (save) {
      if (label->text() != shown.text) member = S(label->text());
      else member = shown.bytes;
    } else {
      shown = {Q(member), member};
      label->setText(shown.text);
    }
  };
  // The two trackbars are bound as controls only: no data moves.
  check(IDC_MONITOR, m_bMonitor);
  text(IDC_DIAG, m_strDiag);
  check(IDC_MPEG_SOURCE, m_bMpegSource);
  text(IDC_FOLDER, m_strFolder);
  text(IDC_FILE, m_strFile);
  check(IDC_AUTO_TRACK, m_bAutoTrack);
}

void CRecorderDlg::SetSilentLampText(const std::string& text) {
  static_cast<QLabel*>(Control(IDC_SILENT_LAMP))->setText(Q(text));
}

int CRecorderDlg::SilenceLengthPos() { return m_sliderLength->value(); }
int CRecorderDlg::SilenceLevelPos() { return m_sliderLevel->value(); }

std::string CRecorderDlg::LoadString(int id) {
  const std::string english = LoadTableString(id, Language::English);
  if (english.empty()) return english;
  return S(QCoreApplication::translate("StringTable", english.c_str()));
}

void CRecorderDlg::ShowSliderValues() {
  const QString length = Q(SilenceLengthText(LoadString(IDS_LENGTH_VALUE), m_sliderLength->value()));
  const QString level = Q(SilenceLevelText(LoadString(IDS_LEVEL_VALUE), m_sliderLevel->value()));
  m_sliderLength->setToolTip(length);
  m_sliderLength->setAccessibleDescription(length);
  m_sliderLevel->setToolTip(level);
  m_sliderLevel->setAccessibleDescription(level);
}

void CRecorderDlg::TrackStarted(TrackStart cause, int64_t) {
  if (cause == TrackStart::Record) {
    Control(IDC_FILE)->setToolTip(QString());
    captionTimer_.start();
    takeRunning_ = true;
    levelHeard_ = false;
    meter_.Reset(g_nSampleRate);
    StartTrackList();
  }
  ShowTakeCaption();
}

void CRecorderDlg::LevelMeasured(int64_t, double levelDb, double thresholdDb) {
  levelHeard_ = true;
  levelDb_ = levelDb;
  thresholdDb_ = thresholdDb;
}

void CRecorderDlg::StartTrackList() {
  trackList_.reset();
  std::string cue = startOptions_.cue, labels = startOptions_.labels;
  if (keepTrackList_) {
    cue = BesideTrack(m_strPath, ".cue");
    labels = BesideTrack(m_strPath, ".txt");
  }
  if (cue.empty() && labels.empty()) return;
  trackList_.emplace(cue, labels, g_nSampleRate);
  std::string why;
  if (!trackList_->Start(why)) {
    std::fprintf(stderr, "tapewell: no track list for this take: %s\n", why.c_str());
    trackList_.reset();
  }
}

void CRecorderDlg::TrackCompleted(const std::string& path, int64_t firstFrame, int64_t frames) {
  std::string why;
  if (trackList_ && !trackList_->Add({path, firstFrame, frames}, why)) {
    std::fprintf(stderr, "tapewell: the track list stops here: %s\n", why.c_str());
    trackList_.reset();
  }
}

void CRecorderDlg::ShowTakeCaption() {
  if (!g_bRecording) return;
  std::string status = TakeStatusText(LoadString(IDS_TAKE_STATUS), FramePosition(), g_nSampleRate,
                                      TrackNumber(), CaptureDroppedFrames());
  if (WaveInService* service = GetWaveInService()) {
    std::string input;
    for (int64_t frame = 0; service->TakeInputChange(input, frame);) {
      inputNote_ = CliText(CliTextId::kRecInputChanged, WindowLanguage(), {input});
    }
    if (!inputNote_.empty()) status += " - " + inputNote_;
    const std::string note = TakeProgressNote(*service, catchUp_, FramePosition(), g_nSampleRate, WindowLanguage());
    if (!note.empty()) status += " - " + note;
  }
  // The level rule: the level it hears now and its threshold.
  if (levelHeard_) status += " - " + LevelNowText(LoadString(IDS_LEVEL_NOW), levelDb_, thresholdDb_);
  // The take first: a title bar or a task bar that has too little room cuts the end.
  setWindowTitle(Q(status) + QStringLiteral(" - ") + BaseCaption());
}

Language CRecorderDlg::WindowLanguage() {
  return LoadString(IDS_SILENT) == LoadTableString(IDS_SILENT, Language::Japanese) ? Language::Japanese
                                                                                   : Language::English;
}

void CRecorderDlg::AskStop() {
  if (!g_bRecording) return;
  WaveInService* service = GetWaveInService();
  if (!service) {
    OnStop();
    return;
  }
  catchUp_.Request(*service, FramePosition());
  if (catchUp_.GaveUp()) {
    const uint64_t frames = catchUp_.GivenUp();
    std::fprintf(stderr, "tapewell: %s\n",
                 CliText(CliTextId::kTakeGaveUp, WindowLanguage(),
                         {TenthsOfSeconds(double(frames) / g_nSampleRate), std::to_string(frames)})
                     .c_str());
    StopAtHandledFrames();
    return;
  }
  LookAtStop();
}

void CRecorderDlg::LookAtStop() {
  WaveInService* service = GetWaveInService();
  if (!g_bRecording || !catchUp_.Active() || !service) return;
  const int64_t limit = catchUp_.Limit(*service);
  if (limit == WaveInService::kStopAtOnce) {
    OnStop();
  } else if (limit >= 0 && FramePosition() >= limit) {
    StopAtHandledFrames();
  } else if (catchUp_.InRing(*service)) {
    OnStop();
  } else {
    ShowTakeCaption();
  }
}

void CRecorderDlg::RecordingEnded(RecordingEnd why) {
  captionTimer_.stop();
  catchUp_ = StopCatchUp();
  inputNote_.clear();
  // A close that waited for the stop to catch up goes on.
  if (closeResult_) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!closeResult_) return;
          const int result = *closeResult_;
          closeResult_.reset();
          QDialog::done(result);
        },
        Qt::QueuedConnection);
  }
  // A recording that could not start or go on says why, as tapewell-rec
  // would: on the file line's tooltip and in one line on standard error.
  const Language language = WindowLanguage();
  const WaveInService* service = GetWaveInService();
  const std::string reason =
      TakeFailureReason(why, language, m_strPath, WaveWriterErrno(), service ? service->LastError() : std::string());
  Control(IDC_FILE)->setToolTip(Q(reason));
  if (!reason.empty()) std::fprintf(stderr, "tapewell: %s\n", reason.c_str());
  // The caption sums the take up until the next Record: its length, tracks
  // and dropped frames, after the reason it ended when it failed; a Record
  // that could not start gives the reason alone.
  std::string caption = reason;
  if (takeRunning_) {
    if (!caption.empty()) caption += " - ";
    caption += TakeStatusText(LoadString(IDS_TAKE_SUMMARY), FramePosition(), g_nSampleRate, TrackNumber(),
                              CaptureDroppedFrames());
  }
  takeRunning_ = false;
  setWindowTitle(caption.empty() ? BaseCaption() : Q(caption) + QStringLiteral(" - ") + BaseCaption());
}

bool CRecorderDlg::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  QCoreApplication::postEvent(this, new NoticeEvent(message, wParam, lParam));
  return true;
}

bool CRecorderDlg::event(QEvent* e) {
  if (e->type() == NoticeEvent::Kind()) {
    const auto* notice = static_cast<NoticeEvent*>(e);
    if (notice->message == WM_USER) {
      // After Stop, the take ends at the last frame captured before it.
      WaveInService* service = GetWaveInService();
      const int slot = g_bRecording && catchUp_.Active() && service && notice->wParam == MM_WIM_DATA
                           ? PeekCaptureNotice(this, notice->lParam)
                           : -1;
      const bool last = slot >= 0 && catchUp_.Clip(*service, g_pWaveHdr[slot], FramePosition());
      OnBufferDone(notice->wParam, notice->lParam);
      if (last) {
        StopAtHandledFrames();
      } else {
        LookAtStop();
      }
    } else if (notice->message == WM_CAPTURE_ENDED) {
      OnCaptureEnded(notice->wParam);
    }
    return true;
  }
  return QDialog::event(e);
}

std::optional<std::string> CRecorderDlg::ChooseFolder(const std::string& title, const std::string& initial) {
  const QString chosen = QFileDialog::getExistingDirectory(this, Q(title), Q(initial), QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return S(chosen);
}

void CRecorderDlg::OnBrowse() {
  UpdateData(true);
  // The browser opens on the folder without its trailing separator, except
  // "/": the root is its separator.
  std::string initial = m_strFolder;
  const bool root = kFolderSeparator == '/' && initial == "/";
  if (!initial.empty() && !root) initial.pop_back();
  if (auto chosen = ChooseFolder(LoadString(IDS_CHOOSE_FOLDER), initial); chosen && !chosen->empty()) {
    m_strFolder = *chosen;
    if (m_strFolder.back() != kFolderSeparator) m_strFolder += kFolderSeparator;
  }
  m_strFile = MakeNextTrackName();
  UpdateData(false);
}

void CRecorderDlg::WriteControlRegister() {
  UpdateData(true);
  std::string why;
  const bool written =
      ProgramControlRegister(ports_, g_bI2S, {m_wPort, m_dwControl, m_bMonitor, m_bMpegSource, m_strDiag}, why);
  // A refused write leaves the boxes showing what the card still holds, and says why.
  for (int id : {IDC_MONITOR, IDC_MPEG_SOURCE}) Control(id)->setToolTip(written ? QString() : Q(why));
  UpdateData(false);
}

void CRecorderDlg::OnSysCommand(unsigned command, intptr_t) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) ShowAboutBox();
  if ((command & 0xFFF0) == IDM_OPTIONS) ShowOptionsDialog();
  // Every other system command is the window system's own.
}

void CRecorderDlg::ShowAboutBox() {
  CAboutDlg about(this);
  about.exec();
}

void CRecorderDlg::ShowOptionsDialog() {
  const std::string device = startOptions_.device;
  std::vector<InputDevice> inputs;
  std::string why;
  if (!ChooseLiveInput(device).List(inputs, why)) {
    std::fprintf(stderr, "tapewell: the inputs cannot be listed: %s\n", why.c_str());
  }
  // Outside a take the dialog listens to the input itself.
  const bool recording = g_bRecording != 0;
  COptionsDlg options({split, device, keepTrackList_}, inputs, meter_, recording ? nullptr : GetWaveInService(),
                      g_nSampleRate, this);
  if (options.exec() != QDialog::Accepted || recording) return;
  TakeChoices(options.Choices());
}

void CRecorderDlg::TakeChoices(const RecordingChoices& chosen) {
  const std::string device = startOptions_.device;
  split = chosen.split;
  keepTrackList_ = chosen.keepTrackList;
  if (chosen.device != device) {
    startOptions_.device = chosen.device;
    // The new input is in place before the one it replaces goes.
    LiveInput next = ChooseLiveInput(chosen.device);
    SetWaveInService(next.service.get());
    chosenInput_ = std::move(next);
  }
}

void CRecorderDlg::contextMenuEvent(QContextMenuEvent* e) {
  if (!systemMenu_.isEmpty()) systemMenu_.exec(e->globalPos());
}

void CRecorderDlg::paintEvent(QPaintEvent* e) {
  if (!isMinimized()) {
    QDialog::paintEvent(e);
    return;
  }
  QPainter painter(this);
  const int side = style()->pixelMetric(QStyle::PM_LargeIconSize);
  const IconOrigin at = CentreIcon(width(), height(), side, side);
  painter.drawPixmap(at.x, at.y, m_hIcon.pixmap(side, side));
}

void CRecorderDlg::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    // Enter clicks the focused push button; anywhere else it is OK.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      OnOK();
    }
    return;
  }
  QDialog::keyPressEvent(e);  // Escape: Cancel
}

void CRecorderDlg::OnOK() {
  UpdateData(true);
  done(QDialog::Accepted);
}

void CRecorderDlg::done(int result) {
  // Closing while recording stops first, so that no captured frame is lost:
  // the window closes once the stop has caught up (a second close gives up
  // on what is still to be written).
  if (g_bRecording) {
    closeResult_ = result;
    AskStop();
    if (g_bRecording) return;
  }
  closeResult_.reset();
  CloseRecording();
  QDialog::done(result);
}
