// Icon 128: a small tape cassette with a waveform, drawn at 16 and 32 pixels.
#pragma once

#include <QIcon>
#include <QPixmap>

/// The icon drawn at `size` x `size` pixels.
QPixmap DrawAppIcon(int size);
/// The icon with its two images, 16 x 16 and 32 x 32.
QIcon AppIcon();
