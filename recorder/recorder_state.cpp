#include "recorder/recorder_state.h"

RecorderState g_recorderState;
