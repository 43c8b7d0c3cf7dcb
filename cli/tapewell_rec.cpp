// tapewell-rec: the recorder in a terminal. Records from the default audio
// input (or replays a WAV file through the capture ring) into DDMmmNNN.wav
// track files, splitting at long silences with --auto-track.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#else
#include <io.h>
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
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "capture/capture_feed.h"
#include "capture/capture_ring.h"
#include "capture/replay/file_replay_wave_in.h"
#include "capture/live_input.h"
#include "capture/raw_frame_queue.h"
#include "capture/stop_catch_up.h"
#ifdef _WIN32
#include "cli/win_arguments.h"
#include "cli/win_console.h"
#include "cli/win_console_text.h"
#endif
#include "cli/cli_text.h"
#include "cli/dry_run_report.h"
#include "cli/help_labels.h"
#include "cli/help_layout.h"
#include "cli/input_check.h"
#include "cli/output_folder.h"
#include "cli/output_writer.h"
#include "cli/standard_fds.h"
#include "cli/terminal_recorder.h"
#include "recorder/track_list.h"
#include "recorder/recorder_state.h"
#include "recorder/split_options.h"
#include "recorder/wide_track_writer.h"
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
  std::string silenceBelow, leadIn, minTrack, stopAfterSilence;
};

struct Options {
  std::string folder;
  int rate = 44100;
  bool rateGiven = false;
  bool autoTrack = false;
  int length = 1;
  int level = 7;
  std::string input;
  bool realtime = false;  // --realtime: a replay paced like the input; otherwise as fast as it goes
  std::optional<double> duration;
  std::string device;
  bool listDevices = false;
  int trackBits = 16, trackChannels = 2;  // a replay's tracks keep its input's layout
  bool trackFloat = false;
  std::shared_ptr<RawFrameQueue> rawFrames;  // a wide replay's own frames, for its tracks
  bool progress = false;  // --progress: a plain status line when standard error is no terminal
  bool quiet = false;     // -q: no progress at all
  std::string cue, labels;
  bool dryRun = false;
  SplitSettings split;  // the rule, lead-in, minimum length, trim and end of side
};

// Signal handlers only set these and poke the main loop.
std::atomic<int> g_stopRequests{0};
std::atomic<int> g_markRequests{0};
// When each stop request came (steady_clock's count, CLOCK_MONOTONIC on
// Linux, in nanoseconds; 0 before), the n-th in slot n % 8: the main loop may be busy
// writing then, and take two stops seconds apart together.
constexpr int kStopSlots = 8;
std::atomic<int64_t> g_stopNs[kStopSlots]{};
std::atomic<int> g_stopsTimed{0};

// Counts a stop request and notes its moment; safe in a signal handler.
void NoteStopRequest() {
  const int slot = g_stopsTimed.fetch_add(1) % kStopSlots;
#ifdef _WIN32
  g_stopNs[slot].store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch()).count());
#else
  timespec now{};
  g_stopNs[slot].store(clock_gettime(CLOCK_MONOTONIC, &now) == 0 ? int64_t{now.tv_sec} * 1000000000 + now.tv_nsec
                                                                   : 0);
#endif
  g_stopRequests.fetch_add(1);
}

#ifdef _WIN32
// Windows: the console's Ctrl-C, Ctrl-Break and close events stop cleanly;
// keys come from the console (cli/win_console.h).
bool StderrIsTerminal() { return _isatty(2) != 0; }
// The console's width is not looked up: the line is fitted to 80 columns.
int StderrColumns() { return 80; }
#else
bool StderrIsTerminal() { return isatty(STDERR_FILENO); }
// The terminal's width, or 80 when it does not say.
int StderrColumns() {
  winsize size{};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}
