#pragma once

#include "conversion/taskrecord.h"

#include <QString>

// The three per-task output settings as the output grid shows them.
struct OutputSettings
{
    QString newFilename; // "New Filename": name and extension
    QString startTime;   // "Start Time"
    QString endTime;     // "End Time"
};

// The settings a task shows: its new name followed by the loaded profile's
// extension, and its chosen start and end.
OutputSettings OutputSettingsOf(const ltvItemData &task, const QString &outputExt);

// The task with the edited settings checked and stored: the name and its
// extension, and the start and end when they are times inside the limits
// (start before the input's end and before the end; end after 0, the start and
// the input's start). A time that is not one, or outside the limits, keeps the
// task's previous value. The clip length follows from the stored times.
ltvItemData ApplyOutputSettings(const ltvItemData &task, const OutputSettings &edited);
