#pragma once

#include <QString>

class QWidget;

// Puts a tip bubble on target: an icon (1 information, 2 warning, 3 error,
// anything else none), the title in bold and the text. The call shows nothing;
// the bubble shows whenever the pointer comes to rest over target and hides
// when it leaves, on a click or after a while. A second call with the same
// target, title and text adds nothing. The bubble goes with its target.
void AttachBalloonTip(QWidget *target, int icon, const QString &title, const QString &text);
