// tapewell-rec: the recorder in a terminal. Records from the default audio
// input (or replays a WAV file through the capture ring) into DDMmmNNN.wav
// track files, splitting at long silences with --auto-track.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_ring.h"
#include "capture/file_replay_wave_in.h"
#include "capture/live_input.h"
#include "cli/terminal_recorder.h"
#include "recorder/recorder_state.h"
#include "wavefile/wavefile.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Options {
  std::string folder;
  int rate = 44100;
  bool rateGiven = false;
  bool autoTrack = false;
  int length = 1;
  int level = 7;
  std::string input;
  bool fast = false;
  std::optional<double> duration;
  std::string device;
  bool listDevices = false;
};

// Signal handlers only set these and poke the main loop.
std::atomic<int> g_stopRequests{0};
std::atomic<int> g_markRequests{0};
const WakeupQueue* g_signalQueue = nullptr;

void OnSignal(int signal) {
  if (signal == SIGUSR1) {
    g_markRequests.fetch_add(1);
  } else {
    g_stopRequests.fetch_add(1);
  }
  if (g_signalQueue) g_signalQueue->Poke();
}

void InstallSignalHandlers(const WakeupQueue& queue) {
  g_signalQueue = &queue;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGINT, SIGTERM, SIGUSR1}) sigaction(s, &action, nullptr);
}