std::atomic<bool> g_resized{false};
// The queue a signal pokes while a recording's loop runs; null before and
// after, when the queue does not exist (a stop signal can still arrive while
// the program ends).
std::atomic<const WakeupQueue*> g_signalQueue{nullptr};
void OnSignal(int signal) {
  if (signal == SIGUSR1) {
    g_markRequests.fetch_add(1);
  } else if (signal == SIGWINCH) {
    g_resized.store(true);
  } else {
    NoteStopRequest();
  }
  if (const WakeupQueue* queue = g_signalQueue.load()) queue->Poke();
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
  g_signalQueue.store(&queue);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // A closed terminal (SIGHUP) stops cleanly like SIGTERM, unless nohup
  // keeps it ignored.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
    if (!KeptIgnored(s)) sigaction(s, &action, nullptr);
  }
  // A resized terminal: the progress line is fitted to the new width.
  sigaction(SIGWINCH, &action, nullptr);
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

// Keys from standard input, read on a thread of their own so that each is
// stamped with the moment it came, however long the main loop was busy
// writing (a `q` means "stop here", not "stop when you get to it").
class KeyReader {
 public:
  struct Key {
    char key;
    std::chrono::steady_clock::time_point when;
  };
  /// Starts reading; every key pokes `queue`.
  explicit KeyReader(const WakeupQueue& queue) : queue_(queue), thread_([this] { Run(); }) {}
  ~KeyReader() {
    quit_ = true;
    thread_.join();
  }
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;
  /// The oldest key not taken yet; false when none waits.
  bool Take(Key& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (keys_.empty()) return false;
    key = keys_.front();
    keys_.pop_front();
    return true;
  }

 private:
  // Until standard input ends or fails, or the reader goes.
  void Run() {
    while (!quit_) {
      pollfd fd{STDIN_FILENO, POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char key = 0;
      if (read(STDIN_FILENO, &key, 1) <= 0) return;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        keys_.push_back({key, std::chrono::steady_clock::now()});
      }
      queue_.Poke();
    }
  }

  const WakeupQueue& queue_;
  std::mutex mutex_;
  std::deque<Key> keys_;
  std::atomic<bool> quit_{false};
  std::thread thread_;  // last: starts once the rest is there
};
#endif

// Rates an input file may have: a tenth of a second must be a whole number
// of frames, and a silence of ten seconds must still be countable.
constexpr int32_t kMinInputRate = 1000;
constexpr int32_t kMaxInputRate = 768000;

// Why the input file's rate cannot be recorded, or "" when it can.
std::string InputRateProblem(const std::string& path, int32_t rate) {
  if (rate >= kMinInputRate && rate <= kMaxInputRate) return "";
  return Text(kRecInputBadRate, {path, std::to_string(rate)});
}

// The split options in tapewell-rec's words: "" or the usage error.
std::string CheckSplitOptions(const OptionTexts& texts, Options& options) {
  const SplitOptionTexts split{texts.length, texts.level, texts.silenceBelow, texts.leadIn, texts.minTrack,
                               texts.stopAfterSilence};
  std::string typed;
  const SplitOptionError error = CheckSplitOptions(split, {options.length, options.level, options.split}, typed);
  return SplitOptionErrorText(error, typed, kLanguage);
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
  return CheckSplitOptions(texts, options);
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
void ReportFileFailure(const TerminalRecorder& rec, const TrackWriter& writer) {
  const RecordingEnd end = rec.LastEnd();
  if (end != RecordingEnd::CreateFailed && end != RecordingEnd::WriteFailed) return;
  if (rec.TrackFileLost()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecTrackFileLost, {rec.m_strPath}).c_str());
    return;
  }
  const int reason = writer.Errno();
  std::fprintf(stderr, "tapewell-rec: %s\n",
               Text(end == RecordingEnd::CreateFailed ? kRecCannotCreate : kRecCannotWrite,
                    {rec.m_strPath, reason ? std::strerror(reason) : Text(kRecOutOfMemory)})
                   .c_str());
}

