#include "win/wave_in_setup.h"

#include "capture/winmm_wave_in.h"

WaveInSetup::WaveInSetup() : service_(std::make_unique<WinmmWaveInService>()) { SetWaveInService(service_.get()); }

WaveInSetup::~WaveInSetup() { SetWaveInService(nullptr); }
