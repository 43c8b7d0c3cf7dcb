#include "app/recorder_app.h"

#include "app/option_scan.h"
#include "capture/portaudio_wave_in.h"
#include "card/port_access.h"
#include "recorder/track_naming.h"
#include "ui/recorder_dialog.h"
#include "ui/translations.h"

CRecorderApp::CRecorderApp(int argc, char** argv)
    : qtArgv_{argc > 0 ? argv[0] : const_cast<char*>("tapewell"), nullptr},
      app_(qtArgc_, qtArgv_),
      commandLine_(JoinArguments(argc, argv)) {
  QApplication::setApplicationName(QStringLiteral("Tapewell"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.4"));
  QApplication::setDesktopFileName(QStringLiteral("tapewell"));
}

bool CRecorderApp::InitInstance() {
  InstallLanguage(QtSystemLanguage());
  SystemNaming naming;
  LinuxPortAccess ports;
  PortAudioWaveInService audio;
  SetWaveInService(&audio);
  {
    CRecorderDlg dialog(naming, ports, commandLine_);
    dialog.DoModal();
  }
  SetWaveInService(nullptr);
  return false;
}
