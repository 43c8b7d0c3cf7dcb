#include "capture/capture_ring.h"

#include <algorithm>
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

// The window the running ring's notices go to, and how many buffers have
// been queued so far: each queueing stamps the header's dwUser with the next
// number, so the order the device fills them in is known.
HWND g_noticeWindow = nullptr;
uintptr_t g_queued = 0;

MMRESULT Queue(WAVEHDR* header) {
  header->dwUser = ++g_queued;
  return waveInAddBuffer(g_hWaveIn, header, sizeof(WAVEHDR));
}

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
  g_noticeWindow = hwnd;
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
      if (Queue(header) != MMSYSERR_NOERROR) allQueued = false;
    } else {
      allQueued = false;
    }
  }
  if (!allQueued || waveInStart(g_hWaveIn) != MMSYSERR_NOERROR) StopCapture();
}

// The teardown runs to the end whatever the device answers: its results
// are not looked at.
void HaltCapture() {
  static_cast<void>(waveInStop(g_hWaveIn));
  static_cast<void>(waveInReset(g_hWaveIn));
}

int UnhandledCaptureSlots(int (&slots)[kCaptureSlots]) {
  int count = 0;
  for (int k = 0; k < kCaptureSlots; ++k) {
    const WAVEHDR* header = g_pWaveHdr[k];
    if (header && (header->dwFlags & WHDR_DONE) && header->dwBytesRecorded >= 4) slots[count++] = k;
  }
  std::sort(slots, slots + count, [](int a, int b) { return g_pWaveHdr[a]->dwUser < g_pWaveHdr[b]->dwUser; });
  return count;
}

void StopCapture() {
  HaltCapture();
  for (int k = 0; k < kCaptureSlots; ++k) {
    if (g_pWaveHdr[k]) waveInUnprepareHeader(g_hWaveIn, g_pWaveHdr[k], sizeof(WAVEHDR));
  }
  // After the reset no buffer is queued, so the close has nothing to refuse.
  static_cast<void>(waveInClose(g_hWaveIn));
  g_hWaveIn = nullptr;
  for (int k = 0; k < kCaptureSlots; ++k) {
    g_slots[k].data.reset();
    g_slots[k].header.reset();
    g_pWaveHdr[k] = nullptr;
  }
  // The device is closed: every notice it will ever post is counted, and
  // those not yet taken belong to the ring that is gone.
  if (g_noticeWindow) {
    g_noticeWindow->notices.firstLive = g_noticeWindow->notices.posted.load();
    g_noticeWindow = nullptr;
  }
  g_bRecording = 0;
}

void CaptureCallback(HWAVEIN, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1, uintptr_t) {
  HWND hwnd = reinterpret_cast<HWND>(dwInstance);
  if (uMsg == MM_WIM_DATA && hwnd) {
    hwnd->notices.posted.fetch_add(1);
    if (!PostMessageA(hwnd, WM_USER, MM_WIM_DATA, static_cast<intptr_t>(dwParam1))) {
      hwnd->notices.posted.fetch_sub(1);
    }
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

int PeekCaptureNotice(HWND hwnd, intptr_t lParam) {
  if (!hwnd || hwnd->notices.taken < hwnd->notices.firstLive) return -1;
  return FindCaptureSlot(lParam);
}

int TakeCaptureNotice(HWND hwnd, intptr_t lParam) {
  const int slot = PeekCaptureNotice(hwnd, lParam);
  if (hwnd) ++hwnd->notices.taken;
  return slot;
}

bool HandBackCaptureBuffer(WAVEHDR* header, std::string& diag) {
  const MMRESULT prepared = waveInPrepareHeader(g_hWaveIn, header, sizeof(WAVEHDR));
  MMRESULT queued = MMSYSERR_NOERROR;
  if (prepared == MMSYSERR_NOERROR) {
    queued = Queue(header);
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "%d Failure Add-prep Buffer!!", g_nSilentRun);
    diag = text;
  }
  if (prepared != MMSYSERR_NOERROR || queued != MMSYSERR_NOERROR) {
    // The buffer just handled is not one of the unhandled ones; the others
    // come back from the halt with what the device had captured.
    header->dwFlags &= ~static_cast<uint32_t>(WHDR_DONE);
    HaltCapture();
    return false;
  }
  return true;
}

uint64_t CaptureDroppedFrames() {
  const WaveInService* service = GetWaveInService();
  return service ? service->DroppedFrames() : 0;
}
