// A recorder engine over pretend controls, a fixed date, the fake capture
// service and a message queue that the test pumps, as a window would.
#pragma once

#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "capture/capture_ring.h"
#include "capture/fake/fake_wave_in.h"
#include "recorder/recorder_engine.h"
#include "recorder/recorder_state.h"
#include "recorder/string_table.h"
#include "recorder/track_naming.h"
#include "wavefile/wavefile_state.h"

namespace harness {

/// Today is a date the test chooses; the file system is the real one.
class FixedDateNaming : public SystemNaming {
 public:
  LocalDate date{7, 12};
  LocalDate Today() const override { return date; }
};

/// A thread-safe message queue standing in for the window's.
class QueueWindow : public MessageWindow {
 public:
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.emplace_back(message, wParam, lParam);
    return true;
  }
  bool Take(std::tuple<uint32_t, uintptr_t, intptr_t>& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.empty()) return false;
    message = messages_.front();
    messages_.pop_front();
    return true;
  }
  size_t Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
  }

 private:
  std::mutex mutex_;
  std::deque<std::tuple<uint32_t, uintptr_t, intptr_t>> messages_;
};

/// The engine with controls held as plain values.
class TestRecorder : public RecorderEngine {
 public:
  explicit TestRecorder(const NamingServices& naming) : RecorderEngine(naming) {}

  // The controls.
  std::string ctlFolder, ctlFile, ctlDiag, lamp;
  int32_t ctlAutoTrack = 0, ctlMonitor = 0, ctlMpegSource = 0;
  int lengthPos = 1, levelPos = 7;
  Language language = Language::English;
  int updatesIn = 0, updatesOut = 0, lampWrites = 0;
  std::vector<RecordingEnd> ends;
  QueueWindow window;

  /// Handles every queued message as the window's loop would.
  void Pump() {
    std::tuple<uint32_t, uintptr_t, intptr_t> m;
    while (window.Take(m)) {
      if (std::get<0>(m) == WM_USER) {
        OnBufferDone(std::get<1>(m), std::get<2>(m));
      } else if (std::get<0>(m) == WM_CAPTURE_ENDED) {
        OnCaptureEnded(std::get<1>(m));
      }
    }
  }

 protected:
  void UpdateData(bool save) override {
    if (save) {
      ++updatesIn;
      m_strFolder = ctlFolder;
      m_strFile = ctlFile;
      m_strDiag = ctlDiag;
      m_bAutoTrack = ctlAutoTrack;
      m_bMonitor = ctlMonitor;
      m_bMpegSource = ctlMpegSource;
    } else {
      ++updatesOut;
      ctlFolder = m_strFolder;
      ctlFile = m_strFile;
      ctlDiag = m_strDiag;
      ctlAutoTrack = m_bAutoTrack;
      ctlMonitor = m_bMonitor;
      ctlMpegSource = m_bMpegSource;
    }
  }
  void SetSilentLampText(const std::string& text) override {
    ++lampWrites;
    lamp = text;
  }
  int SilenceLengthPos() override { return lengthPos; }
  int SilenceLevelPos() override { return levelPos; }
  std::string LoadString(int id) override { return LoadTableString(id, language); }
  HWND NoticeWindow() override { return &window; }
  void RecordingEnded(RecordingEnd why) override { ends.push_back(why); }
};

/// Resets every process-wide record and installs the fake capture service.
inline void ResetProcessState(FakeWaveInService& service) {
  StopCapture();
  g_recorderState = RecorderState{};
  g_waveFileState = WaveFileState{};
  SetWaveInService(&service);
}

/// Interleaved 16-bit stereo frames as bytes.
inline std::vector<uint8_t> FrameBytes(const std::vector<std::pair<int16_t, int16_t>>& frames) {
  std::vector<uint8_t> bytes(frames.size() * 4);
  for (size_t i = 0; i < frames.size(); ++i) {
    std::memcpy(&bytes[4 * i], &frames[i].first, 2);
    std::memcpy(&bytes[4 * i + 2], &frames[i].second, 2);
  }
  return bytes;
}

}  // namespace harness
