#include "ui/tasklistops.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QStringList InputExts()
{
    return {QStringLiteral(".avi"), QStringLiteral(".mpg"), QStringLiteral(".mpeg"), QStringLiteral(".mp4"),
            QStringLiteral(".wmv"), QStringLiteral(".mov"), QStringLiteral(".vob"), QStringLiteral(".asf")};
}

QString InputMask(const QStringList &exts)
{
    QString mask;
    for (const QString &ext : exts)
        mask += QLatin1Char('*') + ext + QLatin1Char(';');
    return mask;
}

QString OpenDialogFilter(const QStringList &exts)
{
    QString filter;
    for (const QString &ext : exts) {
        const QString upper = ext.mid(1).toUpper();
        filter += upper + QStringLiteral(" Files (*") + ext + QStringLiteral(")|*") + ext + QLatin1Char('|');
    }
    const QString mask = InputMask(exts);
    return QStringLiteral("All Support Files(") + mask + QStringLiteral(")|") + mask + QLatin1Char('|') + filter
           + QStringLiteral("All Files (*.*)|*.*");
}

QStringList FilterEntries(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i];
    return entries;
}

bool HasInputExt(const QString &path, const QStringList &exts)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot).toLower();
    return !ext.isEmpty() && exts.contains(ext);
}

QString StripExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString AddTrailingSeparator(const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder;
    return folder + QDir::separator();
}

QStringList ListInputFiles(const QString &folder, const QStringList &exts)
{
    QStringList masks;
    for (const QString &ext : exts)
        masks << QLatin1Char('*') + ext;
    QDir dir(folder);
    // Name filters ignore letter case unless told otherwise; hidden files and
    // folders are left out by the filter itself.
    const QStringList names = dir.entryList(masks, QDir::Files, QDir::Name | QDir::IgnoreCase);
    QStringList paths;
    paths.reserve(names.size());
    const QString prefix = AddTrailingSeparator(folder);
    for (const QString &name : names)
        paths << prefix + name;
    return paths;
}

QStringList CommandLinePaths(const QStringList &arguments, QString *error)
{
    if (arguments.isEmpty())
        return {};
    const QString first = arguments.first();
    if (QFileInfo(first).suffix().toLower() != QLatin1String("tmp"))
        return arguments;

    QFile list(first);
    if (!list.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("The list file \"%1\" cannot be read: %2.").arg(first, list.errorString());
        return {};
    }
    QStringList paths;
    const QList<QByteArray> lines = list.readAll().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        // The line end is not part of the path (files written on Windows end
        // their lines with CR LF); blanks are.
        if (line.endsWith('\r'))
            line.chop(1);
        if (i + 1 == lines.size() && line.isEmpty())
            break;
        paths << QString::fromLocal8Bit(line);
    }
    return paths;
}
