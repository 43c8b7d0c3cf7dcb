// The window, headless: start-up state, the template, the buttons against the
// fake capture and real files, Browse, the About item, both languages and
// the control register's check boxes. The live cases also run on a real X
// server (tests/on_private_x.sh sets Qt's xcb platform).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <filesystem>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "capture/pulse/pulse_wave_in.h"
#include "recorder/track_writer.h"
#include "capture/fake/fake_wave_in.h"
#include "tests/engine_harness.h"
#include "tests/own_server.h"
#include "tests/test_support.h"
#include "ui/about_dialog.h"
#include "templates/dialog_template.h"
#include "ui/icon_placement.h"
#include "ui/options_dialog.h"
#include "ui/recorder_dialog.h"
#include "ui/template_layout.h"
#include "ui/translations.h"

namespace {

// Every warning Qt prints while a test runs; the window must print none.
QStringList g_qtWarnings;
void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
  // The headless platform's own complaint about a window with a fixed size;
  // no desktop platform prints it.
  if (text == QStringLiteral("This plugin does not support propagateSizeHints()")) return;
  if (type != QtDebugMsg && type != QtInfoMsg) g_qtWarnings << text;
}

class TestDialog : public CRecorderDlg {
 public:
  using CRecorderDlg::CRecorderDlg;
  std::string Load(int id) { return LoadString(id); }
  std::optional<std::string> chosen;
  std::string browseTitle, browseInitial;
  int aboutBoxes = 0;
  int optionsDialogs = 0;
  bool emptyAboutText = false;
  bool realChooser = false;  // the real folder browser instead of `chosen`

 protected:
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initial) override {
    browseTitle = title;
    browseInitial = initial;
    if (realChooser) return CRecorderDlg::ChooseFolder(title, initial);
    return chosen;
  }
  void ShowAboutBox() override { ++aboutBoxes; }
  void ShowOptionsDialog() override { ++optionsDialogs; }
  std::string LoadString(int id) override {
    if (emptyAboutText && id == IDS_ABOUTBOX) return {};
    return CRecorderDlg::LoadString(id);
  }
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    g_recorderState = RecorderState{};
    StopCapture();
    g_waveFileState = WaveFileState{};
    SetWaveInService(&fake);
    InstallLanguage(Language::English);
    ports.value = 0x00004200;
    g_qtWarnings.clear();
  }
  void TearDown() override {
    EXPECT_TRUE(g_qtWarnings.isEmpty()) << "Qt printed: " << g_qtWarnings.join(" | ").toStdString();
    dialog.reset();
    StopCapture();
    SetWaveInService(nullptr);
    g_waveFileState = WaveFileState{};
    InstallLanguage(Language::English);
    std::filesystem::current_path(saved_);
  }
  TestDialog& Open(const std::string& commandLine = "") {
    dialog = std::make_unique<TestDialog>(naming, ports, commandLine);
    dialog->OnInitDialog();
    return *dialog;
  }
  QString Text(int id) { return static_cast<QLabel*>(dialog->Control(id))->text(); }
  bool Checked(int id) { return static_cast<QAbstractButton*>(dialog->Control(id))->isChecked(); }
  void Click(int id) { static_cast<QAbstractButton*>(dialog->Control(id))->click(); }
  QSlider* Slider(int id) { return static_cast<QSlider*>(dialog->Control(id)); }
  void Deliver(size_t frames, int16_t value) {
    std::vector<uint8_t> bytes(frames * 4);
    for (size_t i = 0; i < frames; ++i) {
      const int16_t v = static_cast<int16_t>(i % 2 ? value : -value);
      std::memcpy(&bytes[4 * i], &v, 2);
      std::memcpy(&bytes[4 * i + 2], &v, 2);
    }
    ASSERT_TRUE(fake.Deliver(bytes.data(), uint32_t(bytes.size())));
    QCoreApplication::processEvents();
  }

  testsupport::TempDir dir;
  harness::FixedDateNaming naming;
  FakePort ports;
  FakeWaveInService fake;
  std::unique_ptr<TestDialog> dialog;

 private:
  std::filesystem::path saved_;
};

}  // namespace

TEST_F(DialogTest, StartUpState) {
  testsupport::WriteFileBytes(dir.file("07Dec001.wav"), {});
  auto& d = Open();
  // Without -w the folder line shows where the files go: the current folder.
  EXPECT_EQ(Text(IDC_FOLDER).toStdString(), std::filesystem::current_path().string() + "/");
  EXPECT_EQ(Text(IDC_FILE), "07Dec002");
  EXPECT_TRUE(Checked(IDC_RATE_44K));
  EXPECT_FALSE(Checked(IDC_RATE_32K));
  EXPECT_EQ(g_nSampleRate, 44100);
  EXPECT_EQ(Slider(IDC_SILENCE_LENGTH)->value(), 1);
  EXPECT_EQ(Slider(IDC_SILENCE_LENGTH)->minimum(), 1);
  EXPECT_EQ(Slider(IDC_SILENCE_LENGTH)->maximum(), 100);
  EXPECT_EQ(Slider(IDC_SILENCE_LEVEL)->value(), 7);
  EXPECT_EQ(Slider(IDC_SILENCE_LEVEL)->maximum(), 15);
  EXPECT_TRUE(Checked(IDC_MONITOR));      // bit 14
  EXPECT_TRUE(Checked(IDC_MPEG_SOURCE));  // bit 9
  EXPECT_EQ(Text(IDC_DIAG), " 0xe000 - 0x00004200");
  EXPECT_EQ(ports.writes, 0) << "nothing is written to the card at start";
  EXPECT_EQ(g_bI2S, 1);
  EXPECT_EQ(d.m_wPort, 0xE000);
  EXPECT_EQ(Text(IDC_SILENT_LAMP), "");
}

