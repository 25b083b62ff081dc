#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, painted when first asked for.

// Two keys on a ring, transparent background, size by size pixels.
QPixmap KeyRingPixmap(int size);
// The picture of the About dialog.
QPixmap AboutPixmap(int size);
// The main window's action images: 0 options, 1 change password, 2 about, 3 exit.
QIcon ActionIcon(int index);
QIcon WindowIcon();
