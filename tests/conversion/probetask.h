#pragma once
// A task for a file as the task list learns it (FileProbe), waited for.

#include "conversion/inprocessprobe.h"
#include "conversion/mediaprobe.h"

#include <QSignalSpy>

inline ProbeReport probeAndWait(const QString &enginePath, const QString &path)
{
    FileProbe probe(enginePath, path);
    QSignalSpy done(&probe, &FileProbe::done);
    probe.launch(MediaProbe::DefaultTimeoutMs);
    if (!probe.isDone())
        done.wait(2 * MediaProbe::DefaultTimeoutMs + 5000);
    return probe.report();
}

// Read back from a row, so that the seconds values are those of the texts.
inline ltvItemData probeTask(const QString &enginePath, const QString &path, const QString &outputExt)
{
    TaskListModel tasks;
    const int row = tasks.appendTask(TaskFromProbe(path, probeAndWait(enginePath, path), outputExt));
    ltvItemData task;
    ReadItemData(tasks, row, WholeRowField, task);
    return task;
}
