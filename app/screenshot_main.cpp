// tapewell-screenshot: renders the main window (and the About box) to PNG
// files without a display, for the README and for looking at the layout.
// Usage: tapewell-screenshot WINDOW.png [ABOUT.png]
#include <QApplication>
#include <cstdio>

#include "capture/fake_wave_in.h"
#include "card/port_access.h"
#include "recorder/track_naming.h"
#include "ui/about_dialog.h"
#include "ui/recorder_dialog.h"
#include "ui/translations.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tapewell-screenshot WINDOW.png [ABOUT.png]\n");
    return 2;
  }
  QApplication app(argc, argv);
  InstallLanguage(QtSystemLanguage());
  SystemNaming naming;
  FakePort ports;
  ports.value = 0x00000200;
  FakeWaveInService audio;
  SetWaveInService(&audio);
  CRecorderDlg dialog(naming, ports, "");
  dialog.OnInitDialog();
  dialog.show();
  app.processEvents();
  bool ok = dialog.grab().save(QString::fromLocal8Bit(argv[1]));
  if (argc > 2) {
    CAboutDlg about;
    about.show();
    app.processEvents();
    ok = about.grab().save(QString::fromLocal8Bit(argv[2])) && ok;
  }
  SetWaveInService(nullptr);
  return ok ? 0 : 1;
}
