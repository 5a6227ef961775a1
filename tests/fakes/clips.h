#pragma once
// Clips made by the real engine, a look at them with ffprobe, and a wait that
// keeps the event loop running. Shared by the tests that use the real engine.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <functional>

// Processes events until the condition holds or the time is up.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

// Runs the engine quietly with these arguments and the output last; true
// when the output holds something. The container follows the output's name.
inline bool runEngine(const QStringList &arguments, const QString &output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VANTORIX_FFMPEG), QStringList{"-hide_banner", "-loglevel", "error", "-y"} + arguments
                                                       + QStringList{output});
    process.waitForFinished(60000);
    return QFileInfo(output).size() > 0;
}

// A clip with a test picture (MPEG-4 video) of the given size and a tone.
inline bool makeClip(const QString &path, double seconds, const QString &size = QStringLiteral("320x240"))
{
    return runEngine({"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=25", "-f", "lavfi", "-i",
                      "sine=frequency=440", "-t", QString::number(seconds), "-c:v", "mpeg4", "-c:a", "mp2"},
                     path);
}

// A file with a tone only.
inline bool makeSoundOnly(const QString &path, double seconds)
{
    return runEngine({"-f", "lavfi", "-i", "sine=frequency=440", "-t", QString::number(seconds), "-c:a", "mp2"},
                     path);
}

// The values ffprobe shows for these entries, one a line, without their keys.
inline QString ffprobeValues(const QString &path, const QString &entries)
{
    QProcess process;
    process.start(QStringLiteral(VANTORIX_FFPROBE),
                  {"-v", "error", "-show_entries", entries, "-of", "default=noprint_wrappers=1:nokey=1", path});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
