#include "wavefile/wavefile_state.h"

WaveFileState g_waveFileState;
