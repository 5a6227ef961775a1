#include "conversion/tasklistops.h"

#include "platform/filenames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <QCoreApplication>
#include <QSet>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QStringList InputExts()
{
    // The eight types of old first, as the open dialog has always listed them,
    // then today's containers.
    return {QStringLiteral(".avi"), QStringLiteral(".mpg"), QStringLiteral(".mpeg"), QStringLiteral(".mp4"),
            QStringLiteral(".wmv"), QStringLiteral(".mov"), QStringLiteral(".vob"), QStringLiteral(".asf"),
            QStringLiteral(".mkv"), QStringLiteral(".webm"), QStringLiteral(".m4v"), QStringLiteral(".ts"),
            QStringLiteral(".m2ts"), QStringLiteral(".mts"), QStringLiteral(".3gp"), QStringLiteral(".flv"),
            QStringLiteral(".ogv"), QStringLiteral(".mxf")};
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

QString ListingProblems::message() const
{
    if (folders.isEmpty())
        return QString();
    QStringList lines;
    for (const SkippedFolder &folder : folders)
        lines << QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(folder.path), folder.reason);
    return QCoreApplication::translate("ListFolder", "These folders were skipped:\n%1").arg(lines.join(QLatin1Char('\n')));
}

namespace {

bool nameLess(const QString &a, const QString &b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

// Walks a folder by the names' bytes: a listing by text would turn a name
// that is not UTF-8 into one that names no file, and drop it without a word.
// Each folder is opened relative to its parent's descriptor, and a link is
// looked at only when the entry's type does not tell already, so a large tree
// costs one open per folder and nearly no stat per file.
class FolderLister
{
public:
    FolderLister(bool recursive, ListingProblems *problems)
        : m_exts(InputExts())
        , m_recursive(recursive)
        , m_problems(problems)
    {
    }

    void list(int parentFd, const QByteArray &name, const QString &path)
    {
        const int fd = ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            skip(path, QCoreApplication::translate("ListFolder", "it cannot be read: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        struct stat info = {};
        ::fstat(fd, &info);
        const Id id{quint64(info.st_dev), quint64(info.st_ino)};
        if (m_open.contains(id)) {
            ::close(fd);
            skip(path, QCoreApplication::translate("ListFolder", "a link back into a folder that holds it"));
            return;
        }
        if (m_seen.contains(id)) {
            ::close(fd); // reached before through another link: listed once
            return;
        }
        m_seen.insert(id);
        DIR *dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        QStringList files;
        QList<QPair<QString, QByteArray>> folders;
        const QString prefix = AddTrailingSeparator(path);
        const QByteArray rawPrefix = QFile::encodeName(prefix);
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray raw(entry->d_name);
            if (raw.startsWith('.'))
                continue; // hidden, and the folder itself and its parent
            bool isFile = entry->d_type == DT_REG;
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat target = {};
                if (::fstatat(fd, raw.constData(), &target, 0) != 0)
                    continue; // a link that leads nowhere
                isFile = S_ISREG(target.st_mode);
                isFolder = S_ISDIR(target.st_mode);
            }
            if (!isFile && !(isFolder && m_recursive))
                continue;
            const QString entryName = QFile::decodeName(raw);
            if (isFile && !HasInputExt(entryName, m_exts))
                continue;
            if (!IsNameable(raw)) {
                m_problems->unnamable << rawPrefix + raw;
                continue;
            }
            if (isFile)
                files << entryName;
            else
                folders.append({entryName, raw});
        }
        std::sort(files.begin(), files.end(), nameLess);
        std::sort(folders.begin(), folders.end(), [](const auto &a, const auto &b) { return nameLess(a.first, b.first); });
        for (const QString &file : std::as_const(files))
            m_paths << prefix + file;
        m_open.insert(id);
        for (const auto &[folderName, raw] : std::as_const(folders))
            list(fd, raw, prefix + folderName);
        m_open.remove(id);
        ::closedir(dir);
    }

    QStringList takePaths() { return std::move(m_paths); }

private:
    using Id = QPair<quint64, quint64>;

    void skip(const QString &path, const QString &reason) { m_problems->folders.append({path, reason}); }

    const QStringList m_exts;
    const bool m_recursive;
    ListingProblems *m_problems;
    QSet<Id> m_open; // the folders being listed: the current one and those that hold it
    QSet<Id> m_seen;
    QStringList m_paths;
};

} // namespace

QStringList ListFolder(const QString &folder, bool recursive, ListingProblems *problems)
{
    ListingProblems ignored;
    FolderLister lister(recursive, problems ? problems : &ignored);
    const QString path = folder.size() > 1 && folder.endsWith(QLatin1Char('/')) ? folder.chopped(1) : folder;
    lister.list(AT_FDCWD, QFile::encodeName(path.isEmpty() ? QStringLiteral(".") : path), path);
    return lister.takePaths();
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
