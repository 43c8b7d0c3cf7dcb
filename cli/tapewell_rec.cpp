// tapewell-rec: the recorder in a terminal. Records from the default audio
// input (or replays a WAV file through the capture ring) into DDMmmNNN.wav
// track files, splitting at long silences with --auto-track.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_ring.h"
#include "capture/file_replay_wave_in.h"
#ifdef _WIN32
#include "capture/winmm_wave_in.h"
#include "cli/win_console.h"
#else
#include "capture/live_input.h"
#endif
#include "cli/cli_text.h"
#include "cli/help_labels.h"
#include "cli/standard_fds.h"
#include "cli/terminal_recorder.h"
#include "recorder/recorder_state.h"
#include "wavefile/wavefile.h"

namespace {

using enum CliTextId;

// Every text below in the user's language (the locale, read at start).
const Language kLanguage = SystemLanguage();
std::string Text(CliTextId id, std::initializer_list<std::string> args = {}) { return CliText(id, kLanguage, args); }

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFramesLost = 3;  // the recording completed, but frames were dropped

// Option values as typed, checked by CheckOptions.
struct OptionTexts {
  std::string rate, length, level, duration;
};

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
#ifdef _WIN32
// Windows: the console's Ctrl-C, Ctrl-Break and close events stop cleanly;
// keys come from the console (cli/win_console.h).
bool StdoutIsTerminal() { return winconsole::StdoutIsConsole(); }
#else
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO); }
const WakeupQueue* g_signalQueue = nullptr;

void OnSignal(int signal) {
  if (signal == SIGUSR1) {
    g_markRequests.fetch_add(1);
  } else {
    g_stopRequests.fetch_add(1);
  }
  if (g_signalQueue) g_signalQueue->Poke();
}

// True for SIGHUP when the program was started to outlive its terminal
// (nohup ignores it): that signal is then left ignored.
bool KeptIgnored(int s) {
  struct sigaction inherited {};
  return s == SIGHUP && sigaction(s, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN;
}

// Until a recording runs there is nothing to complete: a stop signal ends
// the program at once, whatever it waits for (a stalled sound server, an
// audio library that hangs), by the signal's own default action.
void OnSignalDuringStartUp(int signal) {
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void InstallStartUpSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignalDuringStartUp;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    if (!KeptIgnored(s)) sigaction(s, &action, nullptr);
  }
}

void InstallSignalHandlers(const WakeupQueue& queue) {
  g_signalQueue = &queue;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // A closed terminal (SIGHUP) stops cleanly like SIGTERM, unless nohup
  // keeps it ignored.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
    if (!KeptIgnored(s)) sigaction(s, &action, nullptr);
  }
  // A reader of the event lines that goes away must not end the recording:
  // lines that cannot be written are dropped.
  signal(SIGPIPE, SIG_IGN);
  // A file size limit (ulimit -f) fails the write, which the recorder reports,
  // instead of killing the process with the file uncompleted.
  signal(SIGXFSZ, SIG_IGN);
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
#endif

std::string InputProblem(int result, const std::string& path) {
  switch (result) {
    case WAVE_ERR_NOFILE: return Text(kRecInputCannotOpen, {path, std::strerror(errno)});
    case WAVE_ERR_OPEN: return Text(kRecInputTooShort, {path});
    default: return Text(kRecInputNotWave, {path});
  }
}

// Rates an input file may have: a tenth of a second must be a whole number
// of frames, and a silence of ten seconds must still be countable.
constexpr int32_t kMinInputRate = 1000;
constexpr int32_t kMaxInputRate = 768000;

// Why the input file's encoding cannot be replayed, or "" when it can (or
// when its header is unreadable, which the reader's own check reports).
std::string InputEncodingProblem(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "";
  uint8_t head[1064];
  const size_t n = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  uint16_t tag = 0;
  if (WaveParseEncoding(head, static_cast<int32_t>(n), tag) != WAVE_OK || tag == kWaveFormatPcm) return "";
  const std::string convert = Text(kRecInputConvertHint);
  if (tag == kWaveFormatExtensible) return Text(kRecInputExtensible, {path}) + convert;
  return Text(kRecInputNotPcm, {path, std::to_string(tag)}) + convert;
}

