// Standard input, output and error that the program was started without.
#pragma once

/// Opens /dev/null on each of file descriptors 0, 1 and 2 that is closed at
/// start, so that no file or socket the program opens later takes one of
/// them (a track file written by a stray printf, a server socket read as
/// keys). Call first thing in main, before anything opens a file.
void OpenClosedStandardFds();