// The live input for `options`: the sound server's when one answers, else
// PortAudio's; on Windows the wave-input service's. Lists the inputs for
// --list-devices and checks the name given to --device. Returns -1 when the
// recording can go on, else the exit status.
int PrepareLiveInput(const Options& options, std::unique_ptr<WaveInService>& service) {
#ifndef _WIN32
  InstallStartUpSignalHandlers();
#endif
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
        return kExitFailure;
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

// The replay of --input: opens the input (a file, or "-" for standard input)
// and checks what it holds; the rate and the tracks' layout become the
// input's. Returns -1 when the recording can go on, else the exit status.
int PrepareReplay(Options& options, std::unique_ptr<WaveInService>& service, FileReplayWaveInService*& replay) {
  auto input = std::make_unique<ReplayInput>();
  std::string why, problem;
  if (!input->Open(options.input, why)) {
    problem = Text(kRecInputCannotOpen, {options.input, why});
  } else {
    problem = InputLayoutProblem(options.input, input->Layout(), kLanguage);
    if (problem.empty()) problem = InputRateProblem(options.input, input->Layout().rate);
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", problem.c_str());
    return kExitUsage;
  }
  const ReplayLayout& layout = input->Layout();
  if (options.rateGiven && layout.rate != options.rate) {
    std::fprintf(stderr, "tapewell-rec: %s\n",
                 Text(kRecRateDiffers, {std::to_string(options.rate), std::to_string(layout.rate)}).c_str());
    return kExitUsage;
  }
  options.rate = layout.rate;
  options.trackBits = layout.keptBits;
  options.trackChannels = layout.channels;
  options.trackFloat = layout.floating;
  if (input->Wide() && (!options.dryRun || options.split.levelRule)) {
    // The tracks take the input's own frames; the stillness rule walks their
    // top 16 bits, the level rule measures them whole (a dry run too).
    options.rawFrames = std::make_shared<RawFrameQueue>(layout.keptBits / 8 * layout.channels);
    input->KeepRawFrames(options.rawFrames.get());
  }
  if (const std::string note = InputShortNote(options.input, layout, kLanguage); !note.empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", note.c_str());
  }
  // A dry run is never paced: nothing waits for real time.
  auto fileReplay = std::make_unique<FileReplayWaveInService>(std::move(input), options.realtime && !options.dryRun);
  replay = fileReplay.get();
  service = std::move(fileReplay);
  return -1;
}

// What the replay's input did while it was read: a read that failed, or a
// file cut short under the replay. Returns the exit status, `status` unless
// the input lost frames.
int ReportInputEnd(const Options& options, const ReplayInput& input, int status) {
  if (!input.ReadError().empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecInputReadFailed, {options.input, input.ReadError()}).c_str());
    return kExitFailure;
  }
  if (input.CutShort()) {
    std::fprintf(stderr, "tapewell-rec: %s\n",
                 Text(kRecInputCutShort, {options.input, std::to_string(input.FramesRead()),
                                          std::to_string(input.Layout().frames)})
                     .c_str());
    return kExitFailure;
  }
  return status;
}

// What the trim left out, on standard error: nothing at all when the
// recording heard only silence.
void ReportTrim(const Options& options, const TerminalRecorder& rec) {
  if (!options.split.trim) return;
  if (rec.NothingHeard()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecNothingHeard).c_str());
    return;
  }
  auto seconds = [&](int64_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(frames) / options.rate);
    return std::string(text);
  };
  std::fprintf(stderr, "tapewell-rec: %s\n",
               Text(kRecTrimmed, {seconds(rec.TrimmedBefore()), seconds(rec.TrimmedAfter())}).c_str());
}

// The progress line: on standard error when it is a terminal, as a plain
// periodic line elsewhere when --progress asks for it, never with -q or in a dry run.
ProgressMode ChooseProgress(const Options& options) {
  if (options.quiet || options.dryRun) return ProgressMode::Off;
  if (StderrIsTerminal()) return ProgressMode::InPlace;
  return options.progress ? ProgressMode::Plain : ProgressMode::Off;
}

