// Where the window starts from the desktop menu: the user's music folder, as
// xdg-user-dir names it (created when it does not exist yet), instead of
// whatever folder the desktop started it in. The desktop entry asks for it
// with the window's -m option.
#pragma once

#include <string>

/// True when `commandLine` holds the option -m (or /m, either case).
bool ScanMusicOption(const std::string& commandLine);

/// The music folder that `xdg-user-dir MUSIC` names, or "" with the reason in
/// `why`: the tool is missing, names nothing, or names only the home folder
/// (no music folder is set).
std::string MusicFolder(std::string& why);

/// Makes the music folder (created with its parents when missing) the
/// current folder. False with the reason in `why`; the current folder then
/// stays as it was.
bool EnterMusicFolder(std::string& why);
