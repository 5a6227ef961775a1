#pragma once

#include <QString>

// A whole number of at least 1 (a usable frame width or height): decimal
// digits with an optional sign and blanks around them, within 32 bits.
bool IsFrameDimension(const QString &text);
