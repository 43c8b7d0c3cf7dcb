// The system's wave-input service (winmm) with no Windows type in sight, so
// that it can be called from code that uses the project's own wave-input
// records (capture/wave_in.h), which share the service's names.
//
// Headers are passed through as they are: the project's WAVEHDR has the
// service's layout on 64-bit Windows (checked on both sides against the
// offsets below), so the service fills the ring's own headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace winmm {

/// The device number that stands for the wave mapper (WAVE_MAPPER).
inline constexpr uint32_t kMapper = 0xFFFFFFFFu;

inline constexpr size_t kHeaderSize = 48;
inline constexpr size_t kHeaderFlagsOffset = 24;
inline constexpr size_t kHeaderNextOffset = 32;

/// Called on the service's thread for each device message (WIM_OPEN 958,
/// WIM_CLOSE 959, WIM_DATA 960 with `param1` the completed header).
using Callback = void (*)(void* context, uint32_t message, uintptr_t param1);

/// Where the service's messages go; the caller keeps it alive until Close.
struct Route {
  Callback callback;
  void* context;
};

/// waveInOpen on `device` (a device number, or kMapper) for 16-bit PCM with
/// `channels` at `rate` Hz, CALLBACK_FUNCTION, messages to `route`. `handle`
/// receives the device. Returns the MMRESULT.
uint32_t Open(void** handle, uint32_t device, uint32_t rate, uint16_t channels, const Route* route);
/// waveInPrepareHeader, waveInUnprepareHeader, waveInAddBuffer on a header
/// of kHeaderSize bytes. Each returns the MMRESULT.
uint32_t Prepare(void* handle, void* header);
uint32_t Unprepare(void* handle, void* header);
uint32_t AddBuffer(void* handle, void* header);
/// waveInStart, waveInStop, waveInReset, waveInClose. Each returns the MMRESULT.
uint32_t Start(void* handle);
uint32_t Stop(void* handle);
uint32_t Reset(void* handle);
uint32_t Close(void* handle);
/// waveInGetPosition in samples: `frames` receives the frames the device
/// has captured into headers since the start (modulo 2^32). Returns the MMRESULT.
uint32_t Position(void* handle, uint32_t* frames);

/// The service's own text for an MMRESULT (waveInGetErrorTextW), in UTF-8.
std::string ErrorText(uint32_t result);
/// How many input devices the service knows (waveInGetNumDevs).
unsigned DeviceCount();
/// The name of each input device in the service's order (waveInGetDevCapsW,
/// in UTF-8); a device that does not answer gets an empty name.
std::vector<std::string> DeviceNames();
/// The device the wave mapper records from (DRVM_MAPPER_PREFERRED_GET), or
/// kMapper when the service does not say.
uint32_t PreferredDevice();

}  // namespace winmm
