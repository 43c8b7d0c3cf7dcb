// tapewell-screenshot: renders the main window and the About box to PNG
// files without a display, each under a drawn title bar that shows its
// caption, for the README and for looking at the layout. The language is
// the system's, as in the program (LANG=ja_JP.UTF-8 gives Japanese).
// With a third file, the window once more during a recording of a few
// seconds of generated sound (into a scratch folder given as the fourth).
// With a fifth file, the Options dialog set up for a record side, listening
// to a tone that clipped a moment ago.
// Usage: tapewell-screenshot WINDOW.png [ABOUT.png [RECORDING.png FOLDER [OPTIONS.png]]]
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "capture/fake/fake_wave_in.h"
#include "card/port_access.h"
#include "recorder/track_naming.h"
#include "ui/about_dialog.h"
#include "ui/options_dialog.h"
#include "ui/app_icon.h"
#include "ui/recorder_dialog.h"
#include "ui/translations.h"

namespace {

// The window's picture under a plain title bar with its icon and caption.
QImage WithTitleBar(QWidget& window) {
  const QPixmap body = window.grab();
  const QFontMetrics fm(window.font());
  const int bar = fm.height() + 10, icon = 16;
  QImage image(body.width() + 2, body.height() + bar + 1, QImage::Format_RGB32);
  image.fill(QColor(0x3c, 0x5a, 0x82));
  QPainter painter(&image);
  painter.drawPixmap(1, bar, body);
  painter.drawPixmap(6, (bar - icon) / 2, DrawAppIcon(icon));
  painter.setFont(window.font());
  painter.setPen(Qt::white);
  painter.drawText(QRect(6 + icon + 6, 0, body.width() - icon - 12, bar), Qt::AlignVCenter | Qt::AlignLeft,
                   window.windowTitle());
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tapewell-screenshot WINDOW.png [ABOUT.png]\n");
    return 2;
  }
  int qtArgc = 1;  // the file names are not Qt's
  QApplication app(qtArgc, argv);
  if (!InstallLanguage(QtSystemLanguage())) {
    std::fprintf(stderr, "tapewell-screenshot: the translation could not be loaded\n");
    return 1;
  }
  SystemNaming naming;
  FakePort ports;
  ports.value = 0x00000200;
  FakeWaveInService audio;
  SetWaveInService(&audio);
  CRecorderDlg dialog(naming, ports, "");
  dialog.OnInitDialog();
  dialog.show();
  app.processEvents();
  bool ok = WithTitleBar(dialog).save(QString::fromLocal8Bit(argv[1]));
  if (argc > 2) {
    CAboutDlg about;
    about.show();
    app.processEvents();
    ok = WithTitleBar(about).save(QString::fromLocal8Bit(argv[2])) && ok;
  }
  if (argc > 4) {
    // 2.5 s of a tone through the fake input, then a second of waiting, as
    // a user watching a take would see it.
    CRecorderDlg recording(naming, ports, std::string("-w") + argv[4]);
    recording.OnInitDialog();
    recording.show();
    recording.OnRecord();
    std::vector<uint8_t> block(4 * 8192);
    for (int b = 0; b < 14; ++b) {
      for (size_t i = 0; i < 8192; ++i) {
        const auto v = static_cast<int16_t>(8000 * std::sin(0.06 * static_cast<double>(b * 8192 + i)));
        std::memcpy(&block[4 * i], &v, 2);
        std::memcpy(&block[4 * i + 2], &v, 2);
      }
      audio.Deliver(block.data(), static_cast<uint32_t>(block.size()));
      app.processEvents();
    }
    recording.OnTrackMark();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1100) app.processEvents(QEventLoop::AllEvents, 20);
    ok = WithTitleBar(recording).save(QString::fromLocal8Bit(argv[3])) && ok;
    recording.OnStop();
  }
  if (argc > 5) {
    LevelMeter meter;
    // A second of hiss at about -55 dBFS between two songs, then a tenth of a second of a tone.
    std::vector<int16_t> tone(2 * 44100 + 2 * 4410);
    uint32_t seed = 1;
    for (size_t i = 0; i < 2 * 44100; ++i) {
      seed = seed * 1664525u + 1013904223u;
      tone[i] = static_cast<int16_t>(static_cast<int>(seed >> 24) - 128) / 2;
    }
    for (size_t i = 2 * 44100; i < tone.size(); i += 2) {
      tone[i] = static_cast<int16_t>(12000 * std::sin(0.05 * static_cast<double>(i)));
      tone[i + 1] = static_cast<int16_t>(9000 * std::sin(0.05 * static_cast<double>(i)));
    }
    RecordingChoices choices;
    choices.split.levelRule = true;
    choices.split.automaticThreshold = true;
    choices.split.leadInSeconds = 1;
    choices.split.trim = true;
    choices.split.stopAfterSilenceSeconds = 10;
    choices.keepTrackList = true;
    const std::vector<InputDevice> inputs = {
        {"alsa_input.pci-0000_00_1b.0.analog-stereo", "Built-in Audio Analog Stereo", "", true, false},
        {"alsa_output.pci-0000_00_1b.0.analog-stereo.monitor", "Monitor of Built-in Audio Analog Stereo", "", false,
         true}};
    COptionsDlg options(choices, inputs, meter, &audio, 44100);
    tone[2 * 44100 + 100] = 32767;  // the clip light stays lit after the peak has gone
    options.show();
    for (size_t at = 0; at < tone.size(); at += 2 * 2048) {  // through the input the dialog listens to
      audio.Deliver(&tone[at], static_cast<uint32_t>(2 * std::min<size_t>(2 * 2048, tone.size() - at)));
      app.processEvents();
    }
    options.ShowLevel();
    ok = WithTitleBar(options).save(QString::fromLocal8Bit(argv[5])) && ok;
  }
  SetWaveInService(nullptr);
  if (!ok) std::fprintf(stderr, "tapewell-screenshot: a picture could not be written\n");
  return ok ? 0 : 1;
}