// One line on standard error while the progress line may be on it: the
// line is erased first, and redrawn by the next progress.
void SayDuringTake(ProgressMode progress, const std::string& text) {
  std::fprintf(stderr, "%stapewell-rec: %s\n", progress == ProgressMode::InPlace ? "\r\033[K" : "", text.c_str());
}

// How a take ends without losing what was captured before the stop (q, a
// signal; capture/stop_catch_up.h), and what the user is told meanwhile.
class TakeEnd {
 public:
  TakeEnd(TerminalRecorder& rec, WaveInService& service, ProgressMode progress)
      : rec_(rec), service_(service), progress_(progress) {}

  /// A stop asked for at `when`. True when the take has ended (a second stop gave up).
  bool Ask(std::chrono::steady_clock::time_point when = std::chrono::steady_clock::now()) {
    catchUp_.Request(service_, rec_.framesHandled, when);
    if (!catchUp_.GaveUp()) return false;
    rec_.StopAtHandledFrames();
    SayDuringTake(progress_, Text(kRecGaveUp, {TenthsOfSeconds(double(catchUp_.GivenUp()) / g_nSampleRate),
                                               std::to_string(catchUp_.GivenUp())}));
    return true;
  }

  /// Between rounds of buffers: ends the take when everything captured
  /// before the stop is written (true), says how far there is still to go,
  /// how far the disk is behind, and a change of input (an event line). `limitFrames` (the duration's, or -1)
  /// becomes the frame the take ends at, once that is known.
  bool Look(int64_t& limitFrames) {
    std::string input;
    for (int64_t frame = 0; service_.TakeInputChange(input, frame);) {
      rec_.PrintLineAt(Text(kRecInputChanged, {input}), frame);
    }
    const double behind = SecondsBehind(service_, rec_.framesHandled, g_nSampleRate);
    rec_.progressNote = behind >= kBehindSeconds ? Text(kRecDiskBehind, {TenthsOfSeconds(behind)}) : "";
    if (!rec_.progressNote.empty() && !toldBehind_) {
      toldBehind_ = true;
      SayDuringTake(progress_, Text(kRecDiskCannotKeepUp,
                                    {TenthsOfSeconds(behind), std::to_string(CaptureFeed::kSlackSeconds)}));
    }
    if (!catchUp_.Active()) return false;
    const int64_t limit = catchUp_.Limit(service_);
    if (limit == WaveInService::kStopAtOnce) {
      rec_.OnStop();
      return true;
    }
    if (limit < 0) return false;
    if (rec_.framesHandled >= limit) {
      rec_.StopAtHandledFrames();
      return true;
    }
    if (catchUp_.InRing(service_)) {
      rec_.OnStop();
      return true;
    }
    limitFrames = limitFrames < 0 ? limit : std::min(limitFrames, limit);
    if (const double left = catchUp_.SecondsLeft(service_, rec_.framesHandled, g_nSampleRate); left >= 0.5) {
      rec_.progressNote = Text(kRecWritingLast, {TenthsOfSeconds(left)});
      if (!toldWriting_) {
        toldWriting_ = true;
        SayDuringTake(progress_, rec_.progressNote);
      }
    }
    return false;
  }

 private:
  TerminalRecorder& rec_;
  WaveInService& service_;
  const ProgressMode progress_;
  StopCatchUp catchUp_;
  bool toldWriting_ = false, toldBehind_ = false;
};

// When the stop request numbered `n` (from 0) came; now when that is not known.
std::chrono::steady_clock::time_point StopSignalTime(int n) {
  if (const int64_t ns = g_stopNs[n % kStopSlots].load(); ns > 0) {
    const std::chrono::steady_clock::time_point when{std::chrono::nanoseconds(ns)};
    if (when <= std::chrono::steady_clock::now()) return when;
  }
  return std::chrono::steady_clock::now();
}

// How long the loop handles buffers before it looks at keys and signals again.
constexpr auto kRoundTime = std::chrono::milliseconds(250);

