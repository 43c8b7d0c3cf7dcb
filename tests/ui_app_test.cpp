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

#include "app/recorder_app.h"
#include "capture/capture_ring.h"
#include "capture/fake_wave_in.h"
#include "tests/engine_harness.h"
#include "tests/test_support.h"
#include "templates/dialog_template.h"
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

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