TEST_F(DialogTest, TemplateLayoutVisibilityAndTabOrder) {
  auto& d = Open();
  EXPECT_FALSE(d.Control(IDC_DIAG)->isVisibleTo(&d));
  EXPECT_FALSE(d.Control(IDC_STOP_TIMER)->isVisibleTo(&d));
  EXPECT_FALSE(d.Control(IDC_PLAY)->isEnabled());
  EXPECT_TRUE(d.Control(IDC_RECORD)->isVisibleTo(&d));
  EXPECT_EQ(static_cast<QPushButton*>(d.Control(IDC_RECORD))->text(), "&Record");
  TemplateLayout layout(TemplateLayout::DialogFont());
  // Positions keep the template's proportions.
  const QRect record = d.Control(IDC_RECORD)->geometry(), stop = d.Control(IDC_STOP)->geometry();
  EXPECT_EQ(record.y(), stop.y());
  EXPECT_EQ(record.width(), stop.width());
  EXPECT_LT(record.right(), stop.left());
  EXPECT_NEAR(d.width() / double(d.height()), (245 * layout.baseX() / 4) / (191 * layout.baseY() / 8), 0.2);
  // Tab order follows the template among the controls that take the focus.
  std::vector<QWidget*> expected;
  for (const auto& t : kRecorderTemplate) {
    if (t.tabStop && !t.hidden && !t.disabled) expected.push_back(d.Control(t.id));
  }
  QWidget* w = expected.front();
  for (size_t i = 1; i < expected.size(); ++i) {
    do {
      w = w->nextInFocusChain();
    } while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&d) || !w->isEnabled());
    EXPECT_EQ(w, expected[i]) << i;
  }
}

TEST_F(DialogTest, RecordTrackMarkStopThroughTheButtons) {
  auto& d = Open("-w" + dir.path());
  EXPECT_EQ(Text(IDC_FOLDER).toStdString(), dir.path() + "/");
  Click(IDC_RECORD);
  ASSERT_TRUE(g_bRecording);
  const std::string first = dir.path() + "/07Dec001.wav";
  EXPECT_EQ(Text(IDC_FILE).toStdString(), "REC - " + first);
  Deliver(8192, 3000);
  Deliver(100, 3000);
  EXPECT_EQ(Text(IDC_DIAG).toStdString(), "0,1,400no silent");
  Click(IDC_TRACK_MARK);
  EXPECT_EQ(Text(IDC_FILE).toStdString(), "REC - " + dir.path() + "/07Dec002.wav");
  Deliver(50, 3000);
  Click(IDC_STOP);
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(Text(IDC_FILE), "07Dec003");
  EXPECT_EQ(testsupport::ReadFileBytes(first).size(), 44u + 4 * 8292);
  // Until the next Record the caption sums the take up.
  EXPECT_EQ(d.windowTitle(), "Recorded 00:00:00 - tracks: 2 - frames dropped: 0 - " + d.BaseCaption());
}

TEST_F(DialogTest, TheSlidersSayTheirValuesInSecondsAndDecibelsAsTheyMove) {
  Open("-w" + dir.path());
  QSlider* length = Slider(IDC_SILENCE_LENGTH);
  QSlider* level = Slider(IDC_SILENCE_LEVEL);
  EXPECT_EQ(length->toolTip(), "Silence length: 0.1 s");
  EXPECT_EQ(level->toolTip(), "Silence level: threshold 128 (2^7), -48.2 dBFS");
  // The keyboard moves them, as a user without a mouse would.
  for (int i = 0; i < 14; ++i) {
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(length, &right);
  }
  QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
  QApplication::sendEvent(level, &home);
  EXPECT_EQ(length->toolTip(), "Silence length: 1.5 s");
  EXPECT_EQ(length->accessibleDescription(), length->toolTip());
  EXPECT_EQ(level->toolTip(), "Silence level: threshold 1 (2^0), -90.3 dBFS");
  EXPECT_EQ(level->accessibleDescription(), level->toolTip());
  level->setValue(15);
  EXPECT_EQ(level->toolTip(), "Silence level: threshold 32768 (2^15), 0.0 dBFS");
}

TEST_F(DialogTest, SilenceIndicatorAndAutoTrackThroughTheWindow) {
  Open("-w" + dir.path());
  Click(IDC_AUTO_TRACK);
  Click(IDC_RECORD);
  Deliver(10, 3000);
  Deliver(5000, 0);
  EXPECT_EQ(Text(IDC_SILENT_LAMP), "Silent");
  Deliver(10, 3000);
  EXPECT_EQ(Text(IDC_SILENT_LAMP), "");
  EXPECT_EQ(Text(IDC_FILE).toStdString(), "REC - " + dir.path() + "/07Dec002.wav");
  Click(IDC_STOP);
}

