#pragma once
// Shared by the benchmarks: medians, the engine run the plain way, clips made
// by the engine, and a fresh copy of the program folder.
#include "conversion/engineprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The engine run the plain way: start, drain the output, wait for the end.
// Milliseconds from the start to the end of the output.
// The program probes each output (in its work folder) before giving it its
// name: no command of the plain engine, so the direct side leaves it out and the
// comparison counts its cost.
inline bool isOutputCheck(const QStringList &command)
{
    const QString input = command.value(command.indexOf(QStringLiteral("-i")) + 1);
    return !command.contains(QStringLiteral("-y"))
           && (input.contains(QStringLiteral("/.vantorix-work-")) || input.startsWith(QStringLiteral("/proc/")));
}

// A conversion the program started, run directly: its output, which the
// program's engine wrote in the run's work folder (gone with the run), goes
// to `folder` under its own name.
inline QStringList directCommand(QStringList command, const QString &folder)
{
    if (command.size() > 1)
        command.last() = QDir(folder).filePath(QFileInfo(command.last()).fileName());
    return command;
}

inline double runDirect(const QString &engine, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    ConfigureEngineProcess(process); // the same channels as the program's runs
    process.start(engine, arguments, QIODevice::ReadOnly);
    process.waitForStarted(-1);
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(-1);
        process.readAll();
    }
    process.readAll();
    return clock.nsecsElapsed() / 1e6;
}

// A figure of /proc/PID/status in kB, such as "VmRSS" (the resident memory),
// "VmHWM" (its peak) or "RssAnon" (the resident memory of its own, not pages of
// files such as shared libraries, which other processes map too); -1 when the
// process is gone.
inline qint64 statusKb(qint64 pid, const QByteArray &key)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The command line of a process; empty when it is gone.
inline QStringList commandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList command;
    const QList<QByteArray> parts = file.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        command << QString::fromLocal8Bit(parts[i]);
    return command;
}

// The processes a process has started and that still run.
inline QList<qint64> childProcesses(qint64 pid)
{
    QList<qint64> children;
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray &text : file.readAll().simplified().split(' '))
            if (text.toLongLong() > 0)
                children << text.toLongLong();
    return children;
}

// Whether a command is a conversion (an engine started with -y), of `engine`
// when one is named. Until its exec a child still shows its parent's command.
inline bool isConversion(const QStringList &command, const QString &engine = QString())
{
    return !command.isEmpty() && (engine.isEmpty() || command.first() == engine)
           && command.contains(QStringLiteral("-y"));
}

// Whether a child of `pid` runs a conversion.
inline bool conversionRuns(qint64 pid, const QString &engine = QString())
{
    const QList<qint64> children = childProcesses(pid);
    return std::any_of(children.begin(), children.end(),
                       [&](qint64 child) { return isConversion(commandLine(child), engine); });
}

// A second name for `file` at `link`: a hard link where the file system has
// them, else a copy.
inline bool linkOrCopy(const QString &file, const QString &link)
{
    return ::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()) == 0
           || QFile::copy(file, link);
}

// The batch mode as a machine without a display runs it: no display named,
// its output discarded.
inline void prepareHeadlessBatch(QProcess &process)
{
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
}

// A clip made by the engine: the test picture at `size`, with a tone unless
// `withSound` is false, in an AVI file (MPEG-4 video, MP2 sound).
inline bool makeClip(const QString &engine, const QString &path, int seconds, const QString &size,
                     bool withSound = true)
{
    QStringList arguments = {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                             QStringLiteral("testsrc=size=%1:rate=25").arg(size)};
    if (withSound)
        arguments << QStringList{"-f", "lavfi", "-i", "sine=frequency=440"};
    arguments << QStringList{"-t", QString::number(seconds), "-c:v", "mpeg4"};
    if (withSound)
        arguments << QStringList{"-c:a", "mp2"};
    arguments << QStringList{"-f", "avi", path};
    runDirect(engine, arguments);
    return QFileInfo(path).size() > 0;
}

