#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

class QApplication;

// The program's orange look for every window, dialog and standard control:
// one application style, built in, that draws with the orange palette on
// every platform (a native style would keep the system's colours), with the
// palette as the application's and the tips'. It changes colours only, never
// sizes or margins, so windows laid out to the pixel keep their layout; that
// is also why there is no application style sheet: with any style sheet at
// all, Qt's sheet engine lays out group boxes differently (the Parameters
// box's content moves by a pixel). Applied once, before the first window.
void ApplyOrangeStyle(QApplication &application);

// The orange palette: every text colour stands out from the background it is
// drawn on by a contrast of at least 4.5:1 (disabled text aside).
QPalette OrangePalette();

// The contrast ratio of two colours as the WCAG defines it, 1 to 21.
double ContrastRatio(const QColor &a, const QColor &b);
