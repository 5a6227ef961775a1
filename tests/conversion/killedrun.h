#pragma once
// A work folder as a run that was killed leaves it: made by a process of its
// own (workfolder_holder) that wrote a work file and was then killed.

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <signal.h>

struct HeldWorkFolder
{
    QString folder;   // the work folder
    QString workFile; // the file the holder wrote in it
};

// Starts the holder on `out` and waits for it to name its folder; the
// process runs until its input ends or it is killed.
inline HeldWorkFolder StartHolder(QProcess &holder, const QString &out)
{
    holder.start(QStringLiteral(VANTORIX_WORKFOLDER_HOLDER), {out});
    QStringList lines;
    const QDeadlineTimer deadline(30000);
    while (lines.size() < 2 && (holder.canReadLine() || holder.waitForReadyRead(int(deadline.remainingTime())))) {
        while (holder.canReadLine())
            lines << QString::fromLocal8Bit(holder.readLine()).trimmed();
    }
    return {lines.value(0), lines.value(1)};
}

// The work file by its path in the folder: the one through the holder's
// descriptor went with the holder.
inline HeldWorkFolder KilledRunsFolder(const QString &out)
{
    QProcess holder;
    HeldWorkFolder held = StartHolder(holder, out);
    ::kill(pid_t(holder.processId()), SIGKILL);
    holder.waitForFinished(30000);
    held.workFile = held.folder + QLatin1Char('/') + held.workFile.section(QLatin1Char('/'), -1);
    return held;
}
