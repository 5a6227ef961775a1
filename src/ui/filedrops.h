#pragma once

class QMimeData;
class QWidget;

// True when the drag carries at least one local file or folder.
bool CarriesLocalFiles(const QMimeData *data);

// Files dragged over the widget are not its business: the drag goes on to the
// first of its parents that takes drops, as if the widget took none. An edit
// box would otherwise take a dropped file's path as text. Drags of anything
// else stay with the widget.
void PassFileDropsOn(QWidget *widget);
