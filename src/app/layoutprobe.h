#pragma once

#include <QByteArray>

class QWidget;

// What a window shows, as JSON: its size and, for each visible widget with an
// object name, its place in the window; for a tree view also its viewport and
// the place of each shown column, for a label its text, the width that text
// needs and, for a percent label, the width "100%" needs.
QByteArray LayoutText(const QWidget &window);

// When the environment names a file in VANTORIX_LAYOUT_PROBE, LayoutText of
// `window` is written there each time the window has settled at a new size
// (and once it is first shown), so that a test driving the real window from
// outside can see where everything went. Off otherwise.
void InstallLayoutProbe(QWidget &window);
