#include "ui/outputsettings.h"

#include "ui/tasklistops.h"

OutputSettings OutputSettingsOf(const ltvItemData &task, const QString &outputExt)
{
    return {task.NewName + outputExt, task.StartText, task.EndText};
}

namespace {

// The extension of a typed name: from its last point on, when that point lies
// in the file-name part.
QString typedExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    qsizetype folderEnd = -1;
    for (const QChar separator : {QLatin1Char('\\'), QLatin1Char(':'), QLatin1Char('/')})
        folderEnd = std::max(folderEnd, name.lastIndexOf(separator));
    return dot > folderEnd ? name.mid(dot) : QString();
}

} // namespace

ltvItemData ApplyOutputSettings(const ltvItemData &task, const OutputSettings &edited)
{
    ltvItemData result = task;
    const QString extension = typedExtension(edited.newFilename);
    result.NewName = extension.isEmpty() ? edited.newFilename
                                         : edited.newFilename.left(edited.newFilename.size() - extension.size());
    result.NewExt = extension;

    double start = TimeTextToSeconds(edited.startTime);
    double end = TimeTextToSeconds(edited.endTime);
    if (start == -1)
        start = task.StartSecs;
    if (end == -1)
        end = task.EndSecs;
    if (start < 0 || start >= end || start >= task.OrigEndSecs)
        start = task.StartSecs;
    if (end <= 0 || end <= start || end <= task.OrigStartSecs)
        end = task.EndSecs;

    // A task whose length the probe could not read has no valid times to fall
    // back on: its range stays as it was rather than becoming a negative time.
    if (start < 0 || end <= start)
        return result;

    result.StartText = SecondsToTimeText(start);
    result.EndText = SecondsToTimeText(end);
    result.ClipLengthText = SecondsToTimeText(end - start);
    result.StartSecs = start;
    result.EndSecs = end;
    result.ClipLengthSecs = end - start;
    return result;
}