// `fastReplay`: the replay of --input (unless --realtime), which fills the handed-back
// buffers on this thread whenever the loop asks; null otherwise.
int Record(const Options& options, WaveInService& service, FileReplayWaveInService* fastReplay) {
  SystemNaming naming;
  const ProgressMode progress = ChooseProgress(options);
  std::fflush(nullptr);  // what was printed before goes out before the writer's lines
  OutputWriter output(1, 2, progress == ProgressMode::InPlace);
  TerminalRecorder rec(naming, kLanguage, output, progress);
  // Declared after `rec`, so that it ends first: from then on a signal no
  // longer reaches the recorder's queue, which goes with `rec`.
  struct SignalQueueRelease {
    ~SignalQueueRelease() {
#ifdef _WIN32
      winconsole::InstallStopHandler(NoteStopRequest, nullptr);
#else
      g_signalQueue.store(nullptr);
#endif
    }
  } signalQueueRelease;
  rec.columns = StderrColumns();
  DryTrackWriter dryWriter;
  std::optional<WideTrackWriter> wideWriter;
  TrackWriter* writer = &DefaultTrackWriter();
  std::optional<DryRunReport> dryRun;
  if (options.dryRun) {
    const int64_t splitLength = options.split.silenceSeconds > 0
                                    ? std::llround(options.split.silenceSeconds * options.rate)
                                    : int64_t{options.rate / 10} * options.length;
    dryRun.emplace(options.rate, splitLength, options.level, options.autoTrack, options.split, kLanguage);
    rec.dryRun = &*dryRun;
    writer = &dryWriter;
    dryWriter.LetGoOf(options.rawFrames.get());
  } else if (options.rawFrames) {
    writer = &wideWriter.emplace(*options.rawFrames, options.trackFloat);
  }
  if (options.rawFrames) {
    const int channels = options.trackChannels;
    rec.MeasureLevelsFrom(options.rawFrames.get(), {static_cast<int>(options.rawFrames->BytesPerFrame()) / channels,
                                                    channels, options.trackFloat});
  }
  rec.SetTrackWriter(*writer);
  std::optional<TrackList> trackList;
  if (!options.cue.empty() || !options.labels.empty()) {
    trackList.emplace(options.cue, options.labels, options.rate);
    std::string why;
    if (!trackList->Start(why)) {
      output.Finish();
      std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecCannotWriteList, {why}).c_str());
      return kExitFailure;
    }
    rec.trackList = &*trackList;
  }
  rec.m_strFolder = options.folder;
  rec.m_bAutoTrack = options.autoTrack ? 1 : 0;
  rec.lengthPos = options.length;
  rec.levelPos = options.level;
  rec.trackBits = options.trackBits;
  rec.trackChannels = options.trackChannels;
  rec.split = options.split;
  g_nSampleRate = options.rate;
  g_bI2S = 1;
  SetWaveInService(&service);
#ifdef _WIN32
  winconsole::InstallStopHandler(NoteStopRequest, rec.queue.WaitEvent());
#else
  InstallSignalHandlers(rec.queue);
  // A stop asked for while the recording starts does not wait on a stalled server.
  SetLiveInputStopRequests(&g_stopRequests);
#endif
  int64_t limitFrames =
      options.duration ? static_cast<int64_t>(std::llround(*options.duration * options.rate)) : -1;

  rec.meter.Reset(options.rate);
  rec.OnRecord();
  if (!g_bRecording) {
    output.Line("frames dropped: 0");
    output.Finish();
    ReportFileFailure(rec, *writer);
    SetWaveInService(nullptr);
    return kExitFailure;
  }

  // Keys are read only while recording from the audio input.
  const bool keys = options.input.empty();
  TakeEnd takeEnd(rec, service, progress);
  int stopsTaken = 0;
  bool buffersLeft = false;  // the last round ended with buffers still queued
  auto progressDue = std::chrono::steady_clock::now();