TEST_F(DialogTest, RateButtonsMoveOnlyWithinTheirGroup) {
  Open();
  Click(IDC_RATE_32K);
  EXPECT_EQ(g_nSampleRate, 32000);
  EXPECT_TRUE(Checked(IDC_RATE_32K));
  EXPECT_FALSE(Checked(IDC_RATE_44K));
  Click(IDC_RATE_48K);
  EXPECT_EQ(g_nSampleRate, 48000);
  EXPECT_FALSE(Checked(IDC_RATE_32K));
  EXPECT_TRUE(Checked(IDC_MONITOR));
  EXPECT_TRUE(Checked(IDC_MPEG_SOURCE));
}

TEST_F(DialogTest, BrowseChosenRootAndCancelled) {
  auto& d = Open();
  d.chosen = dir.path();
  Click(IDC_BROWSE);
  EXPECT_EQ(d.browseInitial, std::filesystem::current_path().string()) << "the browser opens where files go";
  EXPECT_EQ(d.browseTitle, "choose destination folder.");
  EXPECT_EQ(Text(IDC_FOLDER).toStdString(), dir.path() + "/");
  d.chosen.reset();
  testsupport::WriteFileBytes(dir.file("07Dec001.wav"), {});
  Click(IDC_BROWSE);
  EXPECT_EQ(d.browseInitial, dir.path());
  EXPECT_EQ(Text(IDC_FOLDER).toStdString(), dir.path() + "/") << "cancelled: unchanged";
  EXPECT_EQ(Text(IDC_FILE), "07Dec002") << "the file line is still recomputed";
  d.chosen = "/";
  Click(IDC_BROWSE);
  EXPECT_EQ(Text(IDC_FOLDER), "/");
  d.chosen.reset();
  Click(IDC_BROWSE);
  EXPECT_EQ(d.browseInitial, "/") << "the root opens on the root";
}

TEST_F(DialogTest, TheRealBrowserOpensOnTheCurrentFolder) {
  // The process's working directory is dir; the browser must not open there.
  std::filesystem::create_directory(dir.file("sub"));
  for (const std::string& folder : {std::string("/"), dir.file("sub")}) {
    auto& d = Open("-w" + folder);
    d.realChooser = true;
    QString opened;
    QTimer::singleShot(0, [&] {
      auto* browser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(browser, nullptr);
      opened = browser->directory().absolutePath();
      browser->reject();
    });
    Click(IDC_BROWSE);
    EXPECT_EQ(opened.toStdString(), folder);
    EXPECT_EQ(Text(IDC_FOLDER).toStdString(), folder == "/" ? "/" : folder + "/") << "cancelled: unchanged";
  }
}

TEST_F(DialogTest, TheFolderBrowserSpeaksTheWindowsLanguage) {
  for (const Language language : {Language::Japanese, Language::English}) {
    ASSERT_TRUE(InstallLanguage(language));
    auto& d = Open("-w" + dir.path());
    d.realChooser = true;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
      auto* browser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(browser, nullptr);
      for (auto* button : browser->findChildren<QPushButton*>()) buttons << button->text();
      browser->reject();
    });
    Click(IDC_BROWSE);
    // Qt's own dialog: "キャンセル" from Qt's Japanese translation, "Cancel" otherwise.
    const QString cancel = language == Language::Japanese ? QStringLiteral("キャンセル") : QStringLiteral("Cancel");
    EXPECT_TRUE(buttons.contains(cancel)) << buttons.join(" | ").toStdString();
  }
}

TEST_F(DialogTest, AFolderNameThatIsNotUtf8IsKeptByteForByte) {
  const std::string folder = dir.path() + "/caf\xe9";  // Latin-1 "café": not valid UTF-8
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  auto& d = Open("-w" + folder);
  EXPECT_EQ(Text(IDC_FOLDER), QString::fromStdString(dir.path()) + QStringLiteral("/caf\uFFFD/")) << "shown lossily";
  Click(IDC_RECORD);  // reads the controls back into the members first
  ASSERT_TRUE(g_bRecording) << Text(IDC_FILE).toStdString();
  EXPECT_EQ(d.m_strFolder, folder + "/");
  EXPECT_EQ(d.m_strPath, folder + "/07Dec001.wav");
  Deliver(1000, 2000);
  Click(IDC_TRACK_MARK);
  Click(IDC_STOP);
  EXPECT_EQ(d.m_strFolder, folder + "/");
  EXPECT_EQ(Text(IDC_FILE), "07Dec003");
  const auto bytes = testsupport::ReadFileBytes(folder + "/07Dec001.wav");
  ASSERT_EQ(bytes.size(), 44u + 4000u);
  EXPECT_EQ(testsupport::ReadLe32(bytes, 40), 4000u);
  EXPECT_TRUE(std::filesystem::exists(folder + "/07Dec002.wav"));

  // A line given another text since is read back as that text.
  static_cast<QLabel*>(d.Control(IDC_FOLDER))->setText(QStringLiteral("/elsewhere/"));
  Click(IDC_BROWSE);
  EXPECT_EQ(d.m_strFolder, "/elsewhere/");
}

TEST_F(DialogTest, TheDroppedFramesCaptionPrintsNoWarning) {
  auto& d = Open("-w" + dir.path());
  Click(IDC_RECORD);
  Deliver(100, 3000);
  Click(IDC_STOP);
  EXPECT_EQ(d.windowTitle(), "Recorded 00:00:00 - tracks: 1 - frames dropped: 0 - " + d.BaseCaption());
  EXPECT_TRUE(g_qtWarnings.isEmpty()) << g_qtWarnings.join(" | ").toStdString();
}

