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