// Single key presses from a terminal, without waiting for Enter; restored on exit.
class RawKeys {
 public:
  RawKeys() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~RawKeys() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  RawKeys(const RawKeys&) = delete;
  RawKeys& operator=(const RawKeys&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

std::string InputProblem(int result, const std::string& path) {
  switch (result) {
    case WAVE_ERR_NOFILE: return "cannot open input file '" + path + "'";
    case WAVE_ERR_OPEN: return "input file '" + path + "' is too short to hold a WAV header and audio";
    default: return "input file '" + path + "' is not a WAV file with 8 or 16 bits, mono or stereo";
  }
}

// Handles one posted message; stops the recording once `limitFrames` frames
// (when not negative) have been handed to the engine.
void HandleMessage(TerminalRecorder& rec, const WakeupQueue::Message& m, int64_t limitFrames) {
  const auto [message, wParam, lParam] = m;
  if (message == WM_CAPTURE_ENDED) {
    rec.OnCaptureEnded(wParam);
    return;
  }
  if (message != WM_USER) return;
  bool limitReached = false;
  const int slot = (wParam == MM_WIM_DATA && g_bRecording) ? FindCaptureSlot(lParam) : -1;
  if (slot >= 0) {
    WAVEHDR* header = g_pWaveHdr[slot];
    int64_t frames = header->dwBytesRecorded / 4;
    if (limitFrames >= 0 && rec.framesHandled + frames >= limitFrames) {
      frames = limitFrames - rec.framesHandled;  // the rest of this buffer lies past the duration
      header->dwBytesRecorded = static_cast<uint32_t>(frames * 4);
      limitReached = true;
    }
    rec.framesHandled += frames;
  }
  rec.OnBufferDone(wParam, lParam);
  if (limitReached) rec.OnStop();
}

// The live input for `options`: the sound server's when one answers, else
// PortAudio's. Lists the inputs for --list-devices and checks the name given
// to --device. Returns -1 when the recording can go on, else the exit status.
int PrepareLiveInput(const Options& options, std::unique_ptr<WaveInService>& service) {
  LiveInput live = ChooseLiveInput(options.device);
  if (options.listDevices || !options.device.empty()) {
    std::vector<InputDevice> inputs;
    std::string why;
    if (!live.List(inputs, why)) {
      std::fprintf(stderr, "tapewell-rec: cannot list the inputs of the %s: %s\n", live.BackendName(), why.c_str());
      return kExitFailure;
    }
    if (options.listDevices) {
      for (const InputDevice& input : inputs) std::printf("%s\n", FormatInputLine(input).c_str());
      if (inputs.empty()) {
        std::fprintf(stderr, "tapewell-rec: the %s has no input (is a sound server running?)\n", live.BackendName());
      }
      return kExitOk;
    }
    if (!FindInput(inputs, options.device)) {
      std::fprintf(stderr,
                   "tapewell-rec: --device: the %s has no input named '%s' (tapewell-rec --list-devices lists them)\n",
                   live.BackendName(), options.device.c_str());
      return kExitUsage;
    }
  }
  service = std::move(live.service);
  return -1;
}

int Record(const Options& options, WaveInService& service) {
  SystemNaming naming;
  const bool progress = isatty(STDOUT_FILENO);
  TerminalRecorder rec(naming, SystemLanguage(), stdout, progress);
  rec.m_strFolder = options.folder;
  rec.m_bAutoTrack = options.autoTrack ? 1 : 0;
  rec.lengthPos = options.length;
  rec.levelPos = options.level;
  g_nSampleRate = options.rate;
  g_bI2S = 1;
  SetWaveInService(&service);
  InstallSignalHandlers(rec.queue);
  const int64_t limitFrames =
      options.duration ? static_cast<int64_t>(std::llround(*options.duration * options.rate)) : -1;

  rec.meter.Reset(options.rate);
  rec.OnRecord();
  if (!g_bRecording) {
    std::printf("frames dropped: 0\n");
    SetWaveInService(nullptr);
    return kExitFailure;
  }

  // Keys are read only while recording from the audio input.
  const bool keys = options.input.empty();
  std::optional<RawKeys> rawKeys;
  if (keys) rawKeys.emplace();
  bool stdinOpen = keys;
  while (g_bRecording) {
    pollfd fds[2] = {{rec.queue.WaitFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    poll(fds, stdinOpen ? 2 : 1, 250);
    rec.queue.Drain();
    if (g_stopRequests.load() > 0) {
      rec.OnStop();
      break;
    }
    for (int marks = g_markRequests.exchange(0); marks > 0; --marks) rec.OnTrackMark();
    if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
      char key = 0;
      const ssize_t n = read(STDIN_FILENO, &key, 1);
      if (n <= 0) {
        stdinOpen = false;
      } else if (key == '\n' || key == 'm' || key == 'M') {
        rec.OnTrackMark();
      } else if (key == 'q' || key == 'Q') {
        rec.OnStop();
        break;
      }
    }
    WakeupQueue::Message m;
    while (g_bRecording && rec.queue.Take(m)) HandleMessage(rec, m, limitFrames);
    rec.ShowProgress(CaptureDroppedFrames());
  }
  rec.EndProgress();
  const uint64_t dropped = CaptureDroppedFrames();
  std::printf("frames dropped: %llu\n", static_cast<unsigned long long>(dropped));
  std::fflush(stdout);
  SetWaveInService(nullptr);
  const RecordingEnd end = rec.LastEnd();
  return (end == RecordingEnd::Stopped || end == RecordingEnd::InputEnded) ? kExitOk : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Records the audio input (or a WAV file) into DDMmmNNN.wav track files.", "tapewell-rec"};
  Options options;
  app.set_version_flag("--version", "tapewell-rec 1.0.4");
  app.add_option("-w,--folder", options.folder, "destination folder (default: the current directory)");
  auto* rateOption = app.add_option("-r,--rate", options.rate, "sample rate in Hz: 32000, 44100 or 48000")
                         ->check(CLI::IsMember({32000, 44100, 48000}));
  app.add_flag("-a,--auto-track", options.autoTrack, "automatic track numbering: split where a long silence ends");
  app.add_option("-l,--length", options.length, "silence length in tenths of a second, 1..100")
      ->check(CLI::Range(1, 100));
  app.add_option("-p,--level", options.level, "silence level: threshold 2^P, 0..15")->check(CLI::Range(0, 15));
  auto* inputOption = app.add_option("--input", options.input, "record from a WAV file instead of the audio input");
  app.add_flag("--fast", options.fast, "with --input: as fast as the engine goes instead of in real time")
      ->needs(inputOption);
  app.add_option("--duration", options.duration, "stop after SEC seconds of audio")
      ->check(CLI::PositiveNumber);
  auto* deviceOption = app.add_option("-d,--device", options.device,
                                      "record from this input (a name --list-devices prints)")
                           ->excludes(inputOption);
  app.add_flag("--list-devices", options.listDevices, "list the inputs, one a line, and exit")
      ->excludes(inputOption)
      ->excludes(deviceOption);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "tapewell-rec: %s\n", e.what());
    return kExitUsage;
  }
  options.rateGiven = rateOption->count() > 0;

  if (!options.folder.empty() && options.folder.back() != kFolderSeparator) options.folder += kFolderSeparator;

  std::unique_ptr<WaveInService> service;
  if (!options.input.empty()) {
    int32_t rate = 0;
    int64_t frames = 0;
    const int result = FileReplayWaveInService::Inspect(options.input, rate, frames);
    if (result != WAVE_OK) {
      std::fprintf(stderr, "tapewell-rec: %s\n", InputProblem(result, options.input).c_str());
      return kExitUsage;
    }
    if (options.rateGiven && rate != options.rate) {
      std::fprintf(stderr, "tapewell-rec: --rate %d differs from the input file's rate %d\n", options.rate, rate);
      return kExitUsage;
    }
    options.rate = rate;
    service = std::make_unique<FileReplayWaveInService>(options.input, !options.fast);
  } else {
    if (const int status = PrepareLiveInput(options, service); status >= 0) return status;
  }
  const int status = Record(options, *service);
  if (status == kExitFailure && !service->LastError().empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", service->LastError().c_str());
  }
  return status;
}
