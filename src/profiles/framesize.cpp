#include "profiles/framesize.h"

bool IsFrameDimension(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok && value >= 1;
}
