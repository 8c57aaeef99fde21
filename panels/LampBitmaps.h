// The two connection lamps of the status panel (resources 310 green, 312 red): 43 x 43
// pixels on a white surround, drawn here so that the program carries no image files.
#pragma once

#include <QColor>
#include <QPixmap>

QPixmap MakeLampBitmap(const QColor& lamp);
