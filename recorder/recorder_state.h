// The recorder's process-wide variables, zero at load. They live in one
// record so tests can reset it; the g_ names refer to its fields.
#pragma once

#include <cstdint>

#include "capture/wave_in.h"

inline constexpr int kCaptureSlots = 8;

struct RecorderState {
  int32_t nSampleRate = 0;   // Hz: rate of the next file and capture; a tenth of it is 0.1 s of frames
  int32_t bRecording = 0;    // nonzero while a capture runs
  int32_t nSilentRun = 0;    // consecutive still frames
  int32_t nPrevLeft = 0;     // the previous frame's samples
  int32_t nPrevRight = 0;
  HWAVEIN hWaveIn = nullptr;               // the open capture device
  WAVEHDR* pWaveHdr[kCaptureSlots] = {};   // the buffer ring's slots
  int32_t bI2S = 0;          // serial format of the card's input: 1 I2S, 0 Sony
};

extern RecorderState g_recorderState;

inline int32_t& g_nSampleRate = g_recorderState.nSampleRate;
inline int32_t& g_bRecording = g_recorderState.bRecording;
inline int32_t& g_nSilentRun = g_recorderState.nSilentRun;
inline int32_t& g_nPrevLeft = g_recorderState.nPrevLeft;
inline int32_t& g_nPrevRight = g_recorderState.nPrevRight;
inline HWAVEIN& g_hWaveIn = g_recorderState.hWaveIn;
inline WAVEHDR* (&g_pWaveHdr)[kCaptureSlots] = g_recorderState.pWaveHdr;
inline int32_t& g_bI2S = g_recorderState.bI2S;
