#include "platform/dirhandle.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Added to every open: no link followed, no terminal taken over, no wait on
// a pipe, nothing handed to the engine.
constexpr int SafeOpen = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

Refusal refusalOf(int error)
{
    switch (error) {
    case ENOENT:
        return Refusal::Missing;
    case EEXIST:
        return Refusal::Exists;
    case ELOOP:
        return Refusal::Link;
    case EISDIR:
    case ENXIO:
        return Refusal::NotRegular;
    default:
        return Refusal::Failed;
    }
}

} // namespace

void FileDescriptor::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

DirHandle DirHandle::open(const QString &path)
{
    const QByteArray name = NativeName(path.isEmpty() ? QStringLiteral(".") : path);
    return DirHandle(::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

DirHandle DirHandle::folder(const QByteArray &name) const
{
    return DirHandle(::openat(fd(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

FileDescriptor DirHandle::checked(int fd, Refusal *why) const
{
    Refusal refusal = Refusal::None;
    struct stat info{};
    if (fd < 0)
        refusal = refusalOf(errno);
    else if (::fstat(fd, &info) != 0)
        refusal = Refusal::Failed;
    else if (!S_ISREG(info.st_mode))
        refusal = Refusal::NotRegular;
    else if (!IsOurs(info))
        refusal = Refusal::NotOurs;
    else if (info.st_nlink != 1)
        refusal = Refusal::HardLinked;
    if (why)
        *why = refusal;
    if (refusal != Refusal::None) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        errno = error;
        return FileDescriptor();
    }
    // Opened without waiting; used as an ordinary file from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return FileDescriptor(fd);
}

FileDescriptor DirHandle::openFile(const QByteArray &name, int flags, Refusal *why) const
{
    return checked(::openat(fd(), name.constData(), (flags & ~(O_CREAT | O_EXCL | O_TRUNC)) | SafeOpen), why);
}

FileDescriptor DirHandle::createFile(const QByteArray &name, int flags, mode_t mode, Refusal *why) const
{
    return checked(::openat(fd(), name.constData(), (flags & ~O_TRUNC) | O_CREAT | O_EXCL | SafeOpen, mode), why);
}

FileDescriptor DirHandle::openOrCreateFile(const QByteArray &name, int flags, mode_t mode, Refusal *why) const
{
    // Two tries: a file made by someone else between the two calls is
    // opened (and checked) as one that was there.
    for (int attempt = 0; attempt < 2; ++attempt) {
        Refusal refusal = Refusal::None;
        FileDescriptor file = openFile(name, flags, &refusal);
        if (refusal == Refusal::Missing)
            file = createFile(name, flags, mode, &refusal);
        if (refusal != Refusal::Exists) {
            if (why)
                *why = refusal;
            return file;
        }
    }
    if (why)
        *why = Refusal::Failed;
    return FileDescriptor();
}

bool DirHandle::makeFolder(const QByteArray &name, mode_t mode, bool existing) const
{
    return ::mkdirat(fd(), name.constData(), mode) == 0 || (existing && errno == EEXIST);
}

bool DirHandle::rename(const QByteArray &name, const DirHandle &to, const QByteArray &toName) const
{
    return ::renameat(fd(), name.constData(), to.fd(), toName.constData()) == 0;
}

bool DirHandle::renameNoReplace(const QByteArray &name, const QByteArray &toName) const
{
    if (::renameat2(fd(), name.constData(), fd(), toName.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system that cannot say so in one step: the name is looked at
    // first. Only this program makes names of the kind, at random.
    struct stat there{};
    if (statAt(toName, &there) || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return rename(name, *this, toName);
}

bool DirHandle::removeFile(const QByteArray &name) const
{
    return ::unlinkat(fd(), name.constData(), 0) == 0;
}

bool DirHandle::removeFolder(const QByteArray &name) const
{
    return ::unlinkat(fd(), name.constData(), AT_REMOVEDIR) == 0;
}

QList<QByteArray> DirHandle::entries() const
{
    QList<QByteArray> names;
    const int copy = ::dup(fd());
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

bool DirHandle::stat(struct stat *info) const
{
    return ::fstat(fd(), info) == 0;
}

bool DirHandle::statAt(const QByteArray &name, struct stat *info) const
{
    return ::fstatat(fd(), name.constData(), info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool DirHandle::leadsTo(const QByteArray &name, const struct stat &info) const
{
    struct stat named{};
    return statAt(name, &named) && SameFile(named, info);
}

bool DirHandle::SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool DirHandle::IsOurs(const struct stat &info)
{
    return info.st_uid == ::geteuid();
}

QByteArray DirHandle::NativeName(const QString &name)
{
    return QFile::encodeName(name);
}
