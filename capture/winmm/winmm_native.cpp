// Only this file sees <windows.h> and <mmsystem.h> in the capture layer.
#include "capture/winmm/winmm_native.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstddef>

// The wave mapper's preferred device (mmddk.h, which MinGW's headers leave out).
#ifndef DRVM_MAPPER_PREFERRED_GET
#define DRVM_MAPPER_PREFERRED_GET (0x2000 + 21)
#endif

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

uint32_t Open(void** handle, uint32_t device, uint32_t rate, uint16_t channels, const Route* route) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(channels * 16 / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  format.cbSize = 0;
  HWAVEIN opened = nullptr;
  const UINT id = device == kMapper ? WAVE_MAPPER : device;
  const MMRESULT result = waveInOpen(&opened, id, &format, reinterpret_cast<DWORD_PTR>(&ServiceCallback),
                                     reinterpret_cast<DWORD_PTR>(route), CALLBACK_FUNCTION);
  if (result == MMSYSERR_NOERROR) *handle = opened;
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
uint32_t Position(void* handle, uint32_t* frames) {
  MMTIME time{};
  time.wType = TIME_SAMPLES;
  const MMRESULT result = waveInGetPosition(Handle(handle), &time, sizeof time);
  if (result != MMSYSERR_NOERROR) return result;
  if (time.wType != TIME_SAMPLES) return MMSYSERR_NOTSUPPORTED;
  *frames = time.u.sample;
  return MMSYSERR_NOERROR;
}

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

std::vector<std::string> DeviceNames() {
  std::vector<std::string> names;
  const UINT count = waveInGetNumDevs();
  for (UINT id = 0; id < count; ++id) {
    WAVEINCAPSW caps{};
    std::string name;
    if (waveInGetDevCapsW(id, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      caps.szPname[MAXPNAMELEN - 1] = L'\0';
      const int bytes = WideCharToMultiByte(CP_UTF8, 0, caps.szPname, -1, nullptr, 0, nullptr, nullptr);
      if (bytes > 1) {
        name.resize(static_cast<size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, caps.szPname, -1, name.data(), bytes, nullptr, nullptr);
        name.resize(static_cast<size_t>(bytes - 1));
      }
    }
    names.push_back(name);
  }
  return names;
}

uint32_t PreferredDevice() {
  DWORD device = 0, flags = 0;
  const MMRESULT result = waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(WAVE_MAPPER)),
                                        DRVM_MAPPER_PREFERRED_GET, reinterpret_cast<DWORD_PTR>(&device),
                                        reinterpret_cast<DWORD_PTR>(&flags));
  return result == MMSYSERR_NOERROR && device < waveInGetNumDevs() ? device : kMapper;
}

}  // namespace winmm
