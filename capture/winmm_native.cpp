// Only this file sees <windows.h> and <mmsystem.h> in the capture layer.
#include "capture/winmm_native.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstddef>

static_assert(sizeof(WAVEHDR) == winmm::kHeaderSize, "the service's WAVEHDR layout changed");
static_assert(offsetof(WAVEHDR, dwFlags) == winmm::kHeaderFlagsOffset, "the service's WAVEHDR layout changed");
static_assert(offsetof(WAVEHDR, lpNext) == winmm::kHeaderNextOffset, "the service's WAVEHDR layout changed");

namespace winmm {

namespace {

// The service's callback: the service allows little more than posting and
// signalling here, so it only forwards.
void CALLBACK ServiceCallback(HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  const Route* route = reinterpret_cast<const Route*>(instance);
  route->callback(route->context, message, param1);
}

HWAVEIN Handle(void* handle) { return static_cast<HWAVEIN>(handle); }
LPWAVEHDR Header(void* header) { return static_cast<LPWAVEHDR>(header); }

}  // namespace

uint32_t Open(void** handle, uint32_t rate, uint16_t channels, const Route* route) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(channels * 16 / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  format.cbSize = 0;
  HWAVEIN device = nullptr;
  const MMRESULT result = waveInOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(&ServiceCallback),
                                     reinterpret_cast<DWORD_PTR>(route), CALLBACK_FUNCTION);
  if (result == MMSYSERR_NOERROR) *handle = device;
  return result;
}

uint32_t Prepare(void* handle, void* header) { return waveInPrepareHeader(Handle(handle), Header(header), kHeaderSize); }
uint32_t Unprepare(void* handle, void* header) {
  return waveInUnprepareHeader(Handle(handle), Header(header), kHeaderSize);
}
uint32_t AddBuffer(void* handle, void* header) { return waveInAddBuffer(Handle(handle), Header(header), kHeaderSize); }
uint32_t Start(void* handle) { return waveInStart(Handle(handle)); }
uint32_t Stop(void* handle) { return waveInStop(Handle(handle)); }
uint32_t Reset(void* handle) { return waveInReset(Handle(handle)); }
uint32_t Close(void* handle) { return waveInClose(Handle(handle)); }

std::string ErrorText(uint32_t result) {
  wchar_t text[MAXERRORLENGTH] = {};
  if (waveInGetErrorTextW(result, text, MAXERRORLENGTH) != MMSYSERR_NOERROR) {
    return "wave-input error " + std::to_string(result);
  }
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return "wave-input error " + std::to_string(result);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(bytes - 1));
  return utf8;
}

unsigned DeviceCount() { return waveInGetNumDevs(); }

}  // namespace winmm
