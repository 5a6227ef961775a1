#pragma once

#include <QStringList>

// True when a display can be opened for the window: the platform named by
// -platform or QT_QPA_PLATFORM answers (offscreen and other platforms without
// a display server always do), or, with none named, an X server or a Wayland
// compositor is there.
bool DisplayAvailable(const QStringList &arguments);
