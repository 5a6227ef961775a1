#pragma once
// Clips made by the real engine and a wait that keeps the event loop running.

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

inline bool runEngine(const QStringList &arguments, const QString &output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VANTORIX_FFMPEG), QStringList{"-hide_banner", "-loglevel", "error", "-y"} + arguments
                                                       + QStringList{output});
    process.waitForFinished(60000);
    return QFileInfo(output).size() > 0;
}

// A clip with a test picture (MPEG-4 video) and a tone.
inline bool makeClip(const QString &path, double seconds)
{
    return runEngine({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                      "sine=frequency=440", "-t", QString::number(seconds), "-c:v", "mpeg4", "-c:a", "mp2", "-f",
                      "avi"},
                     path);
}

// A file with a tone only.
inline bool makeSoundOnly(const QString &path, double seconds)
{
    return runEngine({"-f", "lavfi", "-i", "sine=frequency=440", "-t", QString::number(seconds), "-c:a", "mp2",
                      "-f", "avi"},
                     path);
}