#ifdef _WIN32
  const winconsole::ConsoleSession console(keys);
  while (g_bRecording) {
    // A fast replay delivers its buffers here, without waiting.
    if (!fastReplay || fastReplay->DeliverQueued() == 0) {
      winconsole::Wait(rec.queue.WaitEvent(), console.ReadsKeys(), buffersLeft ? 0 : 250);
    }
    bool ended = false;
    for (; !ended && stopsTaken < g_stopRequests.load(); ++stopsTaken) ended = takeEnd.Ask(StopSignalTime(stopsTaken));
    if (ended) break;
    if (const char key = console.ReadsKeys() ? winconsole::TakeKey() : 0; key == '\n' || key == 'm' || key == 'M') {
      rec.OnTrackMark();
    } else if ((key == 'q' || key == 'Q') && takeEnd.Ask()) {
      break;
    }
#else
  std::optional<RawKeys> rawKeys;
  std::optional<KeyReader> keyReader;
  if (keys) {
    rawKeys.emplace();
    keyReader.emplace(rec.queue);
  }
  while (g_bRecording) {
    pollfd fds[1] = {{rec.queue.WaitFd(), POLLIN, 0}};
    // A fast replay delivers its buffers here, without waiting; signals are
    // looked at between two rounds of buffers.
    if (!fastReplay || fastReplay->DeliverQueued() == 0) {
      poll(fds, 1, buffersLeft ? 0 : 250);
      rec.queue.Drain();
    }
    bool ended = false;
    for (; !ended && stopsTaken < g_stopRequests.load(); ++stopsTaken) ended = takeEnd.Ask(StopSignalTime(stopsTaken));
    for (int marks = g_markRequests.exchange(0); !ended && marks > 0; --marks) rec.OnTrackMark();
    KeyReader::Key key;
    while (!ended && keyReader && keyReader->Take(key)) {
      if (key.key == '\n' || key.key == 'm' || key.key == 'M') {
        rec.OnTrackMark();
      } else if (key.key == 'q' || key.key == 'Q') {
        ended = takeEnd.Ask(key.when);
      }
    }
    if (ended) break;
    if (g_resized.exchange(false)) rec.columns = StderrColumns();
#endif
    if (takeEnd.Look(limitFrames)) break;
    // Buffers are handled for a round at most, so that keys and signals are
    // looked at while a slow disk keeps the queue full.
    WakeupQueue::Message m;
    const auto roundEnd = std::chrono::steady_clock::now() + kRoundTime;
    buffersLeft = false;
    while (g_bRecording && !buffersLeft && rec.queue.Take(m)) {
      HandleMessage(rec, m, limitFrames);
      buffersLeft = std::chrono::steady_clock::now() >= roundEnd;
    }
    if (!fastReplay || std::chrono::steady_clock::now() >= progressDue) {
      rec.ShowProgress(CaptureDroppedFrames());
      progressDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    }
  }
  rec.EndProgress();
  const uint64_t dropped = CaptureDroppedFrames();
  const uint64_t overflows = service.Overflows();
  const RecordingEnd end = rec.LastEnd();
  // The recording is over: from here on the output may wait for its reader,
  // and nothing more is dropped.
  output.Finish();
  if (dryRun) {
    dryRun->SetLevelRule(rec.LevelThresholdDb(), rec.LevelFloorDb());
    for (const std::string& line : dryRun->Lines(end == RecordingEnd::InputEnded)) output.Line(line);
  }
  ReportTrim(options, rec);
  std::string summary = "frames dropped: " + std::to_string(dropped);
  if (overflows > 0) summary += " (" + std::to_string(overflows) + " input overflows)";
  output.Line(summary);
  if (const uint64_t lost = output.DroppedLines(); lost > 0) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecLinesDropped, {std::to_string(lost)}).c_str());
  }
  SetWaveInService(nullptr);
  ReportFileFailure(rec, *writer);
  if (!rec.trackListError.empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecCannotWriteList, {rec.trackListError}).c_str());
    return kExitFailure;
  }
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
  app.add_option("--silence-below", texts.silenceBelow, Text(kRecOptSilenceBelow))->type_name("DB|auto");
  app.add_option("--lead-in", texts.leadIn, Text(kRecOptLeadIn))->type_name("SEC");
  app.add_option("--min-track", texts.minTrack, Text(kRecOptMinTrack))->type_name("SEC");
  app.add_flag("--trim", options.split.trim, Text(kRecOptTrim));
  app.add_option("--stop-after-silence", texts.stopAfterSilence, Text(kRecOptStopAfterSilence))->type_name("SEC");
  auto* inputOption = app.add_option("--input", options.input, Text(kRecOptInput))
                         ->type_name("FILE");
  app.add_flag("--realtime", options.realtime, Text(kRecOptRealtime))
      ->needs(inputOption);
  // --fast was the way to leave out the pacing --realtime now asks for: still accepted.
  app.add_flag("--fast")
      ->description(Text(kRecOptFast))
      ->needs(inputOption);
  app.add_option("--duration", texts.duration, Text(kRecOptDuration))->type_name("SEC");
  auto* deviceOption =
      app.add_option("-d,--device", options.device, Text(kRecOptDevice))->type_name("NAME")->excludes(inputOption);
  app.add_flag("--list-devices", options.listDevices, Text(kRecOptListDevices))
      ->excludes(inputOption)
      ->excludes(deviceOption);
  app.add_flag("--progress", options.progress, Text(kRecOptProgress));
  app.add_flag("-q,--quiet", options.quiet, Text(kRecOptQuiet));
  auto* cueOption = app.add_option("--cue", options.cue, Text(kRecOptCue))->type_name("FILE");
  auto* labelsOption = app.add_option("--labels", options.labels, Text(kRecOptLabels))->type_name("FILE");
  app.add_flag("--dry-run", options.dryRun, Text(kRecOptDryRun))->excludes(cueOption)->excludes(labelsOption);
  app.footer(Text(kRecFooter));
  LocalizeHelp(app, kLanguage, HelpColumns());