TEST_F(DialogTest, TheCaptionFollowsALongTakeAboutOnceASecond) {
  auto& d = Open("-w" + dir.path());
  const std::string base = d.BaseCaption().toStdString();
  auto caption = [&] { return d.windowTitle().toStdString(); };
  // Runs the window's event loop for `ms` milliseconds, as the user would wait.
  auto wait = [](int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  };
  Click(IDC_RECORD);
  EXPECT_EQ(caption(), "00:00:00 - track 1 - 0 frames dropped - " + base);
  for (int i = 0; i < 6; ++i) Deliver(8192, 3000);  // 1.11 s at 44.1 kHz
  wait(1200);
  EXPECT_EQ(caption(), "00:00:01 - track 1 - 0 frames dropped - " + base);
  Click(IDC_TRACK_MARK);
  EXPECT_EQ(caption(), "00:00:01 - track 2 - 0 frames dropped - " + base) << "a new track shows at once";
  for (int i = 0; i < 6; ++i) Deliver(8192, 3000);
  // Frames the ring had no room for count as dropped.
  for (int i = 0; i < 9; ++i) fake.Deliver(std::vector<uint8_t>(4 * 8192).data(), 4 * 8192);
  wait(1200);
  EXPECT_EQ(caption(), "00:00:03 - track 2 - 8192 frames dropped - " + base);  // the ring held eight of the nine
  Click(IDC_STOP);
  EXPECT_EQ(caption(), "Recorded 00:00:03 - tracks: 2 - frames dropped: 8192 - " + base);
  const std::string stopped = caption();
  wait(1200);
  EXPECT_EQ(caption(), stopped) << "no update after the take";
}

TEST_F(DialogTest, WithTheLevelRuleTheCaptionAddsTheLevelItHears) {
  dialog = std::make_unique<TestDialog>(naming, ports, "-w" + dir.path());
  WindowOptions options;
  options.split.levelRule = true;
  options.split.thresholdDb = -40;
  dialog->SetStartOptions(options);
  dialog->OnInitDialog();
  const std::string base = dialog->BaseCaption().toStdString();
  Click(IDC_RECORD);
  Deliver(8192, 3000);  // -20.8 dBFS
  dialog->ShowTakeCaption();
  const std::string caption = dialog->windowTitle().toStdString();
  EXPECT_NE(caption.find(" - track 1 - 0 frames dropped - level -20.8 dBFS (silence below -40.0) - " + base),
            std::string::npos)
      << caption;
  Click(IDC_STOP);
  // The stillness rule has no level to show.
  Open("-w" + dir.path());
  Click(IDC_RECORD);
  Deliver(8192, 3000);
  dialog->ShowTakeCaption();
  EXPECT_EQ(dialog->windowTitle().toStdString().find("level"), std::string::npos);
  Click(IDC_STOP);
}

TEST_F(DialogTest, OptionsKeepATrackListBesideEachTakesFirstTrack) {
  auto& d = Open("-w" + dir.path());
  RecordingChoices choices;
  choices.keepTrackList = true;
  d.TakeChoices(choices);
  Click(IDC_RECORD);
  Deliver(8192, 3000);
  Deliver(8192, 3000);
  Click(IDC_TRACK_MARK);
  Deliver(8192, 3000);
  Click(IDC_STOP);
  auto text = [](const std::string& path) {
    const auto bytes = testsupport::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  };
  const std::string labels = text(dir.path() + "/07Dec001.txt");
  EXPECT_EQ(labels, "0.000000\t0.371519\t07Dec001.wav\n0.371519\t0.557278\t07Dec002.wav\n");
  const std::string cue = text(dir.path() + "/07Dec001.cue");
  EXPECT_NE(cue.find("FILE \"07Dec002.wav\" WAVE"), std::string::npos) << cue;
}

TEST_F(DialogTest, AFailedRecordSaysWhyOnTheFileLinesTooltipAndStandardError) {
  // The capture cannot start: the backend's own reason.
  auto& d = Open("-w" + dir.path());
  fake.failOpen = true;
  fake.lastError = "the sound server does not answer (Connection refused)";
  testing::internal::CaptureStderr();
  Click(IDC_RECORD);
  std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(g_bRecording);
  EXPECT_EQ(Text(IDC_FILE), "failed to record sound.");
  EXPECT_EQ(d.Control(IDC_FILE)->toolTip().toStdString(), fake.lastError);
  EXPECT_EQ(printed, "tapewell: " + fake.lastError + "\n");
  // The caption gives the reason too, and no count of a take that never ran.
  EXPECT_EQ(d.windowTitle(), QString::fromStdString(fake.lastError) + " - " + d.BaseCaption());
  // A track file that cannot be created: its path and the system's reason.
  const std::string missing = dir.path() + "/missing";
  auto& e = Open("-w" + missing);
  fake.failOpen = false;
  testing::internal::CaptureStderr();
  Click(IDC_RECORD);
  printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Text(IDC_FILE), "failed to open file!");
  const std::string reason = "cannot create " + missing + "/07Dec001.wav: No such file or directory";
  EXPECT_EQ(e.Control(IDC_FILE)->toolTip().toStdString(), reason);
  EXPECT_EQ(printed, "tapewell: " + reason + "\n");
  EXPECT_EQ(e.windowTitle(), QString::fromStdString(reason) + " - " + e.BaseCaption());
  // A recording that starts takes the old reason away.
  std::filesystem::create_directory(missing);
  Click(IDC_RECORD);
  ASSERT_TRUE(g_bRecording);
  EXPECT_EQ(e.Control(IDC_FILE)->toolTip(), "");
  Click(IDC_STOP);
}