// Why the input file's rate cannot be recorded, or "" when it can.
std::string InputRateProblem(const std::string& path, int32_t rate) {
  if (rate >= kMinInputRate && rate <= kMaxInputRate) return "";
  return Text(kRecInputBadRate, {path, std::to_string(rate)});
}

// Strict whole-number parsing: the entire text, nothing else.
std::optional<long long> ParseWhole(const std::string& text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || at != end || text.empty()) return std::nullopt;
  return value;
}

// The longest --duration taken: 100 days.
constexpr double kMaxDurationSeconds = 8640000;

// Checks the option texts and fills `options`; returns "" or the usage error.
std::string CheckOptions(const OptionTexts& texts, bool inputGiven, Options& options) {
  if (!texts.rate.empty()) {
    const auto rate = ParseWhole(texts.rate);
    if (!rate || (*rate != 32000 && *rate != 44100 && *rate != 48000)) {
      return Text(kRecBadRate, {texts.rate});
    }
    options.rate = static_cast<int>(*rate);
    options.rateGiven = true;
  }
  if (!texts.length.empty()) {
    const auto length = ParseWhole(texts.length);
    if (!length || *length < 1 || *length > 100) {
      return Text(kRecBadLength, {texts.length});
    }
    options.length = static_cast<int>(*length);
  }
  if (!texts.level.empty()) {
    const auto level = ParseWhole(texts.level);
    if (!level || *level < 0 || *level > 15) return Text(kRecBadLevel, {texts.level});
    options.level = static_cast<int>(*level);
  }
  if (!texts.duration.empty()) {
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(texts.duration.c_str(), &end);
    if (end == texts.duration.c_str() || *end != '\0' || errno != 0 || !std::isfinite(seconds) || seconds <= 0 ||
        seconds > kMaxDurationSeconds) {
      return Text(kRecBadDuration, {texts.duration});
    }
    options.duration = seconds;
  }
  if (inputGiven && options.input.empty()) return Text(kRecInputNeedsPath);
  return "";
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
  const int slot = (wParam == MM_WIM_DATA && g_bRecording) ? PeekCaptureNotice(&rec.queue, lParam) : -1;
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
  if (limitReached) rec.StopAtHandledFrames();
}

// A track file that could not be created or completed: one line on standard
// error with its path and the system's reason, beside the file line's message.
void ReportFileFailure(const TerminalRecorder& rec) {
  const RecordingEnd end = rec.LastEnd();
  if (end != RecordingEnd::CreateFailed && end != RecordingEnd::WriteFailed) return;
  if (rec.TrackFileLost()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecTrackFileLost, {rec.m_strPath}).c_str());
    return;
  }
  const int reason = WaveWriterErrno();
  std::fprintf(stderr, "tapewell-rec: %s\n",
               Text(end == RecordingEnd::CreateFailed ? kRecCannotCreate : kRecCannotWrite,
                    {rec.m_strPath, reason ? std::strerror(reason) : Text(kRecOutOfMemory)})
                   .c_str());
}

#ifndef _WIN32
// The live input for `options`: the sound server's when one answers, else
// PortAudio's. Lists the inputs for --list-devices and checks the name given
// to --device. Returns -1 when the recording can go on, else the exit status.
int PrepareLiveInput(const Options& options, std::unique_ptr<WaveInService>& service) {
  InstallStartUpSignalHandlers();
  // A server that is there but does not answer (stalled) is waited for: the
  // PortAudio way to it would hang as well. Until the recording starts,
  // SIGINT and SIGTERM end the program at once.
  bool told = false;
  LiveInput live = ChooseLiveInput(options.device, [&told] {
    if (!told) std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecServerSlow).c_str());
    told = true;
    return true;
  });
  if (options.listDevices || !options.device.empty()) {
    std::vector<InputDevice> inputs;
    std::string why;
    if (!live.List(inputs, why)) {
      std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecCannotListInputs, {live.BackendName(), why}).c_str());
      return kExitFailure;
    }
    if (options.listDevices) {
      for (const InputDevice& input : inputs) std::printf("%s\n", FormatInputLine(input).c_str());
      if (inputs.empty()) {
        std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecNoInputs, {live.BackendName()}).c_str());
      }
      return kExitOk;
    }
    if (!FindInput(inputs, options.device)) {
      std::fprintf(stderr, "tapewell-rec: %s\n",
                   Text(kRecUnknownDevice, {live.BackendName(), options.device}).c_str());
      return kExitUsage;
    }
  }
  service = std::move(live.service);
  return -1;
}
#endif