#ifdef _WIN32
  // The Unicode command line in UTF-8, not the ANSI one main was given; the
  // texts go to a console as UTF-8 too.
  winarguments::Utf8Argv utf8(argc, argv);
  const winconsoletext::Utf8ConsoleOutput utf8Output;
  argc = utf8.Count();
  argv = utf8.Values();
#endif
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

  if (options.dryRun && options.input.empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecDryNeedsInput).c_str());
    return kExitUsage;
  }
  const std::string folderAsGiven = options.folder;
  if (!options.folder.empty() && options.folder.back() != kFolderSeparator) options.folder += kFolderSeparator;

  std::unique_ptr<WaveInService> service;
  FileReplayWaveInService* replay = nullptr;
  if (!options.input.empty()) {
    if (const int status = PrepareReplay(options, service, replay); status >= 0) return status;
  } else {
    if (const int status = PrepareLiveInput(options, service); status >= 0) return status;
  }
  // A missing -w folder is made once the input is known to be good, so that
  // an error before the recording leaves nothing behind; a dry run writes nothing.
  if (!folderAsGiven.empty() && !options.dryRun) {
    bool made = false;
    if (const std::string problem = MakeOutputFolder(folderAsGiven, kLanguage, made); !problem.empty()) {
      std::fprintf(stderr, "tapewell-rec: %s\n", problem.c_str());
      return kExitFailure;
    }
    if (made) std::fprintf(stderr, "tapewell-rec: %s\n", Text(kRecFolderMade, {folderAsGiven}).c_str());
  }
  int status = Record(options, *service, options.realtime && !options.dryRun ? nullptr : replay);
  if (status == kExitFailure && !service->LastError().empty()) {
    std::fprintf(stderr, "tapewell-rec: %s\n", service->LastError().c_str());
  }
  if (replay) status = ReportInputEnd(options, replay->Input(), status);
  return status;
}
