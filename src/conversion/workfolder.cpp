#include "conversion/workfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder is made under this name, locked, then renamed to its working
// name: a folder under the working name always holds a lock file.
const QString MakingPrefix = QStringLiteral(".vantorix-make-");
constexpr char LockName[] = ".lock";
constexpr int MakeAttempts = 64;
// Our folders hold one level of folders; anything deeper is not ours to walk.
constexpr int MaxDepth = 4;

// The texts a person reads, translated in this file's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(WorkFolder)
};

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray nativeName(const QString &name)
{
    return QFile::encodeName(name);
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens `name` in `dirFd` as a directory, never through a link.
int openFolderAt(int dirFd, const char *name)
{
    return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names in a folder (without "." and "..").
QList<QByteArray> entriesOf(int dirFd)
{
    QList<QByteArray> names;
    const int copy = ::dup(dirFd);
    if (copy < 0)
        return names;
    DIR *dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    return names;
}

// Removes everything in a folder, links as links.
void removeContents(int dirFd, int depth = 0)
{
    for (const QByteArray &name : entriesOf(dirFd)) {
        if (::unlinkat(dirFd, name.constData(), 0) == 0 || (errno != EISDIR && errno != EPERM) || depth >= MaxDepth)
            continue;
        const int sub = openFolderAt(dirFd, name.constData());
        if (sub < 0)
            continue;
        removeContents(sub, depth + 1);
        ::close(sub);
        ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
    }
}

// Removes the folder `fd`, found as `name` in `parentFd`, with what it holds;
// only while that name still leads to it.
void removeFolder(int parentFd, const QByteArray &name, int fd)
{
    removeContents(fd);
    struct stat own{};
    struct stat named{};
    if (::fstat(fd, &own) == 0 && ::fstatat(parentFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && sameFile(own, named))
        ::unlinkat(parentFd, name.constData(), AT_REMOVEDIR);
}

// The folders this process holds. A look at one of them never touches its
// lock file: where locks are emulated per process (NFS), closing any
// descriptor of the file would let the lock go.
QMutex heldMutex;
QSet<QPair<dev_t, ino_t>> held;

void setHeld(const struct stat &folder, bool isHeld)
{
    const QMutexLocker locker(&heldMutex);
    if (isHeld)
        held.insert({folder.st_dev, folder.st_ino});
    else
        held.remove({folder.st_dev, folder.st_ino});
}

bool isHeldHere(const struct stat &folder)
{
    const QMutexLocker locker(&heldMutex);
    return held.contains({folder.st_dev, folder.st_ino});
}

// Whether the folder is a run's that is gone: its lock can be taken, or it
// has none. A folder that is not ours (or that we cannot look into) is not.
bool isAbandoned(int fd)
{
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || isHeldHere(info))
        return false;
    const int lock = ::openat(fd, LockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (lock < 0)
        return errno == ENOENT || errno == ELOOP;
    // Taken only for the look: a lock that is free now stays free, since its
    // owner is gone and nobody takes a folder over.
    const bool free = ::flock(lock, LOCK_EX | LOCK_NB) == 0;
    ::close(lock);
    return free;
}

int sweep(int outputFd)
{
    int removed = 0;
    for (const QByteArray &name : entriesOf(outputFd)) {
        if (!name.startsWith(WorkFolder::NamePrefix.toLatin1()) && !name.startsWith(MakingPrefix.toLatin1()))
            continue;
        const int fd = openFolderAt(outputFd, name.constData());
        if (fd < 0)
            continue; // a link or a file under the name: never followed, never ours
        if (isAbandoned(fd)) {
            removeFolder(outputFd, name, fd);
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}

// Renames a folder to a name nothing stands at. Where the file system cannot
// say so in one step (RENAME_NOREPLACE), the name is looked at first; only
// this program makes names of the kind, at random.
bool renameToFreeName(int dirFd, const char *from, const char *to)
{
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat there{};
    if (::fstatat(dirFd, to, &there, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(dirFd, from, dirFd, to) == 0;
}

QString randomSuffix()
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(Letters[QRandomGenerator::system()->bounded(int(sizeof Letters) - 1)]);
    return suffix;
}

// The components of a path, without empty ones.
QStringList components(const QString &path)
{
    return QDir::fromNativeSeparators(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

qsizetype workComponent(const QString &path)
{
    const QStringList parts = components(path);
    for (qsizetype i = parts.size() - 1; i >= 0; --i) {
        if (parts[i].startsWith(WorkFolder::NamePrefix))
            return i;
    }
    return -1;
}

} // namespace

std::unique_ptr<WorkFolder> WorkFolder::create(const QString &outputFolder, QString *error)
{
    return create(outputFolder, QString(), error);
}

std::unique_ptr<WorkFolder> WorkFolder::create(const QString &outputFolder, const QString &subfolders, QString *error)
{
    const auto fail = [&](const QString &why) -> std::unique_ptr<WorkFolder> {
        if (error)
            *error = why;
        return nullptr;
    };
    std::unique_ptr<WorkFolder> folder(new WorkFolder);
    folder->m_outputFolder = outputFolder;
    folder->m_outputFd = ::open(nativeName(outputFolder.isEmpty() ? QStringLiteral(".") : outputFolder).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder->m_outputFd < 0)
        return fail(Texts::tr("The output folder %1 cannot be opened: %2.")
                        .arg(QDir::toNativeSeparators(outputFolder), errorText(errno)));
    for (const QString &part : components(subfolders)) {
        const QString parent = folder->m_outputFolder.isEmpty() ? QStringLiteral(".") : folder->m_outputFolder;
        folder->m_outputFolder = (parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/')) + part;
        const QString made = QDir::toNativeSeparators(folder->m_outputFolder);
        const QByteArray name = nativeName(part);
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return fail(Texts::tr("The output folder %1 is not below %2.").arg(made, QDir::toNativeSeparators(outputFolder)));
        if (::mkdirat(folder->m_outputFd, name.constData(), 0777) != 0 && errno != EEXIST)
            return fail(Texts::tr("The output folder %1 cannot be made: %2.").arg(made, errorText(errno)));
        const int next = openFolderAt(folder->m_outputFd, name.constData());
        if (next < 0)
            return fail(errno == ELOOP || errno == ENOTDIR
                            ? Texts::tr("%1 is a link or a file, not a folder: no output is written through it.").arg(made)
                            : Texts::tr("The output folder %1 cannot be opened: %2.").arg(made, errorText(errno)));
        ::close(folder->m_outputFd);
        folder->m_outputFd = next;
    }
    const QString shown = QDir::toNativeSeparators(folder->m_outputFolder);
    sweep(folder->m_outputFd);

    const int outFd = folder->m_outputFd;
    int lastError = 0;
    for (int attempt = 0; attempt < MakeAttempts; ++attempt) {
        const QString suffix = randomSuffix();
        const QByteArray making = nativeName(MakingPrefix + suffix);
        const QByteArray working = nativeName(NamePrefix + suffix);
        if (::mkdirat(outFd, making.constData(), 0700) != 0) {
            lastError = errno;
            if (errno == EEXIST)
                continue;
            break;
        }
        int fd = openFolderAt(outFd, making.constData());
        int lock = -1;
        bool made = false;
        struct stat info{};
        struct stat lockInfo{};
        struct stat named{};
        if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
            && ::fchmod(fd, 0700) == 0) {
            lock = ::openat(fd, LockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            // Renamed only once locked, and checked after: the working name
            // leads to this folder, and its lock file is the one we hold.
            made = lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0
                   && renameToFreeName(outFd, making.constData(), working.constData())
                   && ::fstat(lock, &lockInfo) == 0 && ::fstatat(fd, LockName, &named, AT_SYMLINK_NOFOLLOW) == 0
                   && sameFile(lockInfo, named) && ::fstatat(outFd, working.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
                   && sameFile(info, named);
        }
        lastError = errno;
        if (made) {
            setHeld(info, true);
            folder->m_fd = fd;
            folder->m_lockFd = lock;
            folder->m_name = NamePrefix + suffix;
            break;
        }
        if (fd >= 0) {
            removeFolder(outFd, making, fd);
            removeFolder(outFd, working, fd);
            ::close(fd);
        }
        if (lock >= 0)
            ::close(lock);
    }
    if (folder->m_fd < 0)
        return fail(Texts::tr("No work folder can be made in %1: %2.").arg(shown, errorText(lastError)));

    folder->m_path = QDir(folder->m_outputFolder.isEmpty() ? QStringLiteral(".") : folder->m_outputFolder)
                         .absoluteFilePath(folder->m_name);
    // The engine reaches the folder through our descriptor where /proc shows
    // it: a name swapped in the output folder meanwhile is not looked at.
    folder->m_anchor = folder->m_path;
    const QString anchor = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(folder->m_fd);
    struct stat own{};
    struct stat seen{};
    if (::fstat(folder->m_fd, &own) == 0 && ::stat(nativeName(anchor).constData(), &seen) == 0 && sameFile(own, seen))
        folder->m_anchor = anchor;
    return folder;
}

int WorkFolder::SweepAbandoned(const QString &outputFolder)
{
    const int fd = ::open(nativeName(outputFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const int removed = sweep(fd);
    ::close(fd);
    return removed;
}

bool WorkFolder::IsWorkPath(const QString &path)
{
    return workComponent(path) >= 0;
}

QString WorkFolder::OutputFolderOf(const QString &workPath)
{
    const qsizetype index = workComponent(workPath);
    if (index < 0)
        return QString();
    const QString joined = components(workPath).mid(0, index).join(QLatin1Char('/'));
    return QDir::fromNativeSeparators(workPath).startsWith(QLatin1Char('/')) ? QLatin1Char('/') + joined : joined;
}

WorkFolder::~WorkFolder()
{
    if (m_fd >= 0) {
        removeFolder(m_outputFd, nativeName(m_name), m_fd);
        struct stat info{};
        if (::fstat(m_fd, &info) == 0)
            setHeld(info, false);
        ::close(m_fd);
    }
    // The lock goes last: until the folder is gone, nobody else removes it.
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    if (m_outputFd >= 0)
        ::close(m_outputFd);
}

QString WorkFolder::workPathFor(const QString &finalPath) const
{
    Slot slot{QFileInfo(finalPath).fileName(), QString()};
    if (slot.name.isEmpty())
        return QString();
    const bool taken = std::any_of(m_slots.cbegin(), m_slots.cend(), [&](const Slot &used) { return used.name == slot.name; });
    if (taken) {
        // A second user of one name gets a folder of its own, so the file
        // keeps the final name and nothing is shared.
        slot.subdir = QString::number(++m_subdirs);
        if (::mkdirat(m_fd, nativeName(slot.subdir).constData(), 0700) != 0)
            return QString();
    }
    const QString path = enginePath(slot);
    m_slots.insert(path, slot);
    return path;
}

QString WorkFolder::enginePath(const Slot &slot) const
{
    QString path = m_anchor + QLatin1Char('/');
    if (!slot.subdir.isEmpty())
        path += slot.subdir + QLatin1Char('/');
    return path + slot.name;
}

int WorkFolder::openSlotFolder(const Slot &slot) const
{
    return slot.subdir.isEmpty() ? ::dup(m_fd) : openFolderAt(m_fd, nativeName(slot.subdir).constData());
}

QString WorkFolder::commit(const QString &workPath, const QString &finalPath)
{
    const auto found = m_slots.constFind(workPath);
    if (found == m_slots.cend())
        return Texts::tr("The output was not written in this run's work folder.");
    const Slot slot = *found;
    const QFileInfo final(finalPath);
    const QString finalName = final.fileName();
    if (finalName.isEmpty() || QDir(final.absolutePath()) != QDir(QFileInfo(m_path).absolutePath()))
        return Texts::tr("%1 is not in the output folder %2.")
            .arg(QDir::toNativeSeparators(finalPath), QDir::toNativeSeparators(m_outputFolder));

    const int dirFd = openSlotFolder(slot);
    if (dirFd < 0)
        return Texts::tr("The engine's work folder is gone: %1.").arg(errorText(errno));
    const QByteArray name = nativeName(slot.name);
    QString reason;
    const int file = ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat info{};
    if (file < 0)
        reason = errno == ENOENT ? Texts::tr("The engine wrote no output.")
                 : errno == ELOOP ? Texts::tr("The output is a link, not a file.")
                                  : Texts::tr("The output cannot be read: %1.").arg(errorText(errno));
    else if (::fstat(file, &info) != 0)
        reason = Texts::tr("The output cannot be read: %1.").arg(errorText(errno));
    else if (!S_ISREG(info.st_mode))
        reason = Texts::tr("The output is not a regular file.");
    else if (info.st_uid != ::geteuid() || info.st_nlink != 1)
        reason = Texts::tr("The output is not the engine's own file.");
    else if (info.st_size == 0)
        reason = Texts::tr("The output is empty.");
    // rename(2) swaps the directory entry in one step: whatever stood under
    // the final name (a file, a hard or symbolic link) is replaced, and its
    // data, or a link's target, is left alone.
    else if (::renameat(dirFd, name.constData(), m_outputFd, nativeName(finalName).constData()) != 0)
        reason = Texts::tr("The output could not be saved as %1: %2.").arg(finalName, errorText(errno));
    if (file >= 0)
        ::close(file);
    ::close(dirFd);
    if (reason.isEmpty())
        release(workPath);
    return reason;
}

void WorkFolder::discard(const QString &workPath)
{
    const auto found = m_slots.constFind(workPath);
    if (found == m_slots.cend())
        return;
    const int dirFd = openSlotFolder(*found);
    if (dirFd >= 0) {
        ::unlinkat(dirFd, nativeName(found->name).constData(), 0);
        ::close(dirFd);
    }
    release(workPath);
}

void WorkFolder::release(const QString &workPath)
{
    const Slot slot = m_slots.take(workPath);
    if (!slot.subdir.isEmpty())
        ::unlinkat(m_fd, nativeName(slot.subdir).constData(), AT_REMOVEDIR);
}

std::shared_ptr<WorkFolder> WorkFolders::folderFor(const QString &outputFolder, const QString &subfolders,
                                                   QString *error)
{
    const QString key = outputFolder + QLatin1Char('\n') + subfolders;
    auto found = m_folders.find(key);
    if (found == m_folders.end()) {
        Made made;
        made.folder = WorkFolder::create(outputFolder, subfolders, &made.error);
        found = m_folders.insert(key, made);
    }
    if (error)
        *error = found->error;
    return found->folder;
}
