#include "capture/capture_ring.h"

#include <cstdio>
#include <memory>
#include <new>

#include "recorder/recorder_state.h"

namespace {

// What each slot owns: a zero-filled header and a zero-filled data block.
// g_pWaveHdr[k] points at slot k's header while the ring exists.
struct CaptureSlot {
  std::unique_ptr<WAVEHDR> header;
  std::unique_ptr<char[]> data;
};
CaptureSlot g_slots[kCaptureSlots];

}  // namespace

WAVEFORMATEX CaptureFormat(int rate) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = static_cast<uint32_t>(rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<uint16_t>(format.nChannels * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  format.cbSize = 0;
  return format;
}

int StartCapture(HWND hwnd, int rate) {
  const WAVEFORMATEX format = CaptureFormat(rate);
  g_hWaveIn = nullptr;
  const MMRESULT result = waveInOpen(&g_hWaveIn, WAVE_MAPPER, &format, CaptureCallback,
                                     reinterpret_cast<uintptr_t>(hwnd), CALLBACK_FUNCTION);
  return result == MMSYSERR_NOERROR ? 1 : 0;
}

void QueueCaptureBuffers() {
  for (int k = 0; k < kCaptureSlots; ++k) {
    CaptureSlot& slot = g_slots[k];
    slot.header.reset(new (std::nothrow) WAVEHDR{});
    g_pWaveHdr[k] = slot.header.get();
    if (slot.header) {
      slot.data.reset(new (std::nothrow) char[kCaptureBufferBytes]());
      slot.header->lpData = slot.data.get();
      slot.header->dwBufferLength = kCaptureBufferBytes;
    }
  }
  bool allQueued = true;
  for (int k = 0; k < kCaptureSlots; ++k) {
    WAVEHDR* header = g_pWaveHdr[k];
    const bool usable = header && header->lpData;
    if (usable && waveInPrepareHeader(g_hWaveIn, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
      if (waveInAddBuffer(g_hWaveIn, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) allQueued = false;
    } else {
      allQueued = false;
    }
  }
  if (!allQueued || waveInStart(g_hWaveIn) != MMSYSERR_NOERROR) StopCapture();
}

void StopCapture() {
  waveInStop(g_hWaveIn);
  waveInReset(g_hWaveIn);
  for (int k = 0; k < kCaptureSlots; ++k) {
    if (g_pWaveHdr[k]) waveInUnprepareHeader(g_hWaveIn, g_pWaveHdr[k], sizeof(WAVEHDR));
  }
  waveInClose(g_hWaveIn);
  g_hWaveIn = nullptr;
  for (int k = 0; k < kCaptureSlots; ++k) {
    g_slots[k].data.reset();
    g_slots[k].header.reset();
    g_pWaveHdr[k] = nullptr;
  }
  g_bRecording = 0;
}

void CaptureCallback(HWAVEIN, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1, uintptr_t) {
  HWND hwnd = reinterpret_cast<HWND>(dwInstance);
  if (uMsg == MM_WIM_DATA) {
    PostMessageA(hwnd, WM_USER, MM_WIM_DATA, static_cast<intptr_t>(dwParam1));
  } else if (uMsg == MM_WIM_ENDED) {
    PostMessageA(hwnd, WM_CAPTURE_ENDED, dwParam1, 0);
  }
}

int FindCaptureSlot(intptr_t lParam) {
  for (int k = 0; k < kCaptureSlots; ++k) {
    if (g_pWaveHdr[k] && reinterpret_cast<intptr_t>(g_pWaveHdr[k]) == lParam) return k;
  }
  return -1;
}

bool HandBackCaptureBuffer(WAVEHDR* header, std::string& diag) {
  const MMRESULT prepared = waveInPrepareHeader(g_hWaveIn, header, sizeof(WAVEHDR));
  MMRESULT queued = MMSYSERR_NOERROR;
  if (prepared == MMSYSERR_NOERROR) {
    queued = waveInAddBuffer(g_hWaveIn, header, sizeof(WAVEHDR));
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "%d Failure Add-prep Buffer!!", g_nSilentRun);
    diag = text;
  }
  if (prepared != MMSYSERR_NOERROR || queued != MMSYSERR_NOERROR) {
    StopCapture();
    return false;
  }
  return true;
}

uint64_t CaptureDroppedFrames() {
  const WaveInService* service = GetWaveInService();
  return service ? service->DroppedFrames() : 0;
}