// Whether a stop asked for can be carried out now: not while frames
// captured before it still wait below the ring after a stall (they are let
// in first), unless that has taken kStopCatchUp already.
constexpr auto kStopCatchUp = std::chrono::seconds(5);
bool StopNow(const WaveInService& service, std::optional<std::chrono::steady_clock::time_point>& deadline) {
  const auto now = std::chrono::steady_clock::now();
  if (!deadline) deadline = now + kStopCatchUp;
  return !service.FramesWaiting() || now >= *deadline;
}

// `fastReplay`: the replay of --input --fast, which fills the handed-back
// buffers on this thread whenever the loop asks; null otherwise.
int Record(const Options& options, WaveInService& service, FileReplayWaveInService* fastReplay) {
  SystemNaming naming;
  const bool progress = StdoutIsTerminal();
  TerminalRecorder rec(naming, SystemLanguage(), stdout, progress);
  rec.m_strFolder = options.folder;
  rec.m_bAutoTrack = options.autoTrack ? 1 : 0;
  rec.lengthPos = options.length;
  rec.levelPos = options.level;
  g_nSampleRate = options.rate;
  g_bI2S = 1;
  SetWaveInService(&service);
#ifdef _WIN32
  winconsole::InstallStopHandler(&g_stopRequests, rec.queue.WaitEvent());
#else
  InstallSignalHandlers(rec.queue);
  // A stop asked for while the recording starts does not wait on a stalled server.
  SetLiveInputStopRequests(&g_stopRequests);
#endif
  const int64_t limitFrames =
      options.duration ? static_cast<int64_t>(std::llround(*options.duration * options.rate)) : -1;

  rec.meter.Reset(options.rate);
  rec.OnRecord();
  if (!g_bRecording) {
    std::printf("frames dropped: 0\n");
    std::fflush(stdout);
    ReportFileFailure(rec);
    SetWaveInService(nullptr);
    return kExitFailure;
  }

  // Keys are read only while recording from the audio input.
  const bool keys = options.input.empty();
  std::optional<std::chrono::steady_clock::time_point> stopDeadline;
  auto progressDue = std::chrono::steady_clock::now();
#ifdef _WIN32
  const winconsole::ConsoleSession console(keys);
  while (g_bRecording) {
    // A fast replay delivers its buffers here, without waiting.
    if (!fastReplay || fastReplay->DeliverQueued() == 0) {
      winconsole::Wait(rec.queue.WaitEvent(), console.ReadsKeys(), 250);
    }
    if (g_stopRequests.load() > 0 && StopNow(service, stopDeadline)) {
      rec.OnStop();
      break;
    }
    if (const char key = console.ReadsKeys() ? winconsole::TakeKey() : 0; key == '\n' || key == 'm' || key == 'M') {
      rec.OnTrackMark();
    } else if (key == 'q' || key == 'Q') {
      rec.OnStop();
      break;
    }
#else
  std::optional<RawKeys> rawKeys;
  if (keys) rawKeys.emplace();
  bool stdinOpen = keys;
  while (g_bRecording) {
    pollfd fds[2] = {{rec.queue.WaitFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    // A fast replay delivers its buffers here, without waiting; signals are
    // looked at between two rounds of buffers.
    if (!fastReplay || fastReplay->DeliverQueued() == 0) {
      poll(fds, stdinOpen ? 2 : 1, 250);
      rec.queue.Drain();
    }
    if (g_stopRequests.load() > 0 && StopNow(service, stopDeadline)) {
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
#endif
    WakeupQueue::Message m;
    while (g_bRecording && rec.queue.Take(m)) HandleMessage(rec, m, limitFrames);
    if (!fastReplay || std::chrono::steady_clock::now() >= progressDue) {
      rec.ShowProgress(CaptureDroppedFrames());
      progressDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    }
  }
  rec.EndProgress();
  const uint64_t dropped = CaptureDroppedFrames();
  const uint64_t overflows = service.Overflows();
  if (overflows > 0) {
    std::printf("frames dropped: %llu (%llu input overflows)\n", static_cast<unsigned long long>(dropped),
                static_cast<unsigned long long>(overflows));
  } else {
    std::printf("frames dropped: %llu\n", static_cast<unsigned long long>(dropped));
  }
  std::fflush(stdout);
  SetWaveInService(nullptr);
  ReportFileFailure(rec);
  const RecordingEnd end = rec.LastEnd();
  if (end != RecordingEnd::Stopped && end != RecordingEnd::InputEnded) return kExitFailure;
  return dropped > 0 ? kExitFramesLost : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  OpenClosedStandardFds();
  CLI::App app{Text(kRecDescription), "tapewell-rec"};
  Options options;
  OptionTexts texts;
  app.set_version_flag("--version", "tapewell-rec 1.0.4");
  app.add_option("-w,--folder", options.folder, Text(kRecOptFolder))
      ->type_name("DIR");
  app.add_option("-r,--rate", texts.rate, Text(kRecOptRate))
      ->type_name("HZ");
  app.add_flag("-a,--auto-track", options.autoTrack, Text(kRecOptAutoTrack));
  app.add_option("-l,--length", texts.length, Text(kRecOptLength))
      ->type_name("N");
  app.add_option("-p,--level", texts.level, Text(kRecOptLevel))
      ->type_name("P");
  auto* inputOption = app.add_option("--input", options.input, Text(kRecOptInput))
                         ->type_name("FILE");
  app.add_flag("--fast", options.fast, Text(kRecOptFast))
      ->needs(inputOption);
  app.add_option("--duration", texts.duration, Text(kRecOptDuration))->type_name("SEC");
  auto* deviceOption =
      app.add_option("-d,--device", options.device, Text(kRecOptDevice))->type_name("NAME")->excludes(inputOption);
  app.add_flag("--list-devices", options.listDevices, Text(kRecOptListDevices))
      ->excludes(inputOption)
      ->excludes(deviceOption);
  LocalizeHelp(app, kLanguage);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecParseError, {e.what()}).c_str());
    return kExitUsage;
  }
  if (const std::string problem = CheckOptions(texts, inputOption->count() > 0, options); !problem.empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", problem.c_str());
    return kExitUsage;
  }

  if (!options.folder.empty() && options.folder.back() != kFolderSeparator) options.folder += kFolderSeparator;

  std::unique_ptr<WaveInService> service;
  int64_t inputFrames = 0;
  FileReplayWaveInService* fastReplay = nullptr;
  if (!options.input.empty()) {
    int32_t rate = 0;
    std::string problem = InputEncodingProblem(options.input);
    if (problem.empty()) {
      const int result = FileReplayWaveInService::Inspect(options.input, rate, inputFrames);
      problem = result == WAVE_OK ? InputRateProblem(options.input, rate) : InputProblem(result, options.input);
    }
    if (!problem.empty()) {
      std::fprintf(stderr, "tapewell-rec: %s\n", problem.c_str());
      return kExitUsage;
    }
    if (options.rateGiven && rate != options.rate) {
      std::fprintf(stderr, "tapewell-rec: %s\n",
                   Text(kRecRateDiffers, {std::to_string(options.rate), std::to_string(rate)}).c_str());
      return kExitUsage;
    }
    options.rate = rate;
    auto replay = std::make_unique<FileReplayWaveInService>(options.input, !options.fast);
    if (options.fast) fastReplay = replay.get();
    service = std::move(replay);
  } else {
#ifdef _WIN32
    // Windows' wave mapper records from the input chosen in Windows' own settings.
    if (options.listDevices || !options.device.empty()) {
      std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecNoDeviceChoice).c_str());
      return kExitUsage;
    }
    service = std::make_unique<WinmmWaveInService>();
#else
    if (const int status = PrepareLiveInput(options, service); status >= 0) return status;
#endif
  }
  int status = Record(options, *service, fastReplay);
  if (status == kExitFailure && !service->LastError().empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", service->LastError().c_str());
  }
  if (!options.input.empty()) {
    // The reader pads what a file no longer holds with silence: say so.
    int32_t rate = 0;
    int64_t framesNow = 0;
    if (FileReplayWaveInService::Inspect(options.input, rate, framesNow) != WAVE_OK || framesNow < inputFrames) {
      std::fprintf(stderr, "tapewell-rec: %s\n",
                   Text(kRecInputCutShort, {options.input, std::to_string(std::max<int64_t>(0, framesNow)),
                                            std::to_string(inputFrames)})
                       .c_str());
      status = kExitFailure;
    }
  }
  return status;
}
