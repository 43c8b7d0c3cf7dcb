#include "app/recorder_app.h"

#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "app/music_folder.h"
#include "app/option_scan.h"
#include "app/signal_close.h"
#include "capture/live_input.h"
#include "cli/cli_text.h"
#include "card/port_access.h"
#include "recorder/track_naming.h"
#include "templates/dialog_template.h"
#include "ui/recorder_dialog.h"
#include "ui/translations.h"

CRecorderApp::CRecorderApp(int argc, char** argv)
    : qtArgv_{argc > 0 ? argv[0] : const_cast<char*>("tapewell"), nullptr},
      app_(qtArgc_, qtArgv_) {
  std::vector<std::string> args(argv + std::min(argc, 1), argv + std::max(argc, 1));
  problem_ = TakeWindowOptions(args, options_);
  commandLine_ = JoinArguments(args);
  QApplication::setApplicationName(QStringLiteral("Tapewell"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.4"));
  QApplication::setDesktopFileName(QStringLiteral("tapewell"));
}

bool CRecorderApp::InitInstance() {
  const Language language = QtSystemLanguage();
  InstallLanguage(language);
  // A long option that cannot be taken is said on standard error; the window
  // opens all the same, without it.
  if (!problem_.missingValue.empty()) {
    std::fprintf(stderr, "tapewell: %s needs a value\n", problem_.missingValue.c_str());
  }
  if (problem_.error != SplitOptionError::None) {
    std::fprintf(stderr, "tapewell: %s\n", SplitOptionErrorText(problem_.error, problem_.typed, language).c_str());
  }
  // -m (the desktop entry): start in the music folder, or say why not.
  std::string notInMusic;
  if (ScanMusicOption(commandLine_) && !EnterMusicFolder(notInMusic)) {
    std::fprintf(stderr, "tapewell: not starting in the music folder: %s\n", notInMusic.c_str());
  }
  SystemNaming naming;
  LinuxPortAccess ports;
  // -d<input> records from that input; the sound server when one answers.
  const std::string device = ScanDeviceOption(commandLine_);
  LiveInput audio = ChooseLiveInput(device);
  if (!device.empty()) {
    std::vector<InputDevice> inputs;
    std::string why;
    if (audio.List(inputs, why) && !FindInput(inputs, device)) {
      std::fprintf(stderr, "tapewell: the %s has no input named '%s' (tapewell-rec --list-devices lists them)\n",
                   audio.BackendName(), device.c_str());
    }
  }
  SetWaveInService(audio.service.get());
  {
    CRecorderDlg dialog(naming, ports, commandLine_);
    WindowOptions options = Options();
    options.device = device;
    dialog.SetStartOptions(options);
    if (!notInMusic.empty()) {
      dialog.Control(IDC_FOLDER)->setToolTip(QString::fromStdString("not the music folder: " + notInMusic));
    }
    // Ctrl-C, SIGTERM and SIGHUP close the window as Exit does: a recording
    // is completed first. A box open over the window (About, the folder
    // chooser) is closed too.
    std::string why;
    SignalClose onSignal(
        [&dialog] {
          dialog.reject();
          if (QWidget* box = QApplication::activeModalWidget(); box && box != &dialog) box->close();
        },
        why);
    if (!onSignal.Active()) std::fprintf(stderr, "tapewell: %s\n", why.c_str());
    dialog.DoModal();
  }
  SetWaveInService(nullptr);
  return false;
}
