// The watched folder (vantorix --batch --watch, a process of its own, no
// display) measured from outside: the delay from the last write of a file
// into the folder (it is closed) to the start of its conversion engine, with
// --settle 1 and with the default settling time. Each file is written while
// the watch idles, one after another; the figure less the settling time is
// what the watch itself adds.
// Usage: watch_bench PROGRAM_FOLDER [ROUNDS]
#include "benchutil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

const QString ProfileName = QStringLiteral("MP4 H.264 AAC");

// Writes the clip into the watched folder and waits for the watch to start
// converting it; milliseconds from the file's close, negative when the watch
// ended or nothing started within the time.
double delayOf(QProcess &watch, const QString &engine, const QByteArray &clip, const QString &path, int withinMs)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(clip) != clip.size())
        return -1;
    file.close();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < withinMs && watch.state() == QProcess::Running) {
        if (conversionRuns(watch.processId(), engine))
            return clock.nsecsElapsed() / 1e6;
        QThread::msleep(5);
    }
    return -1;
}

// Waits until the watch has no engine left (the conversion ended).
void waitIdle(QProcess &watch)
{
    while (!childProcesses(watch.processId()).isEmpty())
        QThread::msleep(20);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: watch_bench PROGRAM_FOLDER [ROUNDS]\n");
        return 2;
    }
    const OtherLoad otherLoad;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QTemporaryDir work;
    const QString programFolder = work.filePath(QStringLiteral("program"));
    if (!copyProgramFolder(QString::fromLocal8Bit(argv[1]), programFolder)) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return 1;
    }
    const QString program = QDir(programFolder).filePath(QStringLiteral("vantorix"));
    const QString engine = QDir(programFolder).filePath(QStringLiteral("wmaspi.dll"));
    const QStringList clips = makeClips(engine, work.filePath(QStringLiteral("clips")), 1, 2,
                                        QStringLiteral("320x240"));
    if (clips.isEmpty()) {
        std::fprintf(stderr, "could not make the test clip\n");
        return 1;
    }
    QFile source(clips.first());
    source.open(QIODevice::ReadOnly);
    const QByteArray clip = source.readAll();

    struct Setting
    {
        const char *name;
        QStringList options;
        double settleMs;
        int rounds;
    };
    // The default takes ten seconds a file: fewer rounds.
    const Setting settings[] = {{"--settle 1", {"--settle", "1"}, 1000, rounds},
                                {"default (10 s)", {}, 10000, std::min(rounds, 3)}};
    for (const Setting &setting : settings) {
        const QString in = work.filePath(QStringLiteral("in %1").arg(setting.settleMs));
        const QString out = work.filePath(QStringLiteral("out %1").arg(setting.settleMs));
        QDir().mkpath(in);
        QDir().mkpath(out);
        QProcess watch;
        prepareHeadlessBatch(watch);
        watch.start(program, QStringList{"--batch", "-p", ProfileName, "-o", out, "--watch", in} + setting.options);
        if (!watch.waitForStarted(10000)) {
            std::fprintf(stderr, "the watch did not start\n");
            return 1;
        }
        std::vector<double> delays;
        for (int round = 0; round < setting.rounds; ++round) {
            const double ms = delayOf(watch, engine, clip, QDir(in).filePath(QStringLiteral("clip %1.avi").arg(round)),
                                      int(setting.settleMs) + 30000);
            if (ms < 0) {
                std::fprintf(stderr, "no conversion started for a file in the watched folder\n");
                return 1;
            }
            delays.push_back(ms);
            waitIdle(watch);
        }
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        watch.waitForFinished(60000);
        const double delay = median(delays);
        std::printf("watched folder, %s: last write to conversion start %.0f ms (median of %zu), "
                    "%.0f ms beyond the settling time (target < 1000)\n",
                    setting.name, delay, delays.size(), delay - setting.settleMs);
    }
    otherLoad.print();
    return 0;
}
