// The Win32 window's Options dialog (template 103): the silence rule,
// lead-in, minimum track length, trim, end of side, the input with its live
// level, peak hold and clip light, and the track list beside the tracks.
// Its procedure binds the controls only: the recorder side is OptionsEngine.
#pragma once

#include "app/window_options.h"

class LevelMeter;

/// Opens the Options dialog modally over `owner` (an HWND) showing `choices`
/// and the level of `meter`. During a take (`recording`) the take feeds the
/// meter and the settings are read-only; otherwise the dialog listens to the
/// input at `rate` Hz itself. Returns true with `choices` set from the
/// dialog when it was closed with OK outside a take.
bool RunOptionsDialog(void* owner, LevelMeter& meter, bool recording, int rate, RecordingChoices& choices);