// `count` clips "clip 1.avi", "clip 2.avi", ... in folder; empty when one
// could not be made.
inline QStringList makeClips(const QString &engine, const QString &folder, int count, int seconds,
                             const QString &size)
{
    QDir().mkpath(folder);
    QStringList clips;
    for (int i = 1; i <= count; ++i) {
        const QString clip = QDir(folder).filePath(QStringLiteral("clip %1.avi").arg(i));
        if (!makeClip(engine, clip, seconds, size))
            return {};
        clips << clip;
    }
    return clips;
}

// `count` copies of `clip` in `folder`, named `stem`000.avi, `stem`001.avi, ...
inline QStringList copyClip(const QString &clip, const QString &folder, const QString &stem, int count)
{
    QDir().mkpath(folder);
    QStringList copies;
    for (int i = 0; i < count; ++i) {
        const QString copy = QDir(folder).filePath(stem + QStringLiteral("%1.avi").arg(i, 3, 10, QLatin1Char('0')));
        QFile::remove(copy);
        if (QFile::copy(clip, copy))
            copies << copy;
    }
    return copies;
}

// A fresh program folder at `target` made from the built one: the executable
// (unless a window is made in-process), the engine (a link stays a link), the
// profiles and the manual.
inline bool copyProgramFolder(const QString &built, const QString &target, bool withExecutable = true)
{
    const QDir from(built);
    QDir to(target);
    if (!to.mkpath(QStringLiteral("Profiles")))
        return false;
    if (withExecutable
        && !QFile::copy(from.filePath(QStringLiteral("vantorix")), to.filePath(QStringLiteral("vantorix"))))
        return false;
    const QFileInfo engine(from.filePath(QStringLiteral("wmaspi.dll")));
    const bool engineCopied = engine.isSymLink()
        ? QFile::link(engine.symLinkTarget(), to.filePath(QStringLiteral("wmaspi.dll")))
        : QFile::copy(engine.filePath(), to.filePath(QStringLiteral("wmaspi.dll")));
    if (!engineCopied)
        return false;
    const QDir profiles(from.filePath(QStringLiteral("Profiles")));
    for (const QString &name : profiles.entryList({QStringLiteral("*.apf")}, QDir::Files))
        QFile::copy(profiles.filePath(name), to.filePath(QStringLiteral("Profiles/") + name));
    if (from.exists(QStringLiteral("Vantorix.html")))
        QFile::copy(from.filePath(QStringLiteral("Vantorix.html")), to.filePath(QStringLiteral("Vantorix.html")));
    return true;
}

// How busy other programs kept the cores while a benchmark ran: the machine's
// busy time from /proc/stat less the CPU time of this process and of its
// children that have ended. Figures taken beside a compiler are not this
// program's.
class OtherLoad final
{
public:
    OtherLoad()
        : m_busyMs(machineBusyMs())
        , m_ownMs(ownMs())
    {
        m_clock.start();
    }

    // The share of all cores, from 0 to 1.
    double share() const
    {
        const double available = m_clock.nsecsElapsed() / 1e6 * cores();
        const double other = (machineBusyMs() - m_busyMs) - (ownMs() - m_ownMs);
        return available > 0 ? std::clamp(other / available, 0.0, 1.0) : 0.0;
    }

    void print() const
    {
        std::printf("  (meanwhile other programs kept %.0f%% of the %d cores busy)\n", share() * 100, cores());
    }

private:
    static int cores() { return std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN))); }

    static double machineBusyMs()
    {
        QFile stat(QStringLiteral("/proc/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            return 0;
        // cpu user nice system idle iowait irq softirq steal ...
        const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
        double ticks = 0;
        for (int i : {1, 2, 3, 6, 7, 8})
            ticks += fields.value(i).toDouble();
        return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    static double ownMs()
    {
        const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
        double total = 0;
        for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
            rusage usage{};
            getrusage(who, &usage);
            total += ms(usage.ru_utime) + ms(usage.ru_stime);
        }
        return total;
    }

    double m_busyMs;
    double m_ownMs;
    QElapsedTimer m_clock;
};