TEST_F(DialogTest, AboutItemInTheSystemMenu) {
  auto& d = Open();
  const auto actions = d.SystemMenu()->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_TRUE(actions[0]->isSeparator());
  EXPECT_EQ(actions[1]->text(), "&About Tapewell…");
  EXPECT_EQ(actions[1]->data().toUInt(), IDM_ABOUTBOX);
  actions[1]->trigger();
  EXPECT_EQ(d.aboutBoxes, 1);
  d.OnSysCommand(0x0013, 0);  // the low four bits are the system's
  EXPECT_EQ(d.aboutBoxes, 2);
  d.OnSysCommand(0xF060, 0);
  EXPECT_EQ(d.aboutBoxes, 2);
  // Options after About.
  EXPECT_EQ(actions[2]->text(), "&Options…");
  EXPECT_EQ(actions[2]->data().toUInt(), IDM_OPTIONS);
  actions[2]->trigger();
  d.OnSysCommand(0x0021, 0);
  EXPECT_EQ(d.optionsDialogs, 2);
  EXPECT_EQ(d.aboutBoxes, 2);
}

TEST_F(DialogTest, EmptyAboutTextAddsNoItem) {
  dialog = std::make_unique<TestDialog>(naming, ports, "");
  dialog->emptyAboutText = true;
  dialog->OnInitDialog();
  ASSERT_EQ(dialog->SystemMenu()->actions().size(), 1);
  EXPECT_EQ(dialog->SystemMenu()->actions()[0]->data().toUInt(), IDM_OPTIONS);
}

TEST_F(DialogTest, ClosingDuringARecordingCompletesTheFile) {
  auto& d = Open("-w" + dir.path());
  Click(IDC_RECORD);
  Deliver(5000, 1000);
  d.reject();  // Exit, Escape and the window's close all end here
  EXPECT_FALSE(g_bRecording);
  const auto bytes = testsupport::ReadFileBytes(dir.path() + "/07Dec001.wav");
  EXPECT_EQ(bytes.size(), 44u + 20000u);
  EXPECT_EQ(testsupport::ReadLe32(bytes, 40), 20000u);
}

// The WAV writer, with one block put that stalls as a disk that hangs:
// `during` runs in the middle of the stall.
class StallingWriter : public TrackWriter {
 public:
  StallingWriter(int stallAt, std::chrono::milliseconds before, std::chrono::milliseconds after,
                 std::function<void()> during)
      : stallAt_(stallAt), before_(before), after_(after), during_(std::move(during)) {}
  int Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) override {
    return real_.Create(path, rate, bits, channels);
  }
  int PutFrames(const uint8_t* frames, uint32_t count) override {
    if (puts_ == 0) firstPut = std::chrono::steady_clock::now();
    if (++puts_ == stallAt_) {
      std::this_thread::sleep_for(before_);
      during_();
      std::this_thread::sleep_for(after_);
    }
    return real_.PutFrames(frames, count);
  }
  void LeaveOutLast(uint64_t count) override { real_.LeaveOutLast(count); }
  int Close() override { return real_.Close(); }
  bool IsOpen() const override { return real_.IsOpen(); }
  uint64_t FramesLeft() const override { return real_.FramesLeft(); }
  void Discard(const std::string& path) override { real_.Discard(path); }
  bool StillThere() override { return real_.StillThere(); }
  bool StillThereNow() override { return real_.StillThereNow(); }
  /// When the first frames were put: a buffer's time after the first was captured.
  std::chrono::steady_clock::time_point firstPut;

 private:
  TrackWriter& real_ = DefaultTrackWriter();
  int stallAt_, puts_ = 0;
  std::chrono::milliseconds before_, after_;
  std::function<void()> during_;
};

// A client of the window's X server of the test's own, as a window manager
// is: what it sends reaches the window through the server, and the window's
// thread reads it only when it runs its event loop again.
class XClient {
 public:
  /// Connects to the server of DISPLAY; error() says whether that worked.
  XClient() : connection_(xcb_connect(nullptr, nullptr)) {}
  ~XClient() { xcb_disconnect(connection_); }
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  /// Non-zero when the connection failed (xcb_connection_has_error's code).
  int error() const { return xcb_connection_has_error(connection_); }
  /// Whether `window` is mapped and viewable.
  bool Viewable(xcb_window_t window) {
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
  }
  /// Whether `window` lists WM_DELETE_WINDOW in its WM_PROTOCOLS, which a
  /// window manager checks before it asks a window to close.
  bool TakesDeleteWindow(xcb_window_t window) {
    const xcb_atom_t protocols = Atom("WM_PROTOCOLS"), deleteWindow = Atom("WM_DELETE_WINDOW");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, protocols, XCB_ATOM_ATOM, 0, 64), nullptr);
    bool listed = false;
    if (reply && reply->format == 32) {
      const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
      const int count = xcb_get_property_value_length(reply) / 4;
      listed = std::find(atoms, atoms + count, deleteWindow) != atoms + count;
    }
    std::free(reply);
    return listed;
  }
  /// The window manager's close: a WM_PROTOCOLS ClientMessage carrying
  /// WM_DELETE_WINDOW; whether the server took it.
  bool SendDeleteWindow(xcb_window_t window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = Atom("WM_PROTOCOLS");
    message.data.data32[0] = Atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    return Send(window, &message);
  }
  /// A click of the left button at `at` in `window` (at `root` on the
  /// screen): a press, then a release; whether the server took both.
  bool SendClick(xcb_window_t window, QPoint at, QPoint root) {
    for (const uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE}) {
      xcb_button_press_event_t button{};
      button.response_type = type;
      button.detail = 1;
      button.time = XCB_CURRENT_TIME;
      button.root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
      button.event = window;
      button.root_x = int16_t(root.x());
      button.root_y = int16_t(root.y());
      button.event_x = int16_t(at.x());
      button.event_y = int16_t(at.y());
      button.state = type == XCB_BUTTON_RELEASE ? XCB_BUTTON_MASK_1 : 0;
      button.same_screen = 1;
      if (!Send(window, &button)) return false;
    }
    return true;
  }

 private:
  // Sends the 32-byte `event` to the client that made `window`; whether the server took it.
  bool Send(xcb_window_t window, const void* event) {
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_send_event_checked(connection_, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                            static_cast<const char*>(event)));
    std::free(error);
    return error == nullptr;
  }
  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
  }

  xcb_connection_t* connection_;
};

