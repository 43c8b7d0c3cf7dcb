#include "capture/wave_in.h"

namespace {
WaveInService* g_waveInService = nullptr;
}

void SetWaveInService(WaveInService* service) { g_waveInService = service; }
WaveInService* GetWaveInService() { return g_waveInService; }

MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx, WaveInProc dwCallback,
                    uintptr_t dwInstance, uint32_t fdwOpen) {
  if (!phwi || !pwfx || !dwCallback || fdwOpen != CALLBACK_FUNCTION) return MMSYSERR_INVALPARAM;
  if (uDeviceID != WAVE_MAPPER || !g_waveInService) return MMSYSERR_BADDEVICEID;
  return g_waveInService->Open(phwi, *pwfx, dwCallback, dwInstance);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
  if (!hwi) return MMSYSERR_INVALHANDLE;
  if (!pwh || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return hwi->Prepare(pwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
  if (!hwi) return MMSYSERR_INVALHANDLE;
  if (!pwh || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return hwi->Unprepare(pwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
  if (!hwi) return MMSYSERR_INVALHANDLE;
  if (!pwh || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return hwi->AddBuffer(pwh);
}

MMRESULT waveInStart(HWAVEIN hwi) { return hwi ? hwi->Start() : MMSYSERR_INVALHANDLE; }
MMRESULT waveInStop(HWAVEIN hwi) { return hwi ? hwi->Stop() : MMSYSERR_INVALHANDLE; }
MMRESULT waveInReset(HWAVEIN hwi) { return hwi ? hwi->Reset() : MMSYSERR_INVALHANDLE; }

MMRESULT waveInClose(HWAVEIN hwi) {
  if (!hwi) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = hwi->Close();
  if (result == MMSYSERR_NOERROR && g_waveInService) g_waveInService->Release(hwi);
  return result;
}

MMRESULT MarkPrepared(WAVEHDR* header) {
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT MarkUnprepared(WAVEHDR* header) {
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT MarkQueued(WAVEHDR* header) {
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;  // already queued: once is all
  if (!(header->dwFlags & WHDR_PREPARED) || !header->lpData || header->dwBufferLength < 4) {
    return MMSYSERR_INVALPARAM;
  }
  header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
  header->dwBytesRecorded = 0;
  return MMSYSERR_NOERROR;
}

void MarkDone(WAVEHDR* header, uint32_t bytes) {
  header->dwBytesRecorded = bytes;
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

void ReturnBuffer(WaveInProc callback, HWAVEIN device, uintptr_t instance, WAVEHDR* header, uint32_t bytes) {
  MarkDone(header, bytes);
  callback(device, MM_WIM_DATA, instance, reinterpret_cast<uintptr_t>(header), 0);
}
