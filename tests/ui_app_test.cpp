// The application object: Qt is given none of the program's tokens, so the
// option scan sees the command line exactly as typed. One QApplication per
// process, so this is its own test program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <filesystem>

#include <QAbstractButton>
#include <QCheckBox>
#include <QSlider>
#include <sys/wait.h>

#include "app/recorder_app.h"
#include "capture/live_input.h"
#include "capture/capture_ring.h"
#include "capture/fake/fake_wave_in.h"
#include "tests/analog_side.h"
#include "tests/engine_harness.h"
#include "tests/rec_support.h"
#include "tests/test_support.h"
#include "templates/dialog_template.h"
#include "ui/options_dialog.h"
#include "ui/recorder_dialog.h"

TEST(RecorderAppTest, QtTakesNoneOfTheProgramsTokens) {
  // Tokens Qt would take as its own options if it saw them.
  std::vector<std::string> args = {"tapewell", "-reverse", "-widgetcount", "-style", "windows", "-fsony", "-iE400"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(args.size());

  CRecorderApp app(argc, argv.data());
  EXPECT_EQ(app.CommandLine(), "-reverse -widgetcount -style windows -fsony -iE400");
  EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight) << "-reverse is not Qt's";
  EXPECT_EQ(QApplication::arguments().join(' ').toStdString(), "tapewell");
  for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(argv[i], args[i].data()) << "argv is left as typed";

  // The window built from that command line applies every token: -widgetcount
  // is the folder "idgetcount/", -reverse a letter r that nothing uses.
  testsupport::TempDir dir;
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  harness::FixedDateNaming naming;
  FakePort ports;
  FakeWaveInService fake;
  SetWaveInService(&fake);
  {
    CRecorderDlg dialog(naming, ports, app.CommandLine());
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.m_strFolder, "idgetcount/");
    EXPECT_EQ(dialog.m_wPort, 0xE400);
    EXPECT_EQ(g_bI2S, 0);
    EXPECT_EQ(dialog.layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(static_cast<QLabel*>(dialog.Control(IDC_FOLDER))->text(), "idgetcount/");
  }
  SetWaveInService(nullptr);
  std::filesystem::current_path(saved);
}

namespace {

// True once process `pid` catches `signal` (its handler is installed).
bool Catches(qint64 pid, int signal) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return false;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("SigCgt:")) return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
  }
  return false;
}

}  // namespace

TEST(RecorderAppTest, TheProgramTakesQtsOptionNamesAsItsOwnAndEndsCleanlyOnSignals) {
  // The real program, headless: -widgetcount would make Qt print widget
  // statistics at the end and -reverse mirror the window; neither is Qt's
  // here. Each of the three signals closes the window as Exit does, and
  // nothing at all is printed on stderr.
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    testsupport::TempDir dir;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.path()));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(dir.path()));
    program.start(QStringLiteral(TAPEWELL_PATH),
                  {QStringLiteral("-reverse"), QStringLiteral("-widgetcount"), QStringLiteral("-w") + dir.path().c_str()});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Catches(program.processId(), signal); }, 20000))
        << "the program never caught signal " << signal << ": " << program.readAllStandardError().toStdString();
    ASSERT_EQ(kill(pid_t(program.processId()), signal), 0);
    ASSERT_TRUE(program.waitForFinished(10000)) << signal;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
    EXPECT_EQ(program.exitCode(), 0) << signal;
    EXPECT_EQ(program.readAllStandardError().toStdString(), "") << signal;
  }
}

