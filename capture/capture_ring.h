// The capture ring: eight 32,768-byte buffers queued on the wave-input
// device, each completed buffer posted to the window as WM_BUFFER_DONE
// (WM_USER, wParam MM_WIM_DATA, lParam the header), handled on the
// user-interface thread and handed back.
#pragma once

#include <cstdint>
#include <string>

#include "capture/message_window.h"
#include "capture/wave_in.h"
#include "recorder/recorder_state.h"

inline constexpr uint32_t kCaptureBufferBytes = 32768;  // 8,192 stereo frames
/// The first message number free for a program's own use in any window (in a
/// dialog, WM_USER + 1 is already DM_SETDEFID).
inline constexpr uint32_t kFirstPrivateMessage = 0x8000;  // WM_APP
/// Posted when the input ended by itself; wParam WIM_END_OF_INPUT or WIM_DEVICE_LOST.
inline constexpr uint32_t WM_CAPTURE_ENDED = kFirstPrivateMessage + 1;

/// The capture format for 16-bit stereo PCM at `rate` Hz.
WAVEFORMATEX CaptureFormat(int rate);

/// Opens the default input for 16-bit stereo at `rate`, its notices posted
/// to `hwnd`. Returns 1 when the device is open, 0 when not.
int StartCapture(HWND hwnd, int rate);

/// Allocates, prepares and queues the eight buffers and starts the device;
/// when any of that fails, tears everything down (g_bRecording becomes 0).
void QueueCaptureBuffers();

/// Stops and resets the device: every buffer comes back done and the device
/// no longer touches any of them. The ring stays as it is.
void HaltCapture();

/// The slots whose buffers came back with frames that were not handled yet,
/// in the order they were queued (the order the device filled them); only
/// meaningful after HaltCapture. Returns how many were written to `slots`.
int UnhandledCaptureSlots(int (&slots)[kCaptureSlots]);

/// Stops and resets the device, releases the ring, sets g_bRecording to 0.
/// Notices of this ring still waiting in the window's queue become stale.
void StopCapture();

/// The device callback: posts WM_BUFFER_DONE for MM_WIM_DATA (and
/// WM_CAPTURE_ENDED for MM_WIM_ENDED) to the window in dwInstance.
void CaptureCallback(HWAVEIN device, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1, uintptr_t dwParam2);

/// The slot (0..7) whose header is the notice's header, or -1 when it is
/// none of the current eight. Compares addresses only; reads nothing.
int FindCaptureSlot(intptr_t lParam);

/// Takes one MM_WIM_DATA notice that `hwnd` received: the slot of its buffer,
/// or -1 when it is none of the current eight or the notice was posted by a
/// ring that has been torn down since (its buffer's address may have been
/// given to the new ring). Every such notice must be taken exactly once.
int TakeCaptureNotice(HWND hwnd, intptr_t lParam);

/// What TakeCaptureNotice would answer for the next notice, without taking it.
int PeekCaptureNotice(HWND hwnd, intptr_t lParam);

/// Hands a handled buffer back to the device. When that fails the device is
/// halted (HaltCapture) but the ring stays, so that the caller can write the
/// frames of the buffers still unhandled (UnhandledCaptureSlots) before it
/// calls StopCapture; a failed preparation also sets `diag` to
/// "<silent run> Failure Add-prep Buffer!!". Returns true when requeued.
bool HandBackCaptureBuffer(WAVEHDR* header, std::string& diag);

/// Frames the input dropped (no buffer queued) since the last StartCapture.
uint64_t CaptureDroppedFrames();
