#include "conversion/tasklistops.h"

#include "platform/filenames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

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
        filter += QCoreApplication::translate("TaskListOps", "%1 Files (*%2)").arg(upper, ext) + QStringLiteral("|*") + ext
                  + QLatin1Char('|');
    }
    const QString mask = InputMask(exts);
    return QCoreApplication::translate("TaskListOps", "All Support Files(%1)").arg(mask) + QLatin1Char('|') + mask
           + QLatin1Char('|') + filter + QCoreApplication::translate("TaskListOps", "All Files (*.*)")
           + QStringLiteral("|*.*");
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

QStringList ListInputFiles(const QString &folder, const QStringList &exts, QByteArrayList *unnamable)
{
    QStringList names;
#ifdef Q_OS_UNIX
    // Listed by the names' bytes: a listing by text would turn a name that is
    // not UTF-8 into one that names no file, and drop it without a word.
    const QByteArray prefix = QFile::encodeName(AddTrailingSeparator(folder));
    DIR *dir = ::opendir(prefix.constData());
    if (!dir)
        return {};
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw.startsWith('.'))
            continue; // hidden, and the folder itself and its parent
        struct stat info = {};
        if (::stat((prefix + raw).constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue; // ordinary files only, links to them included
        const QString name = QFile::decodeName(raw);
        if (!HasInputExt(name, exts))
            continue;
        if (!IsNameable(raw)) {
            if (unnamable)
                *unnamable << prefix + raw;
            continue;
        }
        names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
#else
    Q_UNUSED(unnamable)
    QStringList masks;
    for (const QString &ext : exts)
        masks << QLatin1Char('*') + ext;
    // Name filters ignore letter case unless told otherwise; hidden files and
    // folders are left out by the filter itself.
    names = QDir(folder).entryList(masks, QDir::Files, QDir::Name | QDir::IgnoreCase);
#endif
    QStringList paths;
    paths.reserve(names.size());
    const QString prefixText = AddTrailingSeparator(folder);
    for (const QString &name : std::as_const(names))
        paths << prefixText + name;
    return paths;
}

QStringList CommandLinePaths(const QStringList &arguments, QString *error, QByteArrayList *unnamable)
{
    if (arguments.isEmpty())
        return {};
    const QString first = arguments.first();
    if (QFileInfo(first).suffix().toLower() != QLatin1String("tmp"))
        return arguments;

    QFile list(first);
    if (!list.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QCoreApplication::translate("TaskListOps", "The list file \"%1\" cannot be read: %2.").arg(first, list.errorString());
        return {};
    }
    QStringList paths;
    const QList<QByteArray> lines = list.readAll().split('\n');
    for (QByteArray line : lines) {
        // The line end is not part of the path (files written on Windows end
        // their lines with CR LF); blanks are, but a line of blanks alone
        // names nothing.
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        if (!IsNameable(line)) {
            if (unnamable)
                *unnamable << line;
            continue;
        }
        paths << QFile::decodeName(line);
    }
    return paths;
}
