#pragma once

#include <QString>

#include <optional>

class QWidget;

// Lets the user choose a folder in the toolkit's folder chooser. The chooser
// is modal to the whole program and shows title as its caption. The chosen
// folder's file-system path, or nothing when the user cancels.
std::optional<QString> PickFolder(QWidget *owner, const QString &title);

// Puts a tip bubble on target: an icon (1 information, 2 warning, 3 error,
// anything else none), the title in bold and the text. The call shows nothing;
// the bubble shows whenever the pointer comes to rest over target and hides
// when it leaves, on a click or after a while. A second call with the same
// target, title and text adds nothing. The bubble goes with its target.
void AttachBalloonTip(QWidget *target, int icon, const QString &title, const QString &text);