// The window recording a private sound server's monitor: headless, or on a
// real X server when the test runs with Qt's xcb platform
// (tests/on_private_x.sh), where Stop and the close come through the server.
class LiveDialogTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    if (!std::getenv("TAPEWELL_PULSE")) GTEST_SKIP() << "no private sound server (the test command provides one)";
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
      x_ = std::make_unique<XClient>();
      ASSERT_EQ(x_->error(), 0) << "no connection to the X server " << qgetenv("DISPLAY").toStdString();
    }
  }
  // Runs the event loop until `done` or 5 s have passed; whether `done`.
  static bool WaitFor(const std::function<bool()>& done) {
    const auto start = std::chrono::steady_clock::now();
    while (!done() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
  }
  // Stop as the user clicks it: on an X server the left button pressed and
  // released over it through the server; headless a click, posted.
  void ClickStop(TestDialog& d) {
    auto* stop = static_cast<QAbstractButton*>(d.Control(IDC_STOP));
    if (!x_) {
      QMetaObject::invokeMethod(stop, [stop] { stop->click(); }, Qt::QueuedConnection);
      return;
    }
    const QPoint at = stop->mapTo(&d, stop->rect().center());
    EXPECT_TRUE(x_->SendClick(xcb_window_t(d.winId()), at, d.mapToGlobal(at)));
  }
  // The window manager's close: on an X server WM_DELETE_WINDOW through the
  // server; headless the close event Qt makes of it, posted.
  void CloseAsTheWindowManager(TestDialog& d) {
    if (!x_) {
      QMetaObject::invokeMethod(&d, [&d] { d.close(); }, Qt::QueuedConnection);
      return;
    }
    EXPECT_TRUE(x_->TakesDeleteWindow(xcb_window_t(d.winId())));
    EXPECT_TRUE(x_->SendDeleteWindow(xcb_window_t(d.winId())));
  }
  // Records through a track writer whose fifth buffer (0.85 s in) takes 4 s,
  // and ends the take with `end` 3 s into that stall (handled once the write
  // is over); checks that every frame captured before then is in the file.
  void EndDuringAStall(const std::function<void(TestDialog&)>& end) {
    testsupport::OwnServer server;
    ASSERT_EQ(server.why(), "");
    setenv("PULSE_SERVER", server.ClientEnv().at("PULSE_SERVER").c_str(), 1);
    PulseWaveInService pulse;
    ASSERT_TRUE(pulse.Connect()) << pulse.LastError();
    SetWaveInService(&pulse);
    auto& d = Open("-w" + dir.path());
    d.show();
    if (x_) {
      ASSERT_TRUE(WaitFor([&] { return x_->Viewable(xcb_window_t(d.winId())); })) << "the window never showed";
    }
    std::chrono::steady_clock::time_point pressed;
    StallingWriter writer(5, std::chrono::seconds(3), std::chrono::seconds(1), [&] {
      pressed = std::chrono::steady_clock::now();
      end(d);
    });
    d.SetTrackWriter(writer);
    Click(IDC_RATE_48K);
    const auto record = std::chrono::steady_clock::now();
    Click(IDC_RECORD);
    EXPECT_TRUE(g_bRecording);
    while (g_bRecording && std::chrono::steady_clock::now() - record < std::chrono::seconds(30)) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(g_bRecording) << "the take did not end";
    d.SetTrackWriter(DefaultTrackWriter());
    SetWaveInService(&fake);
    unsetenv("PULSE_SERVER");
    // The first buffer (8,192 frames) was put as soon as it was full.
    const auto bytes = testsupport::ReadFileBytes(dir.path() + "/07Dec001.wav");
    ASSERT_GE(bytes.size(), 44u);
    const double seconds = double(bytes.size() - 44) / 4 / 48000;
    const double before = std::chrono::duration<double>(pressed - writer.firstPut).count() + 8192.0 / 48000;
    EXPECT_GT(seconds, before - 0.1) << "ended " << before << " s into the take";
    EXPECT_EQ(CaptureDroppedFrames(), 0u);
  }

  std::unique_ptr<XClient> x_;  // on an X server only
};

TEST_F(LiveDialogTest, StopDuringAWriteStallWritesEverythingCapturedBeforeIt) {
  EndDuringAStall([this](TestDialog& d) { ClickStop(d); });
  ASSERT_NE(dialog, nullptr);
  // After Stop the caption sums the take up.
  EXPECT_TRUE(dialog->windowTitle().contains(" - frames dropped: 0 - ")) << dialog->windowTitle().toStdString();
}