TEST(RecorderAppTest, AVinylSideRecordedByTheWindowIsCutAsTheTerminalRecorderCutsIt) {
  if (!std::getenv("TAPEWELL_PULSE")) {
    GTEST_SKIP() << "no private PulseAudio server (the test command starts one)";
  }
  // Three short pieces on a vinyl side: surface noise, rumble and clicks.
  analogside::Recipe recipe;
  recipe.noise = analogside::Noise::Vinyl;
  recipe.rate = 48000;
  recipe.pieces = 3;
  recipe.pieceSeconds = 2.2;
  recipe.fadeSeconds = 0.6;
  recipe.quietSeconds = 0.3;
  recipe.gapSeconds = 1.8;
  recipe.leadInSeconds = 3;
  recipe.runOutSeconds = 1.8;
  testsupport::TempDir dir;
  const std::string side = dir.file("side.wav"), window = dir.path() + "/window", offline = dir.path() + "/offline";
  std::filesystem::create_directory(window);
  std::filesystem::create_directory(offline);
  recsupport::WriteWav(side, recipe.rate, analogside::MakeSide(recipe).frames);
  const std::string split = "--auto-track --length 15 --silence-below auto --lead-in 1 --trim";

  // The window, started with the split options, records the side as it plays.
  std::vector<std::string> args = {"tapewell", "--auto-track", "--length", "15", "--silence-below", "auto",
                                   "--lead-in", "1", "--trim", "-w" + window, "--labels", dir.file("side.txt")};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  CRecorderApp app(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(app.CommandLine(), "-w" + window);
  harness::FixedDateNaming naming;
  FakePort ports;
  LiveInput audio = ChooseLiveInput("");
  SetWaveInService(audio.service.get());
  {
    CRecorderDlg dialog(naming, ports, app.CommandLine());
    dialog.SetStartOptions(app.Options());
    dialog.OnInitDialog();
    EXPECT_TRUE(static_cast<QCheckBox*>(dialog.Control(IDC_AUTO_TRACK))->isChecked());
    EXPECT_EQ(static_cast<QSlider*>(dialog.Control(IDC_SILENCE_LENGTH))->value(), 15);
    static_cast<QAbstractButton*>(dialog.Control(IDC_RATE_48K))->click();
    std::fflush(nullptr);
    recsupport::ChildGuard player(fork());
    if (player.pid() == 0) {
      execlp("paplay", "paplay", side.c_str(), nullptr);
      _exit(127);
    }
    // Options listens to the input before the take (and lets it go when it
    // closes); the capture starts inside the side's lead-in, on its surface noise.
    {
      LevelMeter meter;
      COptionsDlg options({}, {}, meter, audio.service.get(), 48000);
      EXPECT_TRUE(QTest::qWaitFor([&] { return meter.HasFrames(); }, 5000));
      QTest::qWait(1000);
      EXPECT_GT(meter.Read(0).hold, 0) << "the surface noise";
    }
    static_cast<QAbstractButton*>(dialog.Control(IDC_RECORD))->click();
    ASSERT_TRUE(g_bRecording);
    int status = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return waitpid(player.pid(), &status, WNOHANG) == player.pid(); }, 60000));
    player.Forget();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QTest::qWait(500);
    // Stop ends the take once what was captured before it is written.
    static_cast<QAbstractButton*>(dialog.Control(IDC_STOP))->click();
    EXPECT_TRUE(QTest::qWaitFor([] { return !g_bRecording; }, 10000));
  }
  SetWaveInService(nullptr);

  // tapewell-rec with the same settings on the side's file.
  const recsupport::RecRun rec = recsupport::RunRec("-r 48000 -w " + offline + " --input " + side + " " +
                                                    "-a -l 15 --silence-below auto --lead-in 1 --trim");
  ASSERT_EQ(rec.status, 0) << rec.err;
  const auto windowTracks = recsupport::WavFiles(window), offlineTracks = recsupport::WavFiles(offline);
  ASSERT_EQ(offlineTracks.size(), 3u) << rec.err;
  ASSERT_EQ(windowTracks.size(), offlineTracks.size()) << split;
  // The trim makes each track's length independent of where the capture
  // began: the same to the 10 ms block in which a level is measured.
  for (size_t k = 0; k < windowTracks.size(); ++k) {
    SCOPED_TRACE(windowTracks[k]);
    const auto live = static_cast<int64_t>(recsupport::ReadFrames(window + "/" + windowTracks[k]).size());
    const auto file = static_cast<int64_t>(recsupport::ReadFrames(offline + "/" + offlineTracks[k]).size());
    EXPECT_LE(std::llabs(live - file), recipe.rate / 100) << live << " frames live, " << file << " offline";
  }
  // The label file lists the window's tracks, as tapewell-rec's --labels does.
  const std::string labels = recsupport::FileText(dir.file("side.txt"));
  EXPECT_EQ(std::count(labels.begin(), labels.end(), '\n'), 3) << labels;
  EXPECT_NE(labels.find(windowTracks.back()), std::string::npos) << labels;
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
