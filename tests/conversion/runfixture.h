#pragma once

#include "conversion/conversionrun.h"

#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakeview.h"

#include <QDir>
#include <QSignalSpy>
#include <gtest/gtest.h>

// A batch against the fake engine, with every window service recorded.
class ConversionRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        view.folder = folder.filePath(QStringLiteral("out"));
        QDir().mkpath(view.folder);
        run.setEnginePath(folder.enginePath());
    }

    // A task of `length` seconds whose range may be narrowed to start..end.
    void addTask(const QString &name, const QString &length = QStringLiteral("00:00:10"),
                 const QString &start = QStringLiteral("00:00:00.0"), const QString &end = QString())
    {
        ltvItemData task;
        task.InputFile = folder.filePath(name + QStringLiteral(".avi"));
        task.LengthText = length;
        task.SizeText = QStringLiteral(" 320x240");
        task.StatusText = QStringLiteral("OK");
        task.NewName = name;
        task.NewExt = QStringLiteral(".mp4");
        task.OrigStartText = QStringLiteral("00:00:00.0");
        task.OrigEndText = length;
        task.StartText = start;
        task.EndText = end.isEmpty() ? length : end;
        const double clip = TimeTextToSeconds(task.EndText) - TimeTextToSeconds(start);
        task.ClipLengthText = end.isEmpty() && start == task.OrigStartText ? length : SecondsToTimeText(clip);
        // Something the fake engine converts into an output of that length.
        ASSERT_TRUE(WriteFakeMedia(task.InputFile, length));
        tasks.appendTask(task);
    }

    // Runs the batch and waits for its end.
    void runBatch(const QString &params = QString(), int timeoutMs = 20000)
    {
        QSignalSpy finished(&run, &ConversionRun::finished);
        run.RunConversion(params);
        ASSERT_TRUE(finished.count() == 1 || finished.wait(timeoutMs)) << "the batch did not end";
    }

    QString status(int row) const { return tasks.index(row, 3).data().toString(); }
    QString tip(int row) const { return tasks.index(row, 3).data(Qt::ToolTipRole).toString(); }
    // The engine of start number `call` wrote the output `name` of the output
    // folder in the run's work folder.
    bool wroteWorkFileFor(int call, const QString &name) const
    {
        return IsWorkFileFor(folder.arguments(call).value(folder.arguments(call).size() - 1),
                             view.folder + QLatin1Char('/') + name);
    }

    TestProgramFolder folder;
    TaskListModel tasks;
    FakeView view;
    RecordingInteractive interactive;
    RecordingShell shell;
    RecordingPowerControl power;
    ConversionRun run{tasks, view, interactive, shell, power};
};