TEST_F(LiveDialogTest, ClosingTheWindowDuringAWriteStallWritesEverythingCapturedBeforeItThenCloses) {
  EndDuringAStall([this](TestDialog& d) { CloseAsTheWindowManager(d); });
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->isVisible()) << "the window did not close once the take was written";
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  if (x_) {
    EXPECT_TRUE(WaitFor([&] { return !x_->Viewable(xcb_window_t(dialog->winId())); })) << "still on the screen";
  }
}

TEST_F(DialogTest, EnterOnTheExitButtonEndsTheDialog) {
  auto& d = Open();
  d.show();
  d.Control(IDCANCEL)->setFocus();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&d, &enter);
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_FALSE(d.isVisible());
}

TEST_F(DialogTest, BothLanguages) {
  ASSERT_TRUE(InstallLanguage(Language::Japanese));
  auto& d = Open("-w" + dir.path());
  for (int id = IDS_ABOUTBOX; id <= kLastTableString; ++id) {
    EXPECT_EQ(d.Load(id), LoadTableString(id, Language::Japanese)) << id;
  }
  Click(IDC_RECORD);
  EXPECT_EQ(Text(IDC_FILE).toStdString(), "録音中 - " + dir.path() + "/07Dec001.wav");
  Click(IDC_STOP);
  EXPECT_EQ(d.windowTitle(), QStringLiteral("録音 00:00:00 - トラック数: 1 - 取りこぼしたフレーム: 0 - ") +
                                 QString::fromUtf8(kRecorderCaption));
  EXPECT_EQ(Slider(IDC_SILENCE_LEVEL)->toolTip(), QStringLiteral("無音検出のレベル: しきい値 128 (2^7)、-48.2 dBFS"));
  EXPECT_EQ(Slider(IDC_SILENCE_LENGTH)->toolTip(), QStringLiteral("無音検出の長さ: 0.1 秒"));
  ASSERT_TRUE(InstallLanguage(Language::English));
  for (int id = IDS_ABOUTBOX; id <= kLastTableString; ++id) {
    EXPECT_EQ(d.Load(id), LoadTableString(id, Language::English)) << id;
  }
}

TEST_F(DialogTest, RegisterCheckBoxesProgramTheCard) {
  ports.value = 0x00000220;
  Open("-fsony");
  EXPECT_EQ(Text(IDC_DIAG), "-fsony 0xe000 - 0x00000220");
  EXPECT_TRUE(Checked(IDC_MPEG_SOURCE));
  EXPECT_FALSE(Checked(IDC_MONITOR));
  Click(IDC_MONITOR);
  EXPECT_EQ(ports.value, 0x00004220u);
  EXPECT_EQ(Text(IDC_DIAG), "0xe000 - 0x00004220");
  Click(IDC_MPEG_SOURCE);  // source off: the monitor box has no effect
  EXPECT_EQ(ports.value, 0x00000020u);
}

TEST_F(DialogTest, RegisterOnAnotherPort) {
  ports.value = 0x00008000;
  Open("-iE400");
  EXPECT_EQ(ports.lastReadPort, 0xE400);
  EXPECT_EQ(Text(IDC_DIAG), "-iE400 0xe400 - 0x00008000");
  Click(IDC_MPEG_SOURCE);
  EXPECT_EQ(ports.lastWritePort, 0xE400);
  EXPECT_EQ(ports.value, 0x00008200u);
  EXPECT_EQ(Text(IDC_DIAG), "0xe400 - 0x00008200");
}

TEST_F(DialogTest, WithoutARegisterTheBoxesAreOffAndSayWhy) {
  ports.available = false;
  auto& d = Open();
  EXPECT_FALSE(d.Control(IDC_MONITOR)->isEnabled());
  EXPECT_FALSE(d.Control(IDC_MPEG_SOURCE)->isEnabled());
  EXPECT_FALSE(Checked(IDC_MONITOR));
  EXPECT_EQ(d.Control(IDC_MONITOR)->toolTip(), "no sound card control register (fake)");
  EXPECT_EQ(ports.reads, 0);
  EXPECT_EQ(Text(IDC_DIAG), " 0xe000 - no sound card control register (fake)");
  Click(IDC_RECORD);  // still a recorder
  EXPECT_TRUE(g_bRecording);
  Click(IDC_STOP);
}

TEST_F(DialogTest, ARefusedWriteSaysWhyAndShowsWhatTheCardHolds) {
  ports.value = 0x00000200;
  auto& d = Open();
  ports.failWrites = true;
  Click(IDC_MONITOR);
  EXPECT_EQ(ports.value, 0x00000200u);
  EXPECT_FALSE(Checked(IDC_MONITOR));
  EXPECT_TRUE(Checked(IDC_MPEG_SOURCE));
  EXPECT_EQ(d.Control(IDC_MONITOR)->toolTip(), "the register refused the write (fake)");
  EXPECT_EQ(Text(IDC_DIAG), "0xe000 - the register refused the write (fake)");
  ports.failWrites = false;
  Click(IDC_MONITOR);
  EXPECT_EQ(ports.value, 0x0000C200u);
  EXPECT_EQ(d.Control(IDC_MONITOR)->toolTip(), "");
}

