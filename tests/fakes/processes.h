#pragma once

#include <QProcess>
#include <QString>

// Whether any process on the machine has `text` in its command line (its
// program path or an argument). A reaped process is no longer listed.
inline bool ProcessRunsWith(const QString &text)
{
    QProcess ps;
    ps.setProcessChannelMode(QProcess::MergedChannels);
    ps.start(QStringLiteral("ps"), {QStringLiteral("-eo"), QStringLiteral("args")});
    ps.waitForFinished(10000);
    return QString::fromUtf8(ps.readAll()).contains(text);
}

#include <QFile>

#include <sys/types.h>

// The state letter of /proc/PID/stat ('R' running, 'S' sleeping, 'T' stopped,
// 'Z' a zombie, ...); 'X' when there is no such process.
inline char ProcessState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 'X';
    const QByteArray text = stat.readAll();
    const qsizetype name = text.lastIndexOf(')');
    return name >= 0 && name + 2 < text.size() ? text[name + 2] : 'X';
}

// Whether the process is there and not yet ended (a zombie counts as ended:
// it waits only for a parent to take notice).
inline bool ProcessAlive(pid_t pid)
{
    const char state = ProcessState(pid);
    return state != 'Z' && state != 'X';
}

#include <QDir>

// The live processes that were started as `program` with `argument` among
// their arguments (e.g. the engine's conversions, which carry "-y").
inline QList<pid_t> FindProcesses(const QString &program, const QString &argument)
{
    QList<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&number));
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!number || !file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> parts = file.readAll().split('\0');
        if (parts.value(0) == program.toLocal8Bit() && parts.contains(argument.toLocal8Bit()) && ProcessAlive(pid))
            found << pid;
    }
    return found;
}

inline int CountProcesses(const QString &program, const QString &argument)
{
    return static_cast<int>(FindProcesses(program, argument).size());
}

// The process id and process group a fake engine wrote with its "pid" or
// "fork-sleeper" line; {0, 0} while the file is not there.
struct RecordedProcess
{
    pid_t pid = 0;
    pid_t group = 0;
};

inline RecordedProcess ReadRecordedProcess(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> parts = file.readAll().trimmed().split(' ');
    if (parts.size() != 2)
        return {};
    return {static_cast<pid_t>(parts[0].toInt()), static_cast<pid_t>(parts[1].toInt())};
}