namespace {

// `frames` frames of one sample value on both channels through the fake input,
// a thousand at a time, each handled by the window's thread as it comes.
void Play(FakeWaveInService& input, int frames, int16_t value) {
  const std::vector<int16_t> block(2 * 1000, value);
  for (int done = 0; done < frames; done += 1000) {
    EXPECT_TRUE(input.Deliver(block.data(), 4 * static_cast<uint32_t>(std::min(1000, frames - done))));
    QCoreApplication::processEvents();
  }
}

}  // namespace

TEST(OptionsDialogTest, OutsideATakeItListensToTheInputAndTheClipLightStaysLitUntilClicked) {
  FakeWaveInService input;
  LevelMeter meter;
  auto options = std::make_unique<COptionsDlg>(RecordingChoices{}, std::vector<InputDevice>{}, meter, &input, 48000);
  auto* clip = options->findChild<QPushButton*>(QStringLiteral("clipLight"));
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(input.IsOpen());
  EXPECT_EQ(input.lastFormat.nSamplesPerSec, 48000u);
  EXPECT_FALSE(clip->property("lit").toBool());
  Play(input, 100, 32767);
  Play(input, 48000 * 3, 100);  // long after the meter's own clip mark is gone
  options->ShowLevel();
  const COptionsDlg& shown = *options;
  EXPECT_TRUE(clip->property("lit").toBool());
  EXPECT_EQ(shown.findChild<QLabel*>(QStringLiteral("levelText"))->text(),
            QStringLiteral("L -50.3 (-50.3)  R -50.3 (-50.3) dBFS"));
  // The floor the automatic threshold finds in what the dialog heard, and that threshold.
  EXPECT_EQ(shown.findChild<QLabel*>(QStringLiteral("floorText"))->text().toStdString(),
            "Noise floor -50.1 dBFS: the automatic threshold would be -42.1 dBFS");  // the rule's own measure
  clip->click();
  EXPECT_FALSE(clip->property("lit").toBool());
  Play(input, 48000, 100);
  options->ShowLevel();
  EXPECT_FALSE(clip->property("lit").toBool());
  // Closed, the dialog leaves the input closed.
  options.reset();
  EXPECT_FALSE(input.IsOpen());
}

TEST(OptionsDialogTest, ShowsTheSettingsAndTheInputsAndGivesThemBack) {
  LevelMeter meter;
  RecordingChoices choices;
  choices.split.levelRule = true;
  choices.split.thresholdDb = -42.5;
  choices.split.leadInSeconds = 1;
  choices.split.minTrackSeconds = 30;
  choices.split.trim = true;
  choices.split.stopAfterSilenceSeconds = 8;
  choices.device = "line";
  choices.keepTrackList = true;
  const std::vector<InputDevice> inputs = {{"mic", "Microphone", "", true, false}, {"line", "Line in", "", false, false}};
  FakeWaveInService service;
  COptionsDlg options(choices, inputs, meter, &service, 44100);
  auto* input = options.findChild<QComboBox*>(QStringLiteral("input"));
  ASSERT_NE(input, nullptr);
  ASSERT_EQ(input->count(), 3);  // the default input, then the list with the default marked
  EXPECT_EQ(input->itemText(1), "Microphone (default)");
  EXPECT_EQ(input->currentText(), "Line in");
  const RecordingChoices back = options.Choices();
  EXPECT_TRUE(back.split.levelRule);
  EXPECT_FALSE(back.split.automaticThreshold);
  EXPECT_EQ(back.split.thresholdDb, -42.5);
  EXPECT_EQ(back.split.leadInSeconds, 1);
  EXPECT_EQ(back.split.minTrackSeconds, 30);
  EXPECT_TRUE(back.split.trim);
  EXPECT_EQ(back.split.stopAfterSilenceSeconds, 8);
  EXPECT_EQ(back.device, "line");
  EXPECT_TRUE(back.keepTrackList);
  // During a take nothing can be changed; the clip light still can be put out.
  COptionsDlg during(choices, inputs, meter, nullptr, 44100);
  for (QWidget* w : during.findChildren<QWidget*>()) {
    if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w) || qobject_cast<QComboBox*>(w) ||
        qobject_cast<QDoubleSpinBox*>(w)) {
      EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    }
  }
  EXPECT_TRUE(during.findChild<QPushButton*>(QStringLiteral("clipLight"))->isEnabled());
}

TEST(AboutBoxTest, NamesTheProgramAndItsVersion) {
  ASSERT_TRUE(InstallLanguage(Language::English));
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), "About Tapewell");
  auto* text = static_cast<QLabel*>(about.Controls()[1]);
  EXPECT_EQ(text->text(), "Tapewell Version 1.0.4");
  auto* ok = static_cast<QPushButton*>(about.Controls()[2]);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  about.show();
  ok->click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(IconPlacementTest, CentresWithTruncatingDivision) {
  EXPECT_EQ(CentreIcon(33, 33, 32, 32).x, 1);
  EXPECT_EQ(CentreIcon(30, 30, 32, 32).x, 0);   // -1 / 2 is 0
  EXPECT_EQ(CentreIcon(28, 28, 32, 32).x, -1);  // -3 / 2 is -1
  EXPECT_EQ(CentreIcon(100, 41, 32, 32).y, 5);
}

int main(int argc, char** argv) {
  // Headless, unless the caller puts the window on an X server (tests/on_private_x.sh).
  if (qgetenv("QT_QPA_PLATFORM") != "xcb") qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;  // Qt sees none of the test's options
  QApplication app(qtArgc, argv);
  qInstallMessageHandler(CollectWarnings);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
